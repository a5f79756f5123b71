// Files written whole or not at all: each is written under a new temporary name
// beside its final one, checked at every step, then renamed over the final name.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

// Writes name in the working directory through body, which returns false when
// a write failed (errno says why); returns the CRC-32 of the bytes written. On
// any failure the temporary file is removed, name keeps its former content and
// a failure naming shown is thrown. A link at name is replaced, not followed.
uint32_t write_whole_file(const std::string& name, const std::string& shown,
                          const std::function<bool(std::FILE*)>& body);

// Opens name in the working directory for reading from offset 0 as a stream
// that adds what it reads to *crc; null with errno on failure.
std::FILE* open_summed(const std::string& name, uint32_t* crc, int* fd);
