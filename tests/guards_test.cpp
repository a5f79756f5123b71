// Faults of whole runs: interruptions, kills, runs side by side, memory, links, files
// changed under the run and a failing console. Each case checks the message, the
// status, and what stays in pi/.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <gmpxx.h>
#include <gtest/gtest.h>
#include <thread>

#include "guards.h"
#include "support/process.h"

namespace fs = std::filesystem;

namespace {

void sleep_ms(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Waits, ten seconds at most, until the child has printed its first line.
void wait_for_first_line(const child_process& child)
{
    for (int i = 0; i < 2000; ++i) {
        char buf[64];
        ssize_t n = pread(fileno(child.out), buf, sizeof buf, 0);
        if (n > 0 && std::memchr(buf, '\n', static_cast<size_t>(n)))
            return;
        sleep_ms(5);
    }
}

TEST(Guards, RunsBesideOrStoppedByASignalLeaveOnlyWholeFiles)
{
    scratch_dir dir;
    ASSERT_EQ(run_pidecimals(dir.path, {"1000000"}).status, 0);
    const auto complete = snapshot(dir / "pi");
    // Two more side by side over the same files: both end well, with the same bytes.
    auto beside = std::async(std::launch::async, [&] { return run_pidecimals(dir.path, {"1000000"}); });
    EXPECT_EQ(run_pidecimals(dir.path, {"1000000"}).status, 0);
    EXPECT_EQ(beside.get().status, 0);
    EXPECT_TRUE(snapshot(dir / "pi") == complete);

    // An interrupt ends the run at once and removes its temporary file. A kill cannot
    // clean up: a temporary file named after the killed process may stay.
    const std::pair<int, int> stops[] = {{SIGINT, 200}, {SIGTERM, 200}, {SIGQUIT, 200},
                                         {SIGKILL, 50}, {SIGKILL, 300}, {SIGKILL, 650}};
    for (auto [sig, ms] : stops) {
        // An interrupted run does not join the threads that compute: under
        // ThreadSanitizer that is no leak worth a report.
        child_process child = start_pidecimals(dir.path, {"1000000"},
                                               [] { setenv("TSAN_OPTIONS", "report_thread_leaks=0", 1); });
        // An interrupt is timed from the run's first line, once it watches its
        // signals (a slow start under a sanitizer could otherwise come first).
        if (sig != SIGKILL)
            wait_for_first_line(child);
        sleep_ms(ms);
        kill(child.pid, sig);
        run_result r = finish(child);
        if (sig != SIGKILL) {
            EXPECT_EQ(r.status, 128 + sig);
            EXPECT_EQ(r.err, std::string("calcul interrompu par le signal SIG") + sigabbrev_np(sig) + "\n");
            EXPECT_EQ(r.out.find("résultat décimal"), std::string::npos);
        }
        for (const auto& [name, content] : snapshot(dir / "pi"))
            if (sig == SIGKILL && name.find(".tmp-" + std::to_string(child.pid) + "-") != std::string::npos)
                fs::remove(dir / ("pi/" + name));
        EXPECT_TRUE(snapshot(dir / "pi") == complete) << sigabbrev_np(sig) << " after " << ms << " ms";
    }
}

#if !defined(PI_SANITIZED)
TEST(Guards, AddressSpaceLimitsFailOnlyBelowTheNeed)
{
    // 10^6 decimals hold some 22 MB.
    for (rlim_t mb : {16, 200}) {
        run_result r = run_pidecimals(scratch_dir().path, {"1000000"}, [mb] {
            rlimit as{mb << 20, mb << 20};
            setrlimit(RLIMIT_AS, &as);
        });
        EXPECT_EQ(r.status, mb < 100 ? 1 : 0) << mb;
        EXPECT_EQ(r.err.rfind("mémoire épuisée : une allocation de ", 0), mb < 100 ? 0u : std::string::npos);
    }
}
#endif

// Blocks of 4 MiB and more are mapped apart: every resize across that size, up,
// down and between two mapped sizes, keeps the limbs, and products still hold.
TEST(Guards, LargeBlocksKeepTheirLimbsAcrossEveryResize)
{
    install_memory_guard();
    gmp_randclass random(gmp_randinit_default);
    random.seed(7);
    const mp_bitcnt_t limb = GMP_NUMB_BITS;
    mpz_class x = random.get_z_bits(1000 * limb);
    for (mp_bitcnt_t limbs : {600000, 1500000, 700000, 2000}) {
        // Full up to what the new size holds, so that every limb kept is checked.
        x = random.get_z_bits(std::min<mp_bitcnt_t>(limbs, mpz_size(x.get_mpz_t())) * limb);
        mpz_class kept = x;
        mpz_realloc2(x.get_mpz_t(), limbs * limb);
        EXPECT_TRUE(x == kept) << limbs;
        x = random.get_z_bits(limbs * limb);
    }
    mpz_class y = random.get_z_bits(900000 * limb);
    mpz_class z = random.get_z_bits(800000 * limb);
    EXPECT_EQ((y + 1) * (y - 1), y * y - 1);
    EXPECT_EQ((y + z) * (y - z), y * y - z * z);
}

TEST(Guards, LinksAtTemporaryOrFinalNamesAreNeverWrittenThrough)
{
    scratch_dir dir;
    std::string outside = dir / "outside";
    std::ofstream(outside) << "keep";
    fs::create_directory(dir / "pi");
    fs::create_symlink(outside, dir / "pi/pi-1000.txt");
    // The names the temporary files would have if they were named after the pid alone.
    run_result r = run_pidecimals(dir.path, {"1000"}, [outside] {
        for (const char* name : {"pi/pi-1000.txt", "pi/pi-1000", "pi/etape1_1000_a"})
            symlink(outside.c_str(), (name + (".tmp-" + std::to_string(getpid()))).c_str());
    });
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(outside), "keep");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / "pi/pi-1000.txt")));
    EXPECT_EQ(read_file(dir / "pi/pi-1000.txt").size(), 1002u);
}

