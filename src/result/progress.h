// What a run shows on standard error when it is a terminal: its estimated cost
// before it starts, and a progress line redrawn in place during each stage.
// Standard output, the run report, is never touched.
#pragma once
#include <string>
#include <thread>

// Whether standard error is a terminal.
bool progress_shown();

// "estimation : ..." line: peak memory, disk use and term count of n decimals.
std::string cost_line(unsigned long n);

// Redraws "étape k : done / total termes (p %), elapsed" a few times a second
// until stopped, on its own thread; an empty thread when progress is not shown.
std::jthread start_progress(int k, unsigned long total);
// Stops the line, erases it and joins its thread.
void stop_progress(std::jthread& ticker);
