// Runs the real pidecimals executable in a directory of its own and collects what it did.
#pragma once
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

struct run_result {
    int status = -1;      // exit status, -1 when a signal ended the process
    int signal = 0;       // the signal that ended it, 0 when it exited
    std::string out, err; // standard output and standard error
};

// A started child: its pid and the files that take its standard output and error.
struct child_process {
    int pid = -1;
    std::string out_file, err_file;
};

// Starts the program with args in dir, its standard input /dev/null. In the
// child, before exec, child_setup may set limits, dispositions or descriptors.
child_process start_pidecimals(const std::string& dir, const std::vector<std::string>& args,
                               const std::function<void()>& child_setup = {});
// Waits for the child and collects its output and how it ended.
run_result finish(child_process& child);
// Both at once.
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

// The bytes given as numbers.
std::string bytes(std::initializer_list<int> values);
// Whole content of a file ("" when it cannot be read).
std::string read_file(const std::string& path);
// Names in a directory, sorted.
std::vector<std::string> list_dir(const std::string& path);
