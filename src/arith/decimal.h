// Conversion of big integers to decimal, cut at powers of ten whose divisions
// go through the product engine.
#pragma once
#include <gmpxx.h>

#include <string>

// x.get_str(10); from split_digits digits on, x is cut again and again at powers
// of ten (divisions through the product engine) into pieces of at most half as
// many digits that GMP converts, the first cuts' halves on two threads.
std::string decimal_string(const mpz_class& x, size_t split_digits = 50000);
