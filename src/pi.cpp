#include "pi.h"

#include <cerrno>
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
        std::cerr << "la création du répertoire " << path << " a échoué : " << ec.message() << std::endl;
        return 1;
    }
    // Another run started in the same folder may have made it in between.
    if (!created && !fs::is_directory(fs::path(path), ec)) {
        std::cout << "la création du répertoire " << path << " a échoué" << std::endl;
        return 1;
    }
    return 0;
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
    return status;
}

} // namespace

int pi_main(int argc, char** argv)
{
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
        std::cerr << "argument « " << arg << " » refusé : un nombre de décimales est attendu, de 0 à "
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
    std::string refused = refusal(*count, machine_memory_bytes());
    if (!refused.empty()) {
        std::cerr << refused << std::endl;
        return 1;
    }
    fix_run(*count, path);
    return run();
}
