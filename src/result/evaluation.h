// The run after the command line: sums the series, derives the digits, the error
// bound and their check, writes the result files and reports every phase.
#pragma once
#include <gmpxx.h>

#include <ostream>
#include <string>

// Wall-clock time in seconds (whole microseconds since the epoch).
double secondes();
// Prints "durée: " and the time since t0, fixed with 3 decimals (left in force on
// the console); the clock is read after the label is out. The caller ends the line.
std::ostream& duration_since(double t0);

// Terms 0..m are summed for n decimals: m = n / 189, at least 2.
unsigned long term_count(unsigned long n);

// numerator / denominator as a float of default precision, the fraction taken as it
// is; both are lent to the quotient and given back unchanged. The run's error bound
// is a(m+1) * A.b / (c0(63) * A.c), the first term left out.
mpf_class unreduced_quotient(mpz_class& numerator, mpz_class& denominator);

// r <- x * y, the product cut in two along y and made on two threads; r is neither x nor y.
void multiply_on_two_threads(mpz_class& r, const mpz_class& x, const mpz_class& y);

// Whether T = floor((X + Y) / D), for D > 0 and T meant as floor(X / D): with R = X - T*D,
// the answer is 0 <= R < D and 0 <= R + Y < D, so that a T that is not floor(X / D) is
// refused too. X is used up (it is left holding R + Y or R).
bool next_sum_agrees(mpz_class& X, const mpz_class& T, const mpz_class& D, const mpz_class& Y);

// x.get_str(10); from split_digits digits on, where a second thread starts to pay,
// x is cut at a power of ten and the two parts are converted on two threads.
std::string decimal_string(const mpz_class& x, size_t split_digits = 50000);

// Whether the digits of a run of n decimals are also printed on the console.
bool echoes_digits(unsigned long n);

// Computes and stores the first N decimals of pi, reporting every phase on
// standard output; throws failure when a file cannot be written or read.
void pi();
