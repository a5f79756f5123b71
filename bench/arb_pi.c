/* arb_pi N FILE: writes "3." and the first N decimals of pi to FILE, with Arb
   (FLINT 2.9 + Arb 2.23), on 2 threads. A peer for the benchmark: it computes and
   writes the same digits as pidecimals. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <arb.h>
#include <flint/fmpz.h>

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: %s N FILE\n", argv[0]);
        return 2;
    }
    long n = strtol(argv[1], NULL, 10);
    if (n < 1) {
        fprintf(stderr, "N must be positive\n");
        return 2;
    }

    /* The benchmark machine has 2 cores; FLINT's large multiplications use them. */
    flint_set_num_threads(2);

    slong prec = (slong)ceil((double)(n + 1) * 3.3219280948873623) + 64;
    arb_t x;
    fmpz_t scale, t;
    arb_init(x);
    fmpz_init(scale);
    fmpz_init(t);

    /* floor(pi * 10^N) from the ball: exact when the ball holds one integer part,
       and a failure (never a wrong digit) otherwise. arb_get_str would round to
       nearest instead of truncating. */
    arb_const_pi(x, prec);
    fmpz_ui_pow_ui(scale, 10, (ulong)n);
    arb_mul_fmpz(x, x, scale, prec);
    arb_floor(x, x, prec);
    if (!arb_get_unique_fmpz(t, x)) {
        fprintf(stderr, "precision too low to fix digit %ld\n", n);
        return 1;
    }

    /* Our own buffer: fmpz_get_str may hand back GMP's allocation for large values. */
    char *digits = malloc(fmpz_sizeinbase(t, 10) + 2);
    if (digits == NULL) {
        fprintf(stderr, "out of memory\n");
        return 1;
    }
    fmpz_get_str(digits, 10, t);
    FILE *f = fopen(argv[2], "wb");
    if (f == NULL) {
        perror(argv[2]);
        return 1;
    }
    if (fputs("3.", f) == EOF || fwrite(digits + 1, 1, (size_t)n, f) != (size_t)n
        || fclose(f) != 0) {
        perror(argv[2]);
        return 1;
    }
    free(digits);
    fmpz_clear(t);
    fmpz_clear(scale);
    arb_clear(x);
    flint_cleanup_master();
    return 0;
}
