// Division by large divisors through the product engine: a reciprocal by Newton's
// iteration, one product for the quotient and one for the remainder, which
// corrects the quotient to the exact floor; exact quotients from the low end.
#pragma once
#include <gmpxx.h>

#include <cstdint>

// A divisor d > 0 prepared for quotients of up to quotient_bits bits: d scaled
// by 2^-shift to kk bits, and v within 3 of 2^(2 kk) / (that scaled d).
struct divisor {
    mpz_class d, v;
    mp_bitcnt_t kk = 0;
    long shift = 0;
};

// q <- q + t and r <- r - t d for the t that brings r into [0, d), d > 0: the
// last step of a division from an estimate of q within a few units. A failure
// ends a search that a wrong product would make endless.
void correct_quotient(mpz_class& q, mpz_class& r, const mpz_class& d);

// Prepares d > 0 for quotients of at most quotient_bits bits, each product on up
// to threads threads.
divisor prepare_divisor(const mpz_class& d, mp_bitcnt_t quotient_bits, unsigned threads = 1);

// q <- floor(x / d), r <- x - q d for 0 <= x < d 2^quotient_bits; q, r, x distinct.
// Each product on up to threads threads.
void divide(mpz_class& q, mpz_class& r, const mpz_class& x, const divisor& d, unsigned threads = 1);

// An integer within 2 of x 2^s / d, by one product and no remainder, for 0 <= x 2^s
// < d 2^quotient_bits and d prepared for quotients longer than d itself; the
// product on up to threads threads.
mpz_class scaled_quotient(const mpz_class& x, mp_bitcnt_t s, const divisor& d, unsigned threads = 1);

// An integer within 2 of 2^k (x mod d) / d, for x >= 0, d > 0 and k above d's bit
// count, however much longer x is: from a thousand limbs of d, one reciprocal of
// d, x taken from its top in pieces of d's length with one division each, and
// the fraction by one product.
mpz_class scaled_remainder(const mpz_class& x, const mpz_class& d, mp_bitcnt_t k);

// q <- floor(x / d) and x <- x - q d, for x >= 0 and d > 0 (q is neither): the
// quotient from a reciprocal of d's top bits by Newton's iteration, the remainder
// in x's own limbs, every large product on both cores and the largest within cap
// transform points.
void divide_in_place(mpz_class& q, mpz_class& x, const mpz_class& d, std::size_t cap = SIZE_MAX);

// Within 3 of 2^(2k) / d for d of exactly k bits (the tests' window on the Newton
// steps); each product on up to threads threads, on two within cap transform points.
mpz_class approximate_reciprocal(const mpz_class& d, mp_bitcnt_t k, unsigned threads = 1,
                                 std::size_t cap = SIZE_MAX);

// x <- x / d and y <- y / d for d != 0 dividing both. Large ones from the low limbs
// up (times the inverse of d modulo a power of two, block by block, one inverse
// for both), every product through the engine with the inverse and d transformed
// once for all blocks; small ones by GMP.
void divide_exact_pair(mpz_class& x, mpz_class& y, const mpz_class& d);

// d^-1 modulo 2^(64 limbs) for odd d > 0, in [0, 2^(64 limbs)).
mpz_class inverse_mod_limbs(const mpz_class& d, std::size_t limbs);
