#include "support/process.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

// What the child wrote to f, which is closed.
std::string drain(std::FILE* f)
{
    std::string text;
    std::rewind(f);
    for (int c; (c = std::getc(f)) != EOF;)
        text.push_back(static_cast<char>(c));
    std::fclose(f);
    return text;
}

} // namespace

child_process start_pidecimals(const std::string& dir, const std::vector<std::string>& args,
                               const std::function<void()>& child_setup)
{
    // The output goes to files, so that nothing blocks the child.
    child_process child{-1, std::tmpfile(), std::tmpfile()};
    std::vector<char*> argv{const_cast<char*>(PIDECIMALS_PATH)};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    if (!child.out || !child.err || (child.pid = fork()) < 0)
        throw std::runtime_error("cannot start pidecimals");
    if (child.pid == 0) {
        dup2(open("/dev/null", O_RDONLY), 0);
        dup2(fileno(child.out), 1);
        dup2(fileno(child.err), 2);
        if (chdir(dir.c_str()) == 0) {
            if (child_setup)
                child_setup();
            execv(argv[0], argv.data());
        }
        _exit(127);
    }
    return child;
}

run_result finish(child_process& child)
{
    int ws = 0;
    waitpid(child.pid, &ws, 0);
    return {WIFEXITED(ws) ? WEXITSTATUS(ws) : -1, drain(child.out), drain(child.err)};
}

run_result run_pidecimals(const std::string& dir, const std::vector<std::string>& args,
                          const std::function<void()>& child_setup)
{
    child_process child = start_pidecimals(dir, args, child_setup);
    return finish(child);
}

scratch_dir::scratch_dir() : path(fs::temp_directory_path() / "pidecimals-test-XXXXXX")
{
    if (!mkdtemp(path.data()))
        throw std::runtime_error("mkdtemp");
}

scratch_dir::~scratch_dir()
{
    std::error_code ec;
    fs::remove_all(path, ec);
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::map<std::string, std::string> snapshot(const std::string& dir)
{
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
        files[e.path().filename()] = e.is_directory() ? "" : read_file(e.path());
    return files;
}
