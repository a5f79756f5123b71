// Big integers in GMP's raw format, one per file (4-byte signed big-endian byte
// count, then the magnitude big-endian), as mpz_out_raw writes them.
#pragma once
#include <gmpxx.h>
#include <string>

// The largest magnitude, in bytes, that the 32-bit count can hold.
constexpr unsigned long raw_format_max_bytes = 2147483647;

// Writes x to path, whole or not at all; throws failure naming path.
void bigint_to_binfile(const mpz_class& x, const std::string& path);
// Reads the one integer of path into x; a missing, short or damaged file, or
// bytes after the integer, throw failure naming path.
void bigint_from_binfile(mpz_class& x, const std::string& path);
