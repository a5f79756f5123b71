// Big-integer products cut in parts that run on two threads.
#pragma once
#include <gmpxx.h>

// r <- x * y, the product cut in two along y; r is neither x nor y.
void multiply_on_two_threads(mpz_class& r, const mpz_class& x, const mpz_class& y);

// x <- x - y * z for x, y, z >= 0, in x's own limbs: the longer of y and z is cut
// into pieces of the shorter's size whose products are made one by one on both
// cores and subtracted.
void subtract_product(mpz_class& x, const mpz_class& y, const mpz_class& z);
