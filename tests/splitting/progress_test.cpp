// Progress on a terminal: shown on standard error only when it is a terminal, and
// never mixed into standard output.
#include "splitting/progress.h"

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <future>
#include <gtest/gtest.h>
#include <regex>

#include "cost.h"
#include "support/process.h"

namespace {

TEST(Progress, OnATerminalStandardErrorShowsCostAndStagesOnly)
{
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    scratch_dir dir;
    child_process child = start_pidecimals(dir.path, {"300000"}, [slave] { dup2(slave, 2); });
    close(slave);
    // The terminal is read while the run goes on, so that it never blocks on it.
    auto screen = std::async(std::launch::async, [master] {
        std::string text;
        char buf[4096];
        for (ssize_t n; (n = read(master, buf, sizeof buf)) > 0;)
            text.append(buf, static_cast<size_t>(n));
        return text;
    });
    run_result r = finish(child);
    std::string err = screen.get();
    close(master);

    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(err.rfind(cost_line(300000).substr(0, 30), 0), 0u) << err;
    for (std::string stage : {"1 : [0-9]+ / 793", "2 : [0-9]+ / 795"})
        EXPECT_TRUE(std::regex_search(err, std::regex("\rétape " + stage + " termes \\([0-9]+ %\\), [0-9.]+ s"))) << err;
    EXPECT_EQ(err.substr(err.size() - 4), "\r\033[K") << err;
    // Standard output is the plain report: no carriage return, no escape.
    EXPECT_EQ(r.out.find_first_of("\r\033"), std::string::npos);
    EXPECT_NE(r.out.find("résultat décimal dans le fichier pi-300000.txt"), std::string::npos);
}

} // namespace
