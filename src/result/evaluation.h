// The run after the command line: sums the series, derives the digits, the error
// bound and their check, writes the result files and reports every phase.
#pragma once

// Wall-clock time in seconds (whole microseconds since the epoch).
double secondes();

// Computes and stores the first N decimals of pi; throws failure when a file
// cannot be written or read.
void pi();
