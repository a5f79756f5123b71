// The run after the command line: sums the series, derives the digits, the error
// bound and their check, writes the result files and reports every phase.
#pragma once
#include <gmpxx.h>

#include "splitting/affine.h"

// Wall-clock time in seconds (whole microseconds since the epoch).
double secondes();

// Terms 0..m are summed for n decimals: m = n / 189, at least 2.
unsigned long term_count(unsigned long n);

// The first term left out, a(m+1) * A.b / (c0(63) * A.c), as a float of default precision.
mpf_class uncertainty(const affine& A, unsigned long m);

// Whether the digits of a run of n decimals are also printed on the console.
bool echoes_digits(unsigned long n);

// Computes and stores the first N decimals of pi, reporting every phase on
// standard output; throws failure when a file cannot be written or read.
void pi();
