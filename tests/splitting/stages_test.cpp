#include "splitting/stages.h"

#include <unistd.h>

#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>

#include "pi.h"
#include "series/terms.h"
#include "support/process.h"

namespace {

// Runs g(m) for n decimals inside a fresh directory, console captured.
struct stage_run {
    scratch_dir dir;
    std::string console;
    affine A;

    stage_run(unsigned long n, unsigned long m)
    {
        std::filesystem::create_directory(dir / "pi");
        std::string back = std::filesystem::current_path();
        EXPECT_EQ(chdir(dir.path.c_str()), 0);
        N = n;
        std::ostringstream out;
        auto* old = std::cout.rdbuf(out.rdbuf());
        A = g(m);
        std::cout.rdbuf(old);
        std::cout << std::defaultfloat << std::setprecision(6);
        console = out.str();
        EXPECT_EQ(chdir(back.c_str()), 0);
    }
    std::string file(int k, const char* member) const
    {
        return read_file(dir / ("pi/etape" + std::to_string(k) + "_" + std::to_string(N) + "_" + member));
    }
};

// The series' terms under another name, which keeps compose on its plain path.
affine plain_f(unsigned long n)
{
    return f(n);
}

affine stage_map(unsigned long lo, unsigned long hi)
{
    affine r;
    compose(r, plain_f, lo, hi, 4);
    return r;
}

std::string raw(const mpz_class& x)
{
    scratch_dir d;
    std::FILE* out = std::fopen((d / "x").c_str(), "w");
    mpz_out_raw(out, x.get_mpz_t());
    std::fclose(out);
    return read_file(d / "x");
}

TEST(Stages, RangesAndCheckpointFilesMatchThePlainPath)
{
    const unsigned long cases[][3] = {{2, 0, 1}, {3, 0, 1}, {4, 0, 2}, {5, 0, 2}, {52, 0, 26}, {301, 0, 150}};
    for (auto [m, lo, split] : cases) {
        stage_run run(100 + m, m);
        affine s1 = stage_map(lo, split), s2 = stage_map(split, m + 1);
        EXPECT_EQ(run.file(1, "a"), raw(s1.a)) << m;
        EXPECT_EQ(run.file(1, "b"), raw(s1.b)) << m;
        EXPECT_EQ(run.file(1, "c"), raw(s1.c)) << m;
        EXPECT_EQ(run.file(2, "a"), raw(s2.a)) << m;
        EXPECT_EQ(run.file(2, "b"), raw(s2.b)) << m;
        EXPECT_EQ(run.file(2, "c"), raw(s2.c)) << m;
        if (m <= 3) {
            EXPECT_EQ(run.file(1, "b"), std::string("\xff\xff\xff\xff\x01", 5));
        }
    }
}

TEST(Stages, FiftyThreeTermsComposeTheMapOfThePlainSum)
{
    stage_run run(10000, 52);
    affine plain = f(0);
    for (unsigned long n = 1; n <= 52; ++n)
        plain.compose(f(n));
    ASSERT_GT(run.A.c, 0);
    ASSERT_EQ(plain.c % run.A.c, 0);
    mpz_class k = plain.c / run.A.c;
    EXPECT_EQ(run.A.a * k, plain.a);
    EXPECT_EQ(run.A.b * k, plain.b);

    mpz_class ten;
    mpz_ui_pow_ui(ten.get_mpz_t(), 10, 10000);
    EXPECT_EQ(dixExpN, ten);

    // 26 terms in stage 1 (b positive), 27 in stage 2 (b negative).
    affine s1(run.dir / "pi/etape1_10000"), s2(run.dir / "pi/etape2_10000");
    EXPECT_GT(s1.a, 0);
    EXPECT_GT(s1.b, 0);
    EXPECT_GT(s2.a, 0);
    EXPECT_LT(s2.b, 0);
    EXPECT_GT(s2.c, 0);

    std::regex seven("composée affine en deux étapes enregistrées:\n"
                     "étape 1\ndurée: -?[0-9]+\\.[0-9]{3} s\n"
                     "étape 2\ndurée: -?[0-9]+\\.[0-9]{3} s\n"
                     "composition des deux étapes...\ndurée: -?[0-9]+\\.[0-9]{3} s\n");
    EXPECT_TRUE(std::regex_match(run.console, seven)) << run.console;
}

TEST(Stages, SameCountGivesIdenticalFilesAndLeavesOtherCountsAlone)
{
    stage_run first(1000, 5);
    std::string b1 = first.file(2, "a");
    stage_run second(1000, 5);
    EXPECT_EQ(second.file(2, "a"), b1);

    // Another N in the same directory: earlier files untouched, no temporary left.
    stage_run other(1000, 5);
    std::filesystem::copy_file(other.dir / "pi/etape2_1000_a", other.dir / "pi/keep");
    std::string back = std::filesystem::current_path();
    ASSERT_EQ(chdir(other.dir.path.c_str()), 0);
    N = 2000;
    std::ostringstream sink;
    auto* old = std::cout.rdbuf(sink.rdbuf());
    g(10);
    std::cout.rdbuf(old);
    ASSERT_EQ(chdir(back.c_str()), 0);
    EXPECT_EQ(read_file(other.dir / "pi/etape2_1000_a"), read_file(other.dir / "pi/keep"));
    EXPECT_EQ(list_dir(other.dir / "pi").size(), 13u);
}

} // namespace
