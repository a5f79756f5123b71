// Entry of the program: the command line, the working directory "pi" beneath
// the current directory, the refusals before work, and how the run ends.
#pragma once
#include <optional>

// The count of decimals in an argument, read as strtol reads it in base 10
// (leading blanks, a sign, digits, the rest ignored); nothing for no digits,
// a value outside the signed 64-bit range, or a negative value ("-0" is 0).
std::optional<unsigned long> parse_decimals(const char* arg);

// The whole program behind main; returns the exit status.
int pi_main(int argc, char** argv);
