/* mpfr_pi N FILE: writes "3." and the first N decimals of pi to FILE, with MPFR.
   A peer for the benchmark: it computes and writes the same digits as pidecimals. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <mpfr.h>

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

    /* 64 guard bits: rounding down to N+1 digits is then the true truncation of pi
       unless about 19 nines follow digit N, which the comparison with the other
       programs would catch. */
    mpfr_prec_t prec = (mpfr_prec_t)ceil((double)(n + 1) * 3.3219280948873623) + 64;
    mpfr_t x;
    mpfr_init2(x, prec);
    mpfr_const_pi(x, MPFR_RNDD);

    mpfr_exp_t e;
    char *digits = mpfr_get_str(NULL, &e, 10, (size_t)n + 1, x, MPFR_RNDZ);
    if (digits == NULL || e != 1 || digits[0] != '3') {
        fprintf(stderr, "unexpected conversion of pi\n");
        return 1;
    }

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
    mpfr_free_str(digits);
    mpfr_clear(x);
    return 0;
}