// Runs 10^6 decimals in dir and calls act once stage 1's files are all written.
run_result run_and_act_after_stage_one(const std::string& dir, const std::function<void()>& act)
{
    child_process child = start_pidecimals(dir, {"1000000"});
    for (int ms = 0; ms < 20000 && !fs::exists(dir + "/pi/etape1_1000000_c"); ++ms)
        sleep_ms(1);
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
    EXPECT_FALSE(fs::exists(dir / "pi/pi-1000000.txt"));

    // The current folder renamed and made again: every file in the folder the run began in.
    scratch_dir moved;
    fs::create_directory(moved / "a");
    r = run_and_act_after_stage_one(moved / "a", [&] {
        fs::rename(moved / "a", moved / "b");
        fs::create_directories(moved / "a/pi");
    });
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(snapshot(moved / "b/pi").size(), 8u);
    EXPECT_TRUE(snapshot(moved / "a/pi").empty());
}

// Standard output into a pipe whose reader is gone.
void gone_reader()
{
    int p[2];
    if (pipe(p) == 0 && dup2(p[1], 1) == 1)
        close(p[0]);
}

TEST(Guards, AFailingConsoleIsAnErrorAfterTheFilesAndSignalsStillEndAtOnce)
{
    const std::pair<std::function<void()>, std::string> consoles[] = {
        {[] { dup2(open("/dev/full", O_WRONLY), 1); }, "No space left on device"},
        {[] { close(1); }, "Bad file descriptor"},
        {gone_reader, "Broken pipe"},
        {[] { gone_reader(); signal(SIGPIPE, SIG_IGN); }, "Broken pipe"},
    };
    for (const auto& [setup, reason] : consoles) {
        scratch_dir dir;
        run_result r = run_pidecimals(dir.path, {"1000"}, setup);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "écriture de la sortie standard impossible : " + reason + "\n");
        EXPECT_EQ(read_file(dir / "pi/pi-1000.txt").size(), 1002u);
    }
    // A reader asleep (the run itself holds the reading end): the line of 10^5 digits
    // fills the pipe and blocks the run, SIGTERM ends it all the same.
    scratch_dir dir;
    child_process child = start_pidecimals(dir.path, {"100000"}, [] { int p[2]; if (pipe(p) == 0) dup2(p[1], 1); });
    sleep_ms(1000);
    kill(child.pid, SIGTERM);
    EXPECT_EQ(finish(child).status, 128 + SIGTERM);
}

} // namespace
