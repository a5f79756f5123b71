#include "support/oracle.h"

#include <mpfr.h>

#include <stdexcept>

mpz_class pi_oracle(unsigned long decimals)
{
    // 10^D pi rounded down and up with 128 bits to spare: their floors agree unless
    // it lies that close to an integer, which the oracle then refuses to decide.
    mpz_class ten, floors[2];
    mpz_ui_pow_ui(ten.get_mpz_t(), 10, decimals);
    mpfr_t x;
    mpfr_init2(x, static_cast<mpfr_prec_t>(decimals * 3.3219280948873623) + 128);
    for (mpfr_rnd_t dir : {MPFR_RNDD, MPFR_RNDU}) {
        mpfr_const_pi(x, dir);
        mpfr_mul_z(x, x, ten.get_mpz_t(), dir);
        mpfr_get_z(floors[dir == MPFR_RNDU].get_mpz_t(), x, MPFR_RNDD);
    }
    mpfr_clear(x);
    if (floors[0] != floors[1])
        throw std::runtime_error("pi_oracle: precision too small to decide the floor");
    return floors[0];
}

affine plain_composition(term_function& fn, unsigned long lo, unsigned long hi)
{
    affine s = fn(lo);
    for (unsigned long n = lo + 1; n < hi; ++n)
        s.compose(fn(n));
    return s;
}
