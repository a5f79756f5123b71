// The series' fixed numbers, and how a run of n decimals cuts its terms: how
// many it sums and which of them each of the two stages composes.
#pragma once

// Each term is a block of this many terms of Euler's arctan series, and a(n)
// has this many coefficients.
constexpr unsigned long block_length = 252;
// b(n)'s denominator carries 2^(3/2 block_length) = 2^378.
constexpr unsigned long b_twos = 378;
// b(n)'s odd factors are 2i + first_odd for the block's i; 503 = 2 * 251 + 1.
constexpr unsigned long first_odd = 2 * (block_length - 1) + 1;
// The sum's common denominator is c0(k0) = (8 k0 - 1)!! 2^(3 k0 - 3), (8 k0 - 1) = first_odd.
constexpr unsigned int k0 = 63;
// Decimals gained a term, rounded down: term_count's divisor.
constexpr unsigned long digits_per_term = 189;

// Terms 0..m are summed for n decimals: m = n / 189, at least 2.
constexpr unsigned long term_count(unsigned long n)
{
    return n / digits_per_term < 2 ? 2 : n / digits_per_term;
}

// The terms [lo, hi) of stage k (1 or 2) of a run summing terms 0..m: stage 1
// takes [0, m/2), stage 2 the rest, never fewer.
struct term_range {
    unsigned long lo, hi;
};
constexpr term_range stage_range(int k, unsigned long m)
{
    return k == 1 ? term_range{0, m / 2} : term_range{m / 2, m + 1};
}
