// Prime factorisations of the series' term ratios, and the small algebra of factor
// lists that lets the splitting take common factors out before it multiplies.
#pragma once
#include <gmpxx.h>

#include <cstdint>
#include <vector>

#include "series/shape.h"

struct prime_power {
    uint64_t prime;
    uint32_t exponent;
    // Left unset, so that a list sized ahead of a merge is not zeroed first.
    prime_power() {}
    prime_power(uint64_t p, uint32_t e) : prime(p), exponent(e) {}
};
// Sorted by prime (but for term_factors' larger primes), every exponent positive;
// the empty list is 1.
using factor_list = std::vector<prime_power>;

// The primes that sieve the integers of the terms below hi, found once for many
// ranges of them.
std::vector<uint64_t> sieving_primes(unsigned long hi);

// For n in [lo, hi): p[n-lo] and q[n-lo] factor |numerator| and denominator of
// b(n) in lowest terms (b(n) = -p/q), found by a sieve over the range's integers
// with primes = sieving_primes(h) for some h >= hi. The lists are sorted up to
// largest; their primes above it come last, unsorted.
void term_factors(unsigned long lo, unsigned long hi, const std::vector<uint64_t>& primes, std::vector<factor_list>& p,
                  std::vector<factor_list>& q, uint64_t largest = UINT64_MAX);

// The greatest common divisor of x and y, taken out of both, for lists that share
// no prime above largest: their entries above it are left as they are, unread.
factor_list take_common(factor_list& x, factor_list& y, uint64_t largest = UINT64_MAX);
// A prime that divides the numerator of b(n) and the denominator of b(n') for n and
// n' in a range of this many terms divides 2(i' - i) + 503 for two of their integers
// i and i': it is at most this.
constexpr uint64_t largest_shared_prime(unsigned long terms)
{
    return 2 * block_length * static_cast<uint64_t>(terms) + first_odd - 2;
}
// The greatest common divisor of x and y.
factor_list common(const factor_list& x, const factor_list& y);
// gcd(product(x), a) as a list, in x's order: a reduced modulo product(x), then
// down a tree of x's products, each node's remainder from its parent's.
factor_list common_with(const factor_list& x, const mpz_class& a);
// x <- its entries up to largest, for x sorted up to largest with the larger
// primes after them (as term_factors makes them).
void drop_above(factor_list& x, uint64_t largest);
// x <- x * y.
void multiply_into(factor_list& x, const factor_list& y);
// The integer that the list stands for.
mpz_class product(const factor_list& x);
