// Conversion of big integers to decimal, cut at powers of ten whose divisions
// go through the product engine.
#pragma once
#include <gmpxx.h>

#include <string>

// x.get_str(10); from split_digits digits on, x is cut again and again at powers
// of ten (divisions through the product engine) into pieces of at most half as
// many digits that GMP converts, the first cuts' halves on two threads. Below
// the first cut the fractions' products cost less than GMP's conversion down to
// pieces of some 2,500 digits (10^6 to 10^8 digits: 10-25% less time than with
// pieces of 25,000), and much more below 1,000.
std::string decimal_string(const mpz_class& x, size_t split_digits = 5000);
