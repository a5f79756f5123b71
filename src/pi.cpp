#include "pi.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "common/ending.h"
#include "common/globals.h"
#include "guards.h"
#include "cost.h"
#include "result/evaluation.h"
#include "splitting/progress.h"

namespace fs = std::filesystem;

std::optional<unsigned long> parse_decimals(const char* arg)
{
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(arg, &end, 10);
    if (end == arg || errno == ERANGE || v < 0)
        return std::nullopt;
    return static_cast<unsigned long>(v);
}

namespace {

void print_synopsis(std::ostream& out, const char* program)
{
    out << "synopsis: " << program << " < nombre de décimales de pi >\n";
}

// Creates "pi" when nothing stands at path; returns the exit status to end
// with, or 0 to go on.
int prepare_working_directory(std::string& path)
{
    std::error_code ec;
    fs::path cwd = fs::current_path(ec);
    if (ec) {
        std::cerr << "lecture du répertoire courant impossible : " << ec.message() << std::endl;
        return 1;
    }
    path = cwd.native() + "/pi";
    bool present = fs::exists(fs::path(path), ec);
    if (ec) {
        std::cerr << "accès au répertoire " << path << " impossible : " << ec.message() << std::endl;
        return 1;
    }
    if (present)
        return 0;
    bool created = fs::create_directory("pi", ec);
    if (ec) {
        // A dangling link: "File exists" would not say what is in the way.
        std::error_code link_ec;
        fs::path target = fs::read_symlink("pi", link_ec);
        std::string why = link_ec ? ec.message()
                                  : "un lien symbolique vers " + target.native() + ", qui n'existe pas, occupe ce nom";
        std::cerr << "la création du répertoire " << path << " a échoué : " << why << std::endl;
        return 1;
    }
    // Another run started in the same folder may have made it in between.
    if (!created && !fs::is_directory(fs::path(path), ec)) {
        std::cout << "la création du répertoire " << path << " a échoué" << std::endl;
        return 1;
    }
    return 0;
}

// The argument as it can be shown on one line: control bytes escaped.
std::string shown_argument(const std::string& arg)
{
    std::string shown;
    for (unsigned char ch : arg) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02x", ch);
        shown += ch == '\n' ? std::string("\\n") : ch == '\t' ? std::string("\\t") : ch < 0x20 || ch == 0x7f ? hex : std::string(1, static_cast<char>(ch));
    }
    return shown;
}

// Standard output failed at some point of the run: its reason, taken from one
// more write, since the stream keeps none.
std::string standard_output_failure()
{
    errno = 0;
    if (write(1, "\n", 1) == 1 || errno == 0)
        errno = EIO;
    return std::strerror(errno);
}

// Descriptors 0 to 2 stay taken, so that no file the run opens becomes the
// console; a closed standard output is replaced by one on which writes fail.
void hold_standard_descriptors()
{
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            int held = open("/dev/null", O_RDONLY);
            if (held >= 0 && held != fd) {
                dup2(held, fd);
                close(held);
            }
        }
}

// pi() under the guards; every error ends here as one line and status 1.
int run()
{
    install_memory_guard();
    if (progress_shown())
        std::cerr << cost_line(N) << std::flush;
    int status = 1;
    try {
        std::jthread watch = start_interrupt_watch();
        try {
            pi();
            status = 0;
        } catch (...) {
            status = end_of_error();
        }
        stop_interrupt_watch(watch);
    } catch (...) {
        status = end_of_error();
    }
    // The files are the result and are complete; a lost report is still an error.
    if (!std::cout.flush()) {
        std::cerr << "écriture de la sortie standard impossible : " << standard_output_failure() << std::endl;
        return 1;
    }
    return status;
}

} // namespace

int pi_main(int argc, char** argv)
{
    hold_standard_descriptors();
    // A console that fails or goes away is seen as a failed write, reported at
    // the end; so is a file past the size limit.
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
    std::string path;
    if (int status = prepare_working_directory(path))
        return status;
    const char* program = argc > 0 ? argv[0] : "pidecimals";
    if (argc != 2) {
        print_synopsis(std::cout, program);
        return 0;
    }
    std::string arg = argv[1];
    if (arg == "-h" || arg == "--help") {
        print_synopsis(std::cout, program);
        return 0;
    }
    std::optional<unsigned long> count = parse_decimals(argv[1]);
    if (!count) {
        std::cerr << "argument « " << shown_argument(arg) << " » refusé : un nombre de décimales est attendu, de 0 à "
                  << std::numeric_limits<long>::max() << std::endl;
        print_synopsis(std::cerr, program);
        return 1;
    }
    std::error_code ec;
    if (!fs::is_directory(fs::path(path), ec)) {
        std::cerr << path << " n'est pas un répertoire"
                  << (ec ? " : " + ec.message() : std::string()) << " ; aucun fichier ne pourrait y être écrit"
                  << std::endl;
        return 1;
    }
    int dir = open("pi", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        std::cerr << "accès au répertoire " << path << " impossible : " << std::strerror(errno) << std::endl;
        return 1;
    }
    std::string refused = refusal(*count, machine_memory_bytes(), free_disk_bytes(dir));
    if (!refused.empty()) {
        std::cerr << refused << std::endl;
        return 1;
    }
    fix_run(*count, path, dir);
    return run();
}
