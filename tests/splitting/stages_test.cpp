#include "splitting/stages.h"

#include <unistd.h>

#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

#include "pi.h"
#include "series/terms.h"
#include "support/oracle.h"
#include "support/process.h"

namespace {

// g(m) for n decimals inside a fresh directory, its console set aside.
struct stage_run {
    scratch_dir dir;
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
        EXPECT_EQ(chdir(back.c_str()), 0);
    }
    std::string file(int k, char member) const
    {
        return read_file(dir / ("pi/etape" + std::to_string(k) + "_" + std::to_string(N) + "_" + member));
    }
};

// The series' terms under another name, which keeps compose on its plain path.
affine plain_f(unsigned long n)
{
    return f(n);
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
    const unsigned long cases[][2] = {{2, 1}, {3, 1}, {4, 2}, {5, 2}, {52, 26}, {301, 150}};
    for (auto [m, split] : cases) {
        stage_run run(100 + m, m);
        affine stage[2];
        compose(stage[0], plain_f, 0, split, 4);
        compose(stage[1], plain_f, split, m + 1, 4);
        for (int k : {1, 2}) {
            EXPECT_EQ(run.file(k, 'a'), raw(stage[k - 1].a)) << m;
            EXPECT_EQ(run.file(k, 'b'), raw(stage[k - 1].b)) << m;
            EXPECT_EQ(run.file(k, 'c'), raw(stage[k - 1].c)) << m;
        }
        // Stage 1 is term 0 alone for m < 4; stage b's sign is that of the term count.
        if (m <= 3) {
            EXPECT_EQ(run.file(1, 'b'), std::string("\xff\xff\xff\xff\x01", 5));
        }
        EXPECT_EQ(sgn(stage[0].b), split % 2 ? -1 : 1);
        EXPECT_EQ(sgn(stage[1].b), (m + 1 - split) % 2 ? -1 : 1);
    }
}

TEST(Stages, FiftyThreeTermsComposeTheMapOfThePlainSum)
{
    stage_run run(10000, 52);
    affine plain = plain_composition(f, 0, 53);
    ASSERT_GT(run.A.c, 0);
    mpz_class k = plain.c / run.A.c;
    EXPECT_TRUE(run.A.a * k == plain.a && run.A.b * k == plain.b && run.A.c * k == plain.c);
    mpz_class ten;
    mpz_ui_pow_ui(ten.get_mpz_t(), 10, 10000);
    EXPECT_EQ(dixExpN, ten);
}

} // namespace
