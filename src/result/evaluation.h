// The run after the command line: sums the series, derives the digits, the error
// bound and their check, writes the result files and reports every phase.
#pragma once
#include <gmpxx.h>

#include <cstddef>
#include <cstdint>
#include <functional>

// numerator / denominator as a float of default precision, the fraction taken as it
// is; both are lent to the quotient and given back unchanged. The run's error bound
// is a(m+1) * A.b / (c0(63) * A.c), the first term left out.
mpf_class unreduced_quotient(mpz_class& numerator, mpz_class& denominator);

// A factor of the check's product, as the check needs it: its sign and size in
// bits, and the means to form it, only when its size cannot decide.
struct lazy_factor {
    int sign = 0;
    mp_bitcnt_t bits = 0;
    std::function<mpz_class()> make;
};

// The first term left out, a * b1 * b2 for a > 0, b1, b2 != 0, by the leading
// limbs of b1 and b2 alone: where they decide them, q <- unreduced_quotient of
// the term by D > 0 (D lent and given back) and t's sign and bits are set, and
// true is returned; false where they do not.
bool leading_quotient(const mpz_class& a, const mpz_class& b1, const mpz_class& b2, mpz_class& D, mpf_class& q,
                      lazy_factor& t);

// Whether floor((X + Y) / D) = T for Y = power * next, given R = X - T*D for
// D > 0 and T meant as floor(X / D): the answer is 0 <= R < D and
// 0 <= R + Y < D, so that a T that is not floor(X / D) is refused too. Y is
// formed (both factors made, the products within cap transform points) only
// when the sizes of its factors cannot show that it moves R by less than R's
// room on that side. R is used up.
bool next_sum_agrees(mpz_class& R, const mpz_class& D, const lazy_factor& power, const lazy_factor& next,
                     std::size_t cap = SIZE_MAX);

// Computes and stores the first N decimals of pi, reporting every phase on
// standard output; throws failure when a file cannot be written or read.
void pi();
