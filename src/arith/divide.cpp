#include "arith/divide.h"

#include "arith/mul.h"
#include "arith/parallel.h"

namespace {

// Below this many bits GMP's own division is the better reciprocal.
constexpr mp_bitcnt_t newton_from = 20000;
// Bits kept beyond what the quotient needs, so that truncating x and d moves
// the estimate by less than one unit.
constexpr mp_bitcnt_t guard_bits = 64;

// x * 2^-s, truncated; a left shift for s < 0.
mpz_class scaled(const mpz_class& x, long s)
{
    mpz_class r;
    if (s >= 0)
        mpz_fdiv_q_2exp(r.get_mpz_t(), x.get_mpz_t(), static_cast<mp_bitcnt_t>(s));
    else
        mpz_mul_2exp(r.get_mpz_t(), x.get_mpz_t(), static_cast<mp_bitcnt_t>(-s));
    return r;
}

} // namespace

mpz_class approximate_reciprocal(const mpz_class& d, mp_bitcnt_t k, unsigned threads)
{
    mpz_class v;
    if (k <= newton_from) {
        mpz_class top = 1;
        top <<= 2 * k;
        mpz_fdiv_q(v.get_mpz_t(), top.get_mpz_t(), d.get_mpz_t());
        return v;
    }
    // From the reciprocal of d's top h bits, good to about h bits, one Newton
    // step v <- v + v (2^2k - d v) / 2^2k squares the error: with 2h >= k + 64
    // it is below 3.
    mp_bitcnt_t h = (k + 1) / 2 + guard_bits / 2;
    mpz_class vh = approximate_reciprocal(scaled(d, static_cast<long>(k - h)), h, threads);
    mpz_class e, dv;
    multiply(dv, d, vh, threads);
    dv <<= k - h;
    e = 1;
    e <<= 2 * k;
    e -= dv;
    dv = 0;
    // v0 = vh 2^(k-h): the correction v0 e / 2^2k = vh e / 2^(k+h) moves by less
    // than 2^-31 when e loses its bits below 2^(k-32).
    mpz_fdiv_q_2exp(e.get_mpz_t(), e.get_mpz_t(), k - 32);
    mpz_class correction;
    multiply(correction, vh, e, threads);
    mpz_fdiv_q_2exp(correction.get_mpz_t(), correction.get_mpz_t(), h + 32);
    v = vh << (k - h);
    v += correction;
    return v;
}

divisor prepare_divisor(const mpz_class& d, mp_bitcnt_t quotient_bits)
{
    divisor p;
    p.d = d;
    p.kk = quotient_bits + guard_bits;
    p.shift = static_cast<long>(mpz_sizeinbase(d.get_mpz_t(), 2)) - static_cast<long>(p.kk);
    p.v = approximate_reciprocal(scaled(d, p.shift), p.kk);
    return p;
}

void divide(mpz_class& q, mpz_class& r, const mpz_class& x, const divisor& d)
{
    // x / d = x' / d' with both scaled by 2^-shift, and x' < 2^(2 kk).
    multiply(q, scaled(x, d.shift), d.v);
    mpz_fdiv_q_2exp(q.get_mpz_t(), q.get_mpz_t(), 2 * d.kk);
    multiply(r, q, d.d);
    mpz_sub(r.get_mpz_t(), x.get_mpz_t(), r.get_mpz_t());
    // The estimate is within a few units: the remainder makes it exact.
    while (sgn(r) < 0) {
        r += d.d;
        --q;
    }
    while (r >= d.d) {
        r -= d.d;
        ++q;
    }
}

void divide_in_place(mpz_class& q, mpz_class& x, const mpz_class& d, std::size_t cap)
{
    mp_bitcnt_t x_bits = mpz_sizeinbase(x.get_mpz_t(), 2), d_bits = mpz_sizeinbase(d.get_mpz_t(), 2);
    if (x < d) {
        q = 0;
        return;
    }
    mp_bitcnt_t q_bits = x_bits - d_bits + 1;
    if (q_bits < newton_from || d_bits < newton_from) {
        mpz_tdiv_qr(q.get_mpz_t(), x.get_mpz_t(), x.get_mpz_t(), d.get_mpz_t());
        return;
    }
    // x / d = (x 2^-shift) / (d 2^-shift), the divisor's top kk bits, whose
    // reciprocal v is within 3 of 2^(2 kk) / (d 2^-shift). The bits of x below
    // 2^(shift + kk - guard_bits) move the estimate by less than 2^-62.
    mp_bitcnt_t kk = q_bits + guard_bits;
    long shift = static_cast<long>(d_bits) - static_cast<long>(kk);
    long cut = shift + static_cast<long>(kk - guard_bits);
    {
        mpz_class v = approximate_reciprocal(scaled(d, shift), kk, 2);
        multiply_on_two_threads(q, scaled(x, cut), v, cap);
    }
    mpz_fdiv_q_2exp(q.get_mpz_t(), q.get_mpz_t(), kk + guard_bits);
    subtract_product(x, q, d, cap);
    // The estimate is within a few units: the remainder makes it exact.
    while (sgn(x) < 0) {
        x += d;
        --q;
    }
    while (x >= d) {
        x -= d;
        ++q;
    }
}
