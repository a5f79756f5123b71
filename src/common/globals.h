// What a run is asked for and where it writes: fixed once by the entry point
// before any work, read by everything below it.
#pragma once
#include <string>

// Decimals asked for.
extern unsigned long N;
// Absolute path of the working directory: current directory + "/pi".
extern std::string pi_path;

// Sets both; the entry point calls it once, tests call it to stage a run.
void fix_run(unsigned long n, const std::string& path);
