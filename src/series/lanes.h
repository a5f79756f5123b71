// a(n) for eight terms at once on the processor's 52-bit vector multiply-adds
// (AVX-512 IFMA): the terms share the coefficients, each lane holds one value.
#pragma once
#include <gmpxx.h>

// out[l] <- a(n[l]) for l < 8; every n[l] below 2^52. Only where
// a_lanes_supported().
void a_eight(const unsigned long n[8], mpz_class out[8]);
