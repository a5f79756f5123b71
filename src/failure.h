// The one error type of a run: a French line that says what failed, where and why.
// It is thrown where an operation fails and printed once, by main.
#pragma once
#include <stdexcept>
#include <string>

struct failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// "<what> <path> impossible : <reason>" with the system's reason for errno.
failure system_failure(const std::string& what, const std::string& path, int err);
