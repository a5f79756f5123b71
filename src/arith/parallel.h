// Big-integer operations cut in two halves that run on two threads.
#pragma once
#include <gmpxx.h>

#include <string>

// r <- x * y, the product cut in two along y; r is neither x nor y.
void multiply_on_two_threads(mpz_class& r, const mpz_class& x, const mpz_class& y);

// x.get_str(10); from split_digits digits on, x is cut again and again at powers
// of ten (divisions through the product engine) into pieces of at most half as
// many digits that GMP converts, the first cuts' halves on two threads.
std::string decimal_string(const mpz_class& x, size_t split_digits = 50000);
