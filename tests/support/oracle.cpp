#include "support/oracle.h"

#include <mpfr.h>

#include <stdexcept>

namespace {

mpz_class scaled_floor(unsigned long decimals, mpfr_rnd_t dir)
{
    mpfr_prec_t prec = static_cast<mpfr_prec_t>(decimals * 3.3219280948873623) + 128;
    mpfr_t x;
    mpfr_init2(x, prec);
    mpfr_const_pi(x, dir);
    mpz_class ten;
    mpz_ui_pow_ui(ten.get_mpz_t(), 10, decimals);
    mpfr_mul_z(x, x, ten.get_mpz_t(), dir);
    mpz_class r;
    mpfr_get_z(r.get_mpz_t(), x, MPFR_RNDD);
    mpfr_clear(x);
    return r;
}

} // namespace

mpz_class pi_oracle(unsigned long decimals)
{
    // Bounds from below and above: their floors agree unless 10^D pi lies within
    // 2^-128 of an integer, which the oracle then refuses to decide.
    mpz_class lo = scaled_floor(decimals, MPFR_RNDD);
    if (lo != scaled_floor(decimals, MPFR_RNDU))
        throw std::runtime_error("pi_oracle: precision too small to decide the floor");
    return lo;
}

affine plain_composition(term_function& fn, unsigned long lo, unsigned long hi)
{
    affine s = fn(lo);
    for (unsigned long n = lo + 1; n < hi; ++n)
        s.compose(fn(n));
    return s;
}
