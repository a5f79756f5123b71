// The 252 coefficients of the series polynomial a(n), leading coefficient first.
// The generated table (poly.cpp) builds them with gmpxx's literal suffix _mpz,
// a base-0 string conversion: plain digits without a leading zero read as decimal.
#pragma once
#include <gmpxx.h>

extern mpz_class poly[252];
