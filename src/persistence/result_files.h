// The two result files of a run: the truncated value T as a raw big integer and as
// decimal text "3." followed by the N decimals.
#pragma once
#include <gmpxx.h>
#include <string>

// "pi-" followed by n.
std::string result_name(unsigned long n);

// T to "pi/" + name, in the raw big-integer format.
void write_raw_result(const mpz_class& T, const std::string& name);

// The decimal text form of the digit string s of T (first digit, ".", the rest)
// to pi_path + "/" + name + ".txt", nothing after it.
void write_text_result(const std::string& s, const std::string& name);
