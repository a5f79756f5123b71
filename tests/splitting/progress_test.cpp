// Progress on a terminal: shown on standard error only when it is a terminal, and
// never mixed into standard output.
#include "splitting/progress.h"

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <future>
#include <gtest/gtest.h>
#include <regex>
#include <tuple>

#include "cost.h"
#include "support/process.h"

namespace {

// Runs pidecimals n with standard error on a terminal; its status, standard
// output and what the terminal received.
std::tuple<int, std::string, std::string> run_on_terminal(const std::string& n)
{
    int master = -1, slave = -1;
    EXPECT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    scratch_dir dir;
    child_process child = start_pidecimals(dir.path, {n}, [slave] { dup2(slave, 2); });
    close(slave);
    // The terminal is read while the run goes on, so that it never blocks on it.
    auto screen = std::async(std::launch::async, [master] {
        std::string text;
        char buf[4096];
        for (ssize_t got; (got = read(master, buf, sizeof buf)) > 0;)
            text.append(buf, static_cast<size_t>(got));
        return text;
    });
    run_result r = finish(child);
    std::string err = screen.get();
    close(master);
    return {r.status, r.out, err};
}

TEST(Progress, OnATerminalStandardErrorShowsCostStagesAndLastStepsOnly)
{
    auto [status, out, err] = run_on_terminal("300000");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(err.rfind(cost_line(300000).substr(0, 30), 0), 0u) << err;
    for (std::string stage : {"1 : [0-9]+ / 793", "2 : [0-9]+ / 795"})
        EXPECT_TRUE(std::regex_search(err, std::regex("\rétape " + stage + " termes \\([0-9]+ %\\), [0-9.]+ s"))) << err;
    EXPECT_EQ(err.substr(err.size() - 4), "\r\033[K") << err;
    // The last phase's steps are for runs past the digits' echo.
    EXPECT_EQ(err.find("conversion"), std::string::npos) << err;
    // Standard output is the plain report: no carriage return, no escape.
    EXPECT_EQ(out.find_first_of("\r\033"), std::string::npos);
    EXPECT_NE(out.find("résultat décimal dans le fichier pi-300000.txt"), std::string::npos);

    // Past it, each phase's first step shows, and every line is erased before the
    // report goes on.
    std::tie(status, out, err) = run_on_terminal("1000001");
    EXPECT_EQ(status, 0);
    for (std::string step : {"terme suivant et dénominateur", "produit par 10\\^N", "écriture du fichier binaire",
                             "conversion décimale"})
        EXPECT_TRUE(std::regex_search(err, std::regex("\r" + step + ", [0-9]+\\.[0-9] s\033\\[K"))) << err;
    EXPECT_EQ(err.substr(err.size() - 4), "\r\033[K") << err;
    EXPECT_EQ(out.find_first_of("\r\033"), std::string::npos);
}

} // namespace
