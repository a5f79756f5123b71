// Entry of the program: the two globals fixed from the command line, and the
// preparation of the working directory "pi" beneath the current directory.
#pragma once
#include <optional>
#include <string>

// Decimals asked for; set once by main before the run.
extern unsigned long N;
// Absolute path of the working directory: current directory + "/pi".
extern std::string pi_path;

// The count of decimals in an argument, read as strtol reads it in base 10
// (leading blanks, a sign, digits, the rest ignored); nothing for no digits,
// a value outside the signed 64-bit range, or a negative value ("-0" is 0).
std::optional<unsigned long> parse_decimals(const char* arg);

// The whole program behind main; returns the exit status.
int pi_main(int argc, char** argv);
