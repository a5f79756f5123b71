#include "support/process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

child_process start_pidecimals(const std::string& dir, const std::vector<std::string>& args,
                               const std::function<void()>& child_setup)
{
    // The output goes to files beside the folder, so that nothing blocks the child.
    static std::atomic<int> serial{0};
    std::string base = fs::temp_directory_path() / ("pidecimals-out-" + std::to_string(getpid()) + "-" +
                                                    std::to_string(serial++));
    child_process child{-1, base + ".out", base + ".err"};
    std::vector<std::string> argv_s{PIDECIMALS_PATH};
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : argv_s)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    child.pid = fork();
    if (child.pid < 0)
        throw std::runtime_error("fork");
    if (child.pid == 0) {
        dup2(open("/dev/null", O_RDONLY), 0);
        dup2(open(child.out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
        dup2(open(child.err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        if (chdir(dir.c_str()) != 0)
            _exit(126);
        if (child_setup)
            child_setup();
        execv(argv[0], argv.data());
        _exit(127);
    }
    return child;
}

run_result finish(child_process& child)
{
    run_result r;
    int ws = 0;
    waitpid(child.pid, &ws, 0);
    if (WIFEXITED(ws))
        r.status = WEXITSTATUS(ws);
    else if (WIFSIGNALED(ws))
        r.signal = WTERMSIG(ws);
    r.out = read_file(child.out_file);
    r.err = read_file(child.err_file);
    fs::remove(child.out_file);
    fs::remove(child.err_file);
    return r;
}

run_result run_pidecimals(const std::string& dir, const std::vector<std::string>& args,
                          const std::function<void()>& child_setup)
{
    child_process child = start_pidecimals(dir, args, child_setup);
    return finish(child);
}

scratch_dir::scratch_dir()
{
    std::string tmpl = (fs::temp_directory_path() / "pidecimals-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp");
    path = tmpl;
}

scratch_dir::~scratch_dir()
{
    std::error_code ec;
    fs::remove_all(path, ec);
}

std::string bytes(std::initializer_list<int> values)
{
    return std::string(values.begin(), values.end());
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> list_dir(const std::string& path)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(path, ec))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}
