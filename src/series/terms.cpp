#include "series/terms.h"

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
    return horner(poly, block_length, n);
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
