#include "series/terms.h"

#include <algorithm>

#include "arith/schoolbook.h"
#include "series/lanes.h"
#include "series/poly.h"
#include "series/shape.h"

mpz_class horner(const mpz_class* coeffs, int count, mpz_class x)
{
    mpz_class r = coeffs[0];
    for (int i = 1; i < count; ++i) {
        r *= x;
        r += coeffs[i];
    }
    return r;
}

mpz_class a(mpz_class n)
{
    if (!mpz_fits_ulong_p(n.get_mpz_t()))
        return horner(poly, block_length, n);
    // Horner's rule on chunks of k coefficients, n^k one word: one pass over the
    // growing value per chunk instead of per coefficient, the coefficients each
    // folded in by a word product.
    unsigned long x = n.get_ui();
    unsigned long pw[17] = {1};
    int k = 0;
    while (k < 16 && static_cast<unsigned __int128>(pw[k]) * x >> 64 == 0) {
        pw[k + 1] = pw[k] * x;
        ++k;
    }
    mpz_class r;
    // The final size, so that the value is never moved as it grows.
    mpz_realloc2(r.get_mpz_t(),
                 mpz_sizeinbase(poly[0].get_mpz_t(), 2) + (block_length - 1) * mpz_sizeinbase(n.get_mpz_t(), 2) + 64);
    r = poly[0];
    for (unsigned long i = 1; i < block_length;) {
        int j = static_cast<int>(std::min<unsigned long>(k, block_length - i));
        mpz_mul_ui(r.get_mpz_t(), r.get_mpz_t(), pw[j]);
        for (int t = 0; t < j - 1; ++t)
            mpz_addmul_ui(r.get_mpz_t(), poly[i + t].get_mpz_t(), pw[j - 1 - t]);
        r += poly[i + j - 1];
        i += j;
    }
    return r;
}

bool a_lanes_supported()
{
    // The schoolbook's multiply-adds, and AVX-512 DQ's 64-bit products for n's powers.
    static const bool has = schoolbook_supported() && __builtin_cpu_supports("avx512dq");
    return has;
}

void a_values_by(unsigned long first, unsigned long count, mpz_class* out, bool lanes)
{
    unsigned long i = 0;
    // The lanes hold n below 2^52; the last group repeats its last term.
    if (lanes && count > 0 && first < (1ul << 52) && count - 1 < (1ul << 52) - first) {
        for (; i < count; i += 8) {
            unsigned long n[8];
            mpz_class values[8];
            for (unsigned long l = 0; l < 8; ++l)
                n[l] = first + std::min(i + l, count - 1);
            a_eight(n, values);
            for (unsigned long l = 0; l < 8 && i + l < count; ++l)
                out[i + l].swap(values[l]);
        }
    }
    for (; i < count; ++i)
        out[i] = a(mpz_class(first + i));
}

void a_values(unsigned long first, unsigned long count, mpz_class* out)
{
    a_values_by(first, count, out, a_lanes_supported());
}

mpq_class b(unsigned long n)
{
    mpz_class num = 1, den = 1;
    for (unsigned long i = block_length * n + 1; i <= block_length * (n + 1); ++i) {
        num *= i;
        den *= 2 * i + first_odd;
    }
    den <<= b_twos;
    den = -den;
    mpq_class q(num, den);
    q.canonicalize();
    return q;
}

mpz_class c0(unsigned int k)
{
    mpz_class z;
    mpz_2fac_ui(z.get_mpz_t(), 8 * k - 1);
    z <<= 3 * k - 3;
    return z;
}
