// Big integers in GMP's raw format, one per file (4-byte signed big-endian byte
// count, then the magnitude big-endian), as mpz_out_raw writes them.
#pragma once
#include <gmpxx.h>

#include <cstdint>
#include <string>

// The largest magnitude, in bytes, that the 32-bit count can hold.
constexpr unsigned long raw_format_max_bytes = 2147483647;

// Writes x to name in the working directory, whole or not at all; returns the
// file's CRC-32. Throws failure naming shown, the path messages print.
uint32_t bigint_to_binfile(const mpz_class& x, const std::string& name, const std::string& shown);
// Reads the one integer of name into x; a missing, short or damaged file, bytes
// after the integer, or a CRC-32 other than *expected (when given) throw failure
// naming shown.
void bigint_from_binfile(mpz_class& x, const std::string& name, const std::string& shown,
                         const uint32_t* expected = nullptr);
