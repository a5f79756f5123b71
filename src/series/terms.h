// The series pi = (1/c0(63)) * sum_n a(n) * prod_{l<n} b(l), term by term, as exact
// integers and rationals.
#pragma once
#include <gmpxx.h>

// The polynomial with count coefficients, leading first, at x.
mpz_class horner(const mpz_class* coeffs, int count, mpz_class x);
// a(n) = sum_r poly[r] * n^(251-r); positive.
mpz_class a(mpz_class n);
// out[i] <- a(first + i) for i < count; eight terms at once on the processor's
// 52-bit vector multiply-adds where it has them.
void a_values(unsigned long first, unsigned long count, mpz_class* out);
// Whether this processor has those vector multiply-adds.
bool a_lanes_supported();
// a_values with the vector route or without, for the tests; lanes only where supported.
void a_values_by(unsigned long first, unsigned long count, mpz_class* out, bool lanes);
// b(n) = -prod_{i=252n+1..252n+252} i / (2^378 * (2i+503)), in lowest terms.
mpq_class b(unsigned long n);
// (8k-1)!! * 2^(3k-3); the sum's common denominator for k = k0.
mpz_class c0(unsigned int k);
