// Faults of whole runs: interruptions, kills, memory, limits, hostile arguments and
// two runs side by side. Each case checks the message, the status, that no signal
// ended the process unasked, and what stays in pi/.
#include <signal.h>
#include <sys/resource.h>

#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <thread>

#include "cost.h"
#include "pi.h"
#include "support/process.h"

namespace {

// Name -> content of every file in dir.
std::map<std::string, std::string> snapshot(const std::string& dir)
{
    std::map<std::string, std::string> files;
    for (const auto& name : list_dir(dir))
        files[name] = read_file(dir + "/" + name);
    return files;
}

TEST(Guards, InterruptedOrKilledRunsLeaveOnlyWholeFiles)
{
    scratch_dir dir;
    ASSERT_EQ(run_pidecimals(dir.path, {"1000000"}).status, 0);
    auto complete = snapshot(dir / "pi");

    for (int sig : {SIGINT, SIGTERM}) {
        // An interrupted run ends at once, without joining the threads that compute:
        // under ThreadSanitizer that is no leak worth a report.
        child_process child = start_pidecimals(dir.path, {"1000000"},
                                               [] { setenv("TSAN_OPTIONS", "report_thread_leaks=0", 1); });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        kill(child.pid, sig);
        run_result r = finish(child);
        EXPECT_EQ(r.status, 128 + sig);
        EXPECT_EQ(r.err, std::string("calcul interrompu par le signal SIG") + sigabbrev_np(sig) + "\n");
        EXPECT_EQ(r.out.find("résultat décimal"), std::string::npos);
        EXPECT_EQ(snapshot(dir / "pi"), complete);
    }
    // A kill cannot clean up: a temporary file named after the killed process may
    // stay, every final name holds a whole file.
    for (int ms = 50; ms < 800; ms += 150) {
        child_process child = start_pidecimals(dir.path, {"1000000"});
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        kill(child.pid, SIGKILL);
        std::string pid = std::to_string(child.pid);
        finish(child);
        for (const auto& [name, content] : snapshot(dir / "pi")) {
            if (name.find(".tmp-") != std::string::npos) {
                EXPECT_EQ(name.substr(name.size() - pid.size()), pid);
                std::remove((dir / ("pi/" + name)).c_str());
            } else {
                EXPECT_TRUE(content == complete[name]) << name << " after " << ms << " ms";
            }
        }
    }
}

TEST(Guards, TwoRunsSideBySideBothEndWithTheSameFiles)
{
    scratch_dir dir, alone;
    auto one = std::async(std::launch::async, [&] { return run_pidecimals(dir.path, {"300000"}); });
    auto two = std::async(std::launch::async, [&] { return run_pidecimals(dir.path, {"300000"}); });
    run_result a = one.get(), b = two.get();
    for (const run_result* r : {&a, &b}) {
        EXPECT_EQ(r->status, 0) << r->err;
        EXPECT_NE(r->out.find("résultat décimal dans le fichier pi-300000.txt"), std::string::npos);
    }
    ASSERT_EQ(run_pidecimals(alone.path, {"300000"}).status, 0);
    EXPECT_EQ(snapshot(dir / "pi"), snapshot(alone / "pi"));
}

#if !defined(PI_SANITIZED)
TEST(Guards, RunningOutOfMemorySaysSo)
{
    run_result r = run_pidecimals(scratch_dir().path, {"1000000"}, [] {
        setenv("MALLOC_ARENA_MAX", "1", 1);
        rlimit as{16 << 20, 16 << 20};
        setrlimit(RLIMIT_AS, &as);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("mémoire épuisée : une allocation", 0), 0u) << r.err;
}
#endif

TEST(Guards, CountsThatCannotEndWellAreRefusedBeforeAnyWork)
{
    // Beyond the raw format, and twice the memory of this machine by the estimate.
    unsigned long n = 1000;
    while (estimated_peak_bytes(n) < 2 * machine_memory_bytes() && n < max_storable_decimals() / 2)
        n *= 2;
    const std::pair<unsigned long, const char*> counts[] = {
        {max_storable_decimals() + 1, " décimales refusées : un entier à enregistrer dépasserait"},
        {n, " décimales refusées : pic de mémoire estimé à "}};
    for (auto [count, why] : counts) {
        scratch_dir dir;
        run_result r = run_pidecimals(dir.path, {std::to_string(count)});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind(std::to_string(count) + why, 0), 0u) << r.err;
        EXPECT_TRUE(list_dir(dir / "pi").empty());
    }
}

TEST(Guards, HostileArgumentsAreReadOrRefusedNeverCrash)
{
    // Empty, blanks, signs, huge, non-ASCII, very long, random bytes.
    std::mt19937 rng(7);
    const std::string pieces[] = {"", " ", "\t", "+", "-", "0", "7", "99999999999999999999", "é", "\xff", "abc",
                                  "1e3", "0x1f", "%n", "\\", "\n", "-9223372036854775808", std::string(5000, '9')};
    int runs = 0;
    for (int i = 0; i < 300; ++i) {
        std::string arg;
        for (int p = static_cast<int>(rng() % 5); p > 0; --p)
            arg += pieces[rng() % std::size(pieces)];
        for (int k = rng() % 4 ? 0 : static_cast<int>(rng() % 12); k > 0; --k)
            arg.push_back(static_cast<char>(1 + rng() % 255));
        std::optional<unsigned long> n = parse_decimals(arg.c_str());
        if (n && refusal(*n, machine_memory_bytes()).empty())
            continue; // a count the program would compute
        ++runs;
        scratch_dir dir;
        run_result r = run_pidecimals(dir.path, {arg});
        EXPECT_EQ(r.status, 1) << arg;
        EXPECT_EQ(r.out, "") << arg;
        EXPECT_TRUE(list_dir(dir / "pi").empty()) << arg;
    }
    EXPECT_GT(runs, 100);
}

} // namespace
