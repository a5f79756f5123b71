// How a run ends when something fails: the one error type, the temporary file
// that must not outlive the process, and the line and status of every kind of end.
#pragma once
#include <stdexcept>
#include <string>

// A French line that says what failed, where and why; thrown where an
// operation fails and printed once, by end_of_error.
struct failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// "<what> <path> impossible : <reason>" with the system's reason for errno.
failure system_failure(const std::string& what, const std::string& path, int err);

// Creates a new file named name.tmp-<pid>-<random> in dir for writing, never
// opening anything already there, as the temporary file that end_at_once
// removes; its descriptor, or -1 with errno. clear_pending_file forgets it once
// it is renamed or removed.
int create_pending_file(int dir, const std::string& name, std::string& temporary);
void clear_pending_file();

// Writes line raw to standard error, removes the pending file and ends the
// process with status at once, without unwinding. Safe from any thread and from
// a failed allocation: it allocates nothing.
[[noreturn]] void end_at_once(const char* line, int status);

// "mémoire épuisée : une allocation de <bytes> octets a échoué (calcul abandonné)",
// then end_at_once with status 1: GMP cannot unwind from a failed allocation.
[[noreturn]] void end_out_of_memory(unsigned long bytes);

// Inside a catch block: prints the caught error's line on standard error and
// returns the exit status for it.
int end_of_error();
