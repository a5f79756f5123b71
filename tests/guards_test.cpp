// Faults of whole runs: interruptions, kills, memory, limits, hostile arguments and
// two runs side by side. Each case checks the message, the status, that no signal
// ended the process unasked, and what stays in pi/.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
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

    for (int sig : {SIGINT, SIGTERM, SIGQUIT}) {
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
                EXPECT_NE(name.find(".tmp-" + pid + "-"), std::string::npos) << name;
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
TEST(Guards, AddressSpaceLimitsFailOnlyBelowTheNeed)
{
    // 10^6 decimals hold some 22 MB.
    for (rlim_t mb : {16, 200, 400}) {
        run_result r = run_pidecimals(scratch_dir().path, {"1000000"}, [mb] {
            rlimit as{mb << 20, mb << 20};
            setrlimit(RLIMIT_AS, &as);
        });
        EXPECT_EQ(r.status, mb < 100 ? 1 : 0) << mb;
        if (mb < 100) {
            EXPECT_EQ(r.err.rfind("mémoire épuisée : une allocation de ", 0), 0u) << r.err;
        }
    }
}
#endif

TEST(Guards, LinksAtTemporaryOrFinalNamesAreNeverWrittenThrough)
{
    scratch_dir dir;
    std::string outside = dir / "outside";
    std::ofstream(outside) << "keep";
    std::filesystem::create_directory(dir / "pi");
    std::filesystem::create_symlink(outside, dir / "pi/pi-1000.txt");
    // The names the temporary files would have if they were named after the pid alone.
    run_result r = run_pidecimals(dir.path, {"1000"}, [outside] {
        for (const char* name : {"pi/pi-1000.txt", "pi/pi-1000", "pi/etape1_1000_a"})
            symlink(outside.c_str(), (name + (".tmp-" + std::to_string(getpid()))).c_str());
    });
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(outside), "keep");
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(dir / "pi/pi-1000.txt")));
    EXPECT_EQ(read_file(dir / "pi/pi-1000.txt").size(), 1002u);
}

// Runs 10^6 decimals in dir and calls act once stage 1's files are all written.
run_result run_and_act_after_stage_one(const std::string& dir, const std::function<void()>& act)
{
    child_process child = start_pidecimals(dir, {"1000000"});
    for (int ms = 0; ms < 20000 && !std::filesystem::exists(dir + "/pi/etape1_1000000_c"); ++ms)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    act();
    return finish(child);
}

TEST(Guards, ChangesBetweenWriteAndReadBackAreRefusedOrDoNotSplitTheFiles)
{
    // A checkpoint changed on disk: an error, and no result file.
    scratch_dir dir;
    run_result r = run_and_act_after_stage_one(dir.path, [&] {
        std::fstream f(dir / "pi/etape1_1000000_b", std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(100);
        f.put('\x5a');
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "lecture du fichier pi/etape1_1000000_b impossible : contenu changé depuis son écriture "
                     "(somme de contrôle CRC-32 différente)\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "pi/pi-1000000.txt"));

    // The current folder renamed and made again: every file in the folder the run began in.
    scratch_dir moved;
    std::filesystem::create_directory(moved / "a");
    r = run_and_act_after_stage_one(moved / "a", [&] {
        std::filesystem::rename(moved / "a", moved / "b");
        std::filesystem::create_directories(moved / "a/pi");
    });
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(list_dir(moved / "b/pi").size(), 8u);
    EXPECT_TRUE(list_dir(moved / "a/pi").empty());
}

TEST(Guards, AFailingConsoleIsAnErrorAfterTheFilesAndSignalsStillEndAtOnce)
{
    auto gone_reader = [](bool ignored) {
        return [ignored] {
            int p[2];
            if (pipe(p) == 0) {
                dup2(p[1], 1);
                close(p[0]);
            }
            if (ignored)
                signal(SIGPIPE, SIG_IGN);
        };
    };
    const std::pair<std::function<void()>, std::string> consoles[] = {
        {[] { dup2(open("/dev/full", O_WRONLY), 1); }, "No space left on device"},
        {[] { close(1); }, "Bad file descriptor"},
        {gone_reader(true), "Broken pipe"},
        {gone_reader(false), "Broken pipe"},
    };
    for (const auto& [setup, reason] : consoles) {
        scratch_dir dir;
        run_result r = run_pidecimals(dir.path, {"1000"}, setup);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "écriture de la sortie standard impossible : " + reason + "\n");
        EXPECT_EQ(read_file(dir / "pi/pi-1000.txt").size(), 1002u);
    }
    // A reader asleep: the digits line blocks the run, SIGTERM ends it all the same.
    int p[2];
    ASSERT_EQ(pipe2(p, O_CLOEXEC), 0);
    scratch_dir dir;
    child_process child = start_pidecimals(dir.path, {"1000000"}, [p] { dup2(p[1], 1); });
    close(p[1]);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    kill(child.pid, SIGTERM);
    run_result r = finish(child);
    close(p[0]);
    EXPECT_EQ(r.status, 128 + SIGTERM);
}

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
        if (n && refusal(*n, machine_memory_bytes(), 0).empty())
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
