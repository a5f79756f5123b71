// References for the tests that share nothing with the program's shortcuts.
#pragma once
#include <gmpxx.h>

#include "splitting/compose.h"

// floor(10^D * pi) from MPFR's pi constant.
mpz_class pi_oracle(unsigned long decimals);

// fn(lo) o ... o fn(hi-1) composed left to right, nothing reduced (lo < hi).
affine plain_composition(term_function& fn, unsigned long lo, unsigned long hi);
