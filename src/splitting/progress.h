// What a long run shows on standard error when it is a terminal: a line redrawn in
// place, for the stages and the steps of the last phase. Standard output, the run
// report, is never touched.
#pragma once
#include <atomic>
#include <thread>

// Whether standard error is a terminal.
bool progress_shown();

// Redraws "étape k : done / total termes (p %), elapsed" a few times a second
// until stopped, on its own thread; an empty thread when progress is not shown.
// done must outlive the thread.
std::jthread start_progress(int k, unsigned long total, const std::atomic<unsigned long>& done);
// Redraws "step, elapsed" a few times a second, elapsed counted from the change
// of step, until stopped; an empty thread when progress is not shown. step must
// outlive the thread and point to a text that does.
std::jthread start_steps(const std::atomic<const char*>& step);
// Stops the line, erases it and joins its thread.
void stop_progress(std::jthread& ticker);
