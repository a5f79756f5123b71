// Faults of whole runs: interruptions, kills, memory, limits, hostile arguments and
// two runs side by side. Each case checks the message, the status, that no signal
// ended the process unasked, and what stays in pi/.
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <thread>

#include "pi.h"
#include "result/limits.h"
#include "support/process.h"

namespace fs = std::filesystem;

namespace {

// Name -> content of every file in dir.
std::map<std::string, std::string> snapshot(const std::string& dir)
{
    std::map<std::string, std::string> files;
    for (const auto& name : list_dir(dir))
        files[name] = read_file(dir + "/" + name);
    return files;
}

bool is_temporary(const std::string& name)
{
    return name.find(".tmp-") != std::string::npos;
}

TEST(Guards, InterruptedRunsEndPromptlyAndLeaveNoTemporaryFile)
{
    scratch_dir dir;
    ASSERT_EQ(run_pidecimals(dir.path, {"1000000"}).status, 0);
    auto complete = snapshot(dir / "pi");

    for (int sig : {SIGINT, SIGTERM}) {
        // An interrupted run ends at once, without joining the threads that compute:
        // under ThreadSanitizer that is no leak worth a report.
        child_process child = start_pidecimals(dir.path, {"1000000"},
                                               [] { setenv("TSAN_OPTIONS", "report_thread_leaks=0", 1); });
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        kill(child.pid, sig);
        run_result r = finish(child);
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.status, 128 + sig);
        EXPECT_EQ(r.err, std::string("calcul interrompu par le signal SIG") + sigabbrev_np(sig) + "\n");
        // Ended where it stood, not after finishing the run.
        EXPECT_EQ(r.out.find("résultat décimal"), std::string::npos);
        EXPECT_EQ(snapshot(dir / "pi"), complete);
    }
}

TEST(Guards, KilledRunsNeverLeaveATruncatedFileUnderAFinalName)
{
    scratch_dir ref;
    ASSERT_EQ(run_pidecimals(ref.path, {"1000000"}).status, 0);
    auto complete = snapshot(ref / "pi");

    scratch_dir dir;
    for (int ms = 50; ms < 1500; ms += 150) {
        child_process child = start_pidecimals(dir.path, {"1000000"});
        int pid = child.pid;
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        kill(child.pid, SIGKILL);
        finish(child);
        for (const auto& [name, content] : snapshot(dir / "pi")) {
            if (is_temporary(name)) {
                // Left by the kill, and named after the process that wrote it.
                EXPECT_EQ(name.substr(name.size() - std::to_string(pid).size()), std::to_string(pid));
                fs::remove(dir / ("pi/" + name));
            } else {
                ASSERT_TRUE(complete.count(name)) << name;
                EXPECT_TRUE(content == complete[name]) << name << " after " << ms << " ms";
            }
        }
    }
}

TEST(Guards, TwoRunsSideBySideBothEndExact)
{
    scratch_dir dir;
    auto one = std::async(std::launch::async, [&] { return run_pidecimals(dir.path, {"300000"}); });
    auto two = std::async(std::launch::async, [&] { return run_pidecimals(dir.path, {"300000"}); });
    run_result a = one.get(), b = two.get();
    for (const run_result* r : {&a, &b}) {
        EXPECT_EQ(r->status, 0) << r->err;
        EXPECT_NE(r->out.find("résultat décimal dans le fichier pi-300000.txt"), std::string::npos);
    }
    std::vector<std::string> names = list_dir(dir / "pi");
    EXPECT_EQ(names.size(), 8u);
    scratch_dir alone;
    ASSERT_EQ(run_pidecimals(alone.path, {"300000"}).status, 0);
    EXPECT_EQ(snapshot(dir / "pi"), snapshot(alone / "pi"));
}

#if !defined(PI_SANITIZED)
TEST(Guards, RunningOutOfMemorySaysSo)
{
    // One malloc arena and small thread stacks, so that the address space limit
    // falls on GMP's allocations and not on thread starts.
    run_result r = run_pidecimals(scratch_dir().path, {"1000000"}, [] {
        setenv("MALLOC_ARENA_MAX", "1", 1);
        rlimit stack{1 << 20, 1 << 20};
        setrlimit(RLIMIT_STACK, &stack);
        rlimit as{16 << 20, 16 << 20};
        setrlimit(RLIMIT_AS, &as);
    });
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("mémoire épuisée : une allocation", 0), 0u) << r.err;
}
#endif

TEST(Guards, CountsThatCannotEndWellAreRefusedBeforeAnyWork)
{
    scratch_dir dir;
    std::string too_big = std::to_string(max_storable_decimals() + 1);
    run_result format = run_pidecimals(dir.path, {too_big});
    EXPECT_EQ(format.status, 1);
    EXPECT_EQ(format.out, "");
    EXPECT_NE(format.err.find(too_big + " décimales refusées : "), std::string::npos);

    // Twice the memory of this machine, by the estimate.
    unsigned long n = 1000;
    while (estimated_peak_bytes(n) < 2 * machine_memory_bytes() && n < max_storable_decimals() / 2)
        n *= 2;
    run_result memory = run_pidecimals(dir.path, {std::to_string(n)});
    EXPECT_EQ(memory.status, 1);
    EXPECT_EQ(memory.out, "");
    EXPECT_NE(memory.err.find("pic de mémoire estimé à "), std::string::npos) << memory.err;
    EXPECT_TRUE(list_dir(dir / "pi").empty());
}

// Hostile arguments: empty, blanks, signs, huge, non-ASCII, very long, random bytes.
std::vector<std::string> hostile_arguments(int count)
{
    std::mt19937 rng(7);
    const std::string pieces[] = {"", " ", "\t", "+", "-", "0", "7", "9", "99999999999999999999", "é", "\xff",
                                  "abc", "1e3", "0x1f", "--", "%n", "\\", "\n", "9223372036854775807",
                                  "-9223372036854775808", std::string(5000, '9'), std::string(1, '\x01')};
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i) {
        std::string arg;
        int parts = static_cast<int>(rng() % 5);
        for (int p = 0; p < parts; ++p)
            arg += pieces[rng() % std::size(pieces)];
        if (rng() % 4 == 0)
            for (int k = 0, len = static_cast<int>(rng() % 12); k < len; ++k)
                arg.push_back(static_cast<char>(1 + rng() % 255));
        args.push_back(arg);
    }
    return args;
}

TEST(Guards, HostileArgumentsAreReadOrRefusedNeverCrash)
{
    std::vector<std::string> args = hostile_arguments(4000);
    int runs = 0;
    for (const auto& arg : args) {
        std::optional<unsigned long> n = parse_decimals(arg.c_str());
        if (n && refusal(*n, machine_memory_bytes()).empty())
            continue; // a count the program would compute; its reading is tested elsewhere
        if (runs++ % 10 != 0)
            continue; // every tenth refused argument through the real executable
        scratch_dir dir;
        run_result r = run_pidecimals(dir.path, {arg});
        EXPECT_EQ(r.signal, 0) << arg;
        EXPECT_EQ(r.status, 1) << arg;
        EXPECT_EQ(r.out, "") << arg;
        EXPECT_TRUE(list_dir(dir / "pi").empty()) << arg;
    }
    EXPECT_GT(runs, 1000);
}

} // namespace
