// Runs the real pidecimals executable in a directory of its own and collects what it did.
#pragma once
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct run_result {
    int status = -1;      // exit status, -1 when a signal ended the process
    std::string out, err; // standard output and standard error
};

// A started child: its pid and the unnamed files that take its standard output and error.
struct child_process {
    int pid;
    std::FILE *out, *err;
};

// Starts the program with args in dir, its standard input /dev/null. In the child,
// before exec, child_setup may set limits, dispositions or descriptors.
child_process start_pidecimals(const std::string& dir, const std::vector<std::string>& args,
                               const std::function<void()>& child_setup = {});
// Waits for the child and collects its output and how it ended.
run_result finish(child_process& child);
run_result run_pidecimals(const std::string& dir, const std::vector<std::string>& args,
                          const std::function<void()>& child_setup = {});

// A fresh empty directory under the system's temporary folder, removed by the destructor.
struct scratch_dir {
    std::string path;
    scratch_dir();
    ~scratch_dir();
    scratch_dir(const scratch_dir&) = delete;
    scratch_dir& operator=(const scratch_dir&) = delete;
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

// Whole content of a file ("" when it cannot be read).
std::string read_file(const std::string& path);
// Name -> content of every entry in a directory ("" for a directory).
std::map<std::string, std::string> snapshot(const std::string& dir);
