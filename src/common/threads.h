// Work on two threads: the one way the program starts a thread for its
// computations, with a small stack and an error carried back across the join.
#pragma once
#include <functional>

// Runs there on a new thread while here runs on the calling thread, and returns
// when both are done; the first error of here, else of there, is rethrown.
// A thread that cannot be started throws std::system_error before either runs.
void both(const std::function<void()>& here, const std::function<void()>& there);
