// floor(10^D * pi) from MPFR's pi constant: a reference that shares nothing with the program's series.
#pragma once
#include <gmpxx.h>

mpz_class pi_oracle(unsigned long decimals);
