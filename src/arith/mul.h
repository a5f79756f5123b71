// Products of big integers: GMP's own below the sizes where the transforms win,
// the transforms above; the same integers either way.
#pragma once
#include <gmpxx.h>

#include "arith/ntt.h"

// r <- x * y; r may be x or y. With threads = 2 a large product uses both cores.
void multiply(mpz_class& r, const mpz_class& x, const mpz_class& y, unsigned threads = 1);

// The same through a given path of the transforms for every size from
// min_limbs on, for the tests.
void multiply_by(mpz_class& r, const mpz_class& x, const mpz_class& y, ntt_path path, std::size_t min_limbs,
                 unsigned threads);
