#include "persistence/binfile.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>

#include "failure.h"
#include "splitting/affine.h"
#include "support/process.h"

namespace {

std::string bytes(std::initializer_list<int> v)
{
    std::string s;
    for (int b : v)
        s.push_back(static_cast<char>(b));
    return s;
}

void put_file(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

// The message of the failure that op throws, "" when it throws none.
template <class Op> std::string failure_of(Op op)
{
    try {
        op();
    } catch (const failure& e) {
        return e.what();
    }
    return "";
}

const std::pair<const char*, std::string> worked_examples[] = {
    {"0", bytes({0, 0, 0, 0})},
    {"-1", bytes({0xff, 0xff, 0xff, 0xff, 0x01})},
    {"256", bytes({0, 0, 0, 2, 0x01, 0x00})},
    {"314", bytes({0, 0, 0, 2, 0x01, 0x3a})},
    {"-314", bytes({0xff, 0xff, 0xff, 0xfe, 0x01, 0x3a})},
    {"31415926535", bytes({0, 0, 0, 5, 0x07, 0x50, 0x88, 0xff, 0x07})},
};

TEST(Binfile, WorkedExamplesByteForByte)
{
    scratch_dir dir;
    for (const auto& [value, raw] : worked_examples) {
        mpz_class x(value);
        bigint_to_binfile(x, dir / "x");
        EXPECT_EQ(read_file(dir / "x"), raw) << value;
        EXPECT_EQ(x, mpz_class(value));

        put_file(dir / "hand", raw);
        mpz_class y = 12345;
        bigint_from_binfile(y, dir / "hand");
        EXPECT_EQ(y, mpz_class(value));
    }
    EXPECT_EQ(list_dir(dir.path), (std::vector<std::string>{"hand", "x"}));
}

TEST(Binfile, RandomIntegersMatchGmpRawOutputAndComeBack)
{
    scratch_dir dir;
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(314159);
    for (int i = 0; i < 200; ++i) {
        mpz_class x = rng.get_z_bits(mpz_class(rng.get_z_range(20000)).get_ui());
        if (i % 2)
            x = -x;
        bigint_to_binfile(x, dir / "r");
        std::FILE* ref = std::fopen((dir / "ref").c_str(), "w");
        mpz_out_raw(ref, x.get_mpz_t());
        std::fclose(ref);
        ASSERT_EQ(read_file(dir / "r"), read_file(dir / "ref")) << i;
        mpz_class y;
        bigint_from_binfile(y, dir / "r");
        ASSERT_EQ(y, x) << i;
    }
}

TEST(Binfile, OverwritingALongerFileLeavesExactlyTheNewBytes)
{
    scratch_dir dir;
    put_file(dir / "x", std::string(1000, 'z'));
    bigint_to_binfile(mpz_class(314), dir / "x");
    EXPECT_EQ(read_file(dir / "x"), bytes({0, 0, 0, 2, 0x01, 0x3a}));
}

TEST(Binfile, MapRoundTripKeepsSigns)
{
    scratch_dir dir;
    affine m;
    m.a = mpz_class("123456789012345678901234567890");
    m.b = -mpz_class("98765432109876543210");
    m.c = 7;
    m.to_binfiles(dir / "etape2_9");
    EXPECT_EQ(m.b, -mpz_class("98765432109876543210"));
    EXPECT_EQ(list_dir(dir.path), (std::vector<std::string>{"etape2_9_a", "etape2_9_b", "etape2_9_c"}));
    affine back(dir / "etape2_9");
    EXPECT_EQ(back.a, m.a);
    EXPECT_EQ(back.b, m.b);
    EXPECT_EQ(back.c, m.c);
}

TEST(Binfile, ReadFailuresNameTheFileAndTheCause)
{
    scratch_dir dir;
    mpz_class x;
    std::string missing = failure_of([&] { bigint_from_binfile(x, dir / "absent"); });
    EXPECT_EQ(missing, "lecture du fichier " + dir / "absent" + " impossible : No such file or directory");

    const std::pair<std::string, std::string> damaged[] = {
        {bytes({0, 0, 1}), "tronqué"},                           // shorter than the count
        {bytes({0, 0, 0, 3, 1, 2}), "tronqué"},                  // magnitude cut short
        {bytes({0x7f, 0xff, 0xff, 0xff, 1}), "tronqué"},         // absurd count, tiny file
        {bytes({0, 0, 0, 1, 3, 0}), "octets en trop"},           // a byte after the integer
        {bytes({0, 0, 0, 0, '\n'}), "octets en trop"},
    };
    for (const auto& [raw, cause] : damaged) {
        put_file(dir / "bad", raw);
        std::string msg = failure_of([&] { bigint_from_binfile(x, dir / "bad"); });
        EXPECT_NE(msg.find("lecture du fichier " + dir / "bad" + " impossible : "), std::string::npos) << msg;
        EXPECT_NE(msg.find(cause), std::string::npos) << msg;
    }
    std::string dir_read = failure_of([&] { bigint_from_binfile(x, dir.path); });
    EXPECT_NE(dir_read.find("lecture du fichier " + dir.path + " impossible"), std::string::npos) << dir_read;
}

TEST(Binfile, WriteIntoAMissingDirectoryFails)
{
    scratch_dir dir;
    std::string msg = failure_of([&] { bigint_to_binfile(mpz_class(1), dir / "none/x"); });
    EXPECT_EQ(msg, "écriture du fichier " + dir / "none/x" + " impossible : No such file or directory");
}

TEST(Binfile, AWriteThatFailsLikeAFullDiskKeepsTheFormerFile)
{
    scratch_dir dir;
    bigint_to_binfile(mpz_class(314), dir / "x");
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    if (pid == 0) {
        // The file size limit fails writes with EFBIG, as a full disk fails them.
        signal(SIGXFSZ, SIG_IGN);
        rlimit lim{100000, 100000};
        setrlimit(RLIMIT_FSIZE, &lim);
        mpz_class big = mpz_class(1) << 8 * 1000000;
        std::string msg = failure_of([&] { bigint_to_binfile(big, dir / "x"); });
        ssize_t written = write(fds[1], msg.data(), msg.size());
        _exit(written == static_cast<ssize_t>(msg.size()) ? 0 : 2);
    }
    close(fds[1]);
    std::string msg;
    char buf[512];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;)
        msg.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(msg, "écriture du fichier " + dir / "x" + " impossible : File too large");
    EXPECT_EQ(read_file(dir / "x"), bytes({0, 0, 0, 2, 0x01, 0x3a}));
    EXPECT_EQ(list_dir(dir.path), std::vector<std::string>{"x"});
}

} // namespace
