// What a run is asked for and where it writes: fixed once by the entry point
// before any work, read by everything below it.
#pragma once
#include <string>

// Decimals asked for.
extern unsigned long N;
// Absolute path of the working directory: current directory + "/pi"; for messages.
extern std::string pi_path;
// The working directory, opened once: every file is made, renamed and read
// relative to it, so that a move of the current folder cannot split them.
extern int pi_dir;

// Sets all three; the entry point calls it once, tests call it to stage a run.
void fix_run(unsigned long n, const std::string& path, int dir);
