// Files written whole or not at all: each is written under a temporary name beside
// its final one, checked at every step, then renamed over the final name.
#pragma once
#include <cstdio>
#include <functional>
#include <string>

// Writes path through body, which returns false when a write failed (errno says
// why). On any failure the temporary file is removed, path keeps its former
// content and a failure naming path is thrown.
void write_whole_file(const std::string& path, const std::function<bool(std::FILE*)>& body);
