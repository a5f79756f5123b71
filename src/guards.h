// Process-wide guards of a run: running out of memory inside GMP and Ctrl-C or
// SIGTERM each end the run with one line on standard error, the right status and
// no temporary file left behind.
#pragma once
#include <thread>

// From now on a failed GMP allocation prints how much was asked for and ends the
// process with status 1 (GMP cannot unwind, so nothing is thrown through it), and
// large blocks are mapped apart, in 2 MiB pages where the system allows, so that
// freeing them lowers the peak.
void install_memory_guard();

// Blocks SIGINT, SIGTERM, SIGHUP and SIGQUIT in this thread and every thread started after
// it, and waits for them on a thread of its own: when one comes, it prints that
// the run was interrupted and ends the process with status 128 + the signal.
// Must be called before any other thread is started.
std::jthread start_interrupt_watch();
// Ends the watch and joins its thread; the signals stay blocked.
void stop_interrupt_watch(std::jthread& watch);
