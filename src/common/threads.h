// Work on two threads: the one way the program starts a thread for its
// computations, with a small stack and an error carried back across the join.
#pragma once
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

// Runs there on a new thread while here runs on the calling thread, and returns
// when both are done; the first error of here, else of there, is rethrown.
// A thread that cannot be started throws std::system_error before either runs.
void both(const std::function<void()>& here, const std::function<void()>& there);

// The two threads of a recursion share it: each split offers its second part, and
// a thread with nothing else to do, or waiting for a part it offered, runs the
// oldest part the other thread offered (the largest, in a recursion). Which thread
// runs a part never changes what it computes.
struct offered_part;

struct shared_work {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<offered_part*> offered; // oldest first
    unsigned busy = 2;                  // threads that still have work of their own
};

// Runs first, then second unless the other thread of work has taken it meanwhile;
// returns when both are done, rethrowing the first error. Without work, both run here.
void split_work(shared_work* work, const std::function<void()>& first, const std::function<void()>& second);

// For a thread whose own work is done: runs the parts the other thread offers
// until its work is done too.
void help_until_done(shared_work& work);
