#include "persistence/binfile.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>

#include "failure.h"
#include "splitting/affine.h"
#include "support/process.h"

namespace {

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

TEST(Binfile, HandBuiltBytesBothWays)
{
    const std::pair<const char*, std::string> examples[] = {
        {"0", bytes({0, 0, 0, 0})},
        {"-1", bytes({0xff, 0xff, 0xff, 0xff, 0x01})},
        {"256", bytes({0, 0, 0, 2, 0x01, 0x00})},
        {"314", bytes({0, 0, 0, 2, 0x01, 0x3a})},
        {"-314", bytes({0xff, 0xff, 0xff, 0xfe, 0x01, 0x3a})},
        {"31415926535", bytes({0, 0, 0, 5, 0x07, 0x50, 0x88, 0xff, 0x07})},
    };
    scratch_dir dir;
    put_file(dir / "x", std::string(1000, 'z')); // a longer file is replaced whole
    for (const auto& [value, raw] : examples) {
        mpz_class x(value), y = 12345;
        bigint_to_binfile(x, dir / "x");
        EXPECT_EQ(read_file(dir / "x"), raw) << value;
        put_file(dir / "hand", raw);
        bigint_from_binfile(y, dir / "hand");
        EXPECT_EQ(y, x);
    }
    EXPECT_EQ(list_dir(dir.path), (std::vector<std::string>{"hand", "x"}));
}

TEST(Binfile, RandomIntegersAndMapsRoundTrip)
{
    scratch_dir dir;
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(314159);
    for (int i = 0; i < 100; ++i) {
        mpz_class x = rng.get_z_bits(mpz_class(rng.get_z_range(20000)).get_ui()) * (i % 2 ? -1 : 1), y;
        bigint_to_binfile(x, dir / "r");
        std::FILE* ref = std::fopen((dir / "ref").c_str(), "w");
        mpz_out_raw(ref, x.get_mpz_t());
        std::fclose(ref);
        ASSERT_EQ(read_file(dir / "r"), read_file(dir / "ref")) << i;
        bigint_from_binfile(y, dir / "r");
        ASSERT_EQ(y, x) << i;
    }
    affine m;
    m.a = mpz_class("123456789012345678901234567890");
    m.b = -mpz_class("98765432109876543210");
    m.c = 7;
    m.to_binfiles(dir / "etape2_9");
    affine back(dir / "etape2_9");
    EXPECT_TRUE(back.a == m.a && back.b == m.b && back.c == m.c);
    EXPECT_EQ(read_file(dir / "etape2_9_c"), bytes({0, 0, 0, 1, 7}));
}

TEST(Binfile, FailuresNameTheFileAndTheCause)
{
    scratch_dir dir;
    mpz_class x;
    EXPECT_EQ(failure_of([&] { bigint_from_binfile(x, dir / "absent"); }),
              "lecture du fichier " + dir / "absent" + " impossible : No such file or directory");
    EXPECT_EQ(failure_of([&] { bigint_to_binfile(mpz_class(1), dir / "none/x"); }),
              "écriture du fichier " + dir / "none/x" + " impossible : No such file or directory");
    const std::pair<std::string, std::string> damaged[] = {
        {bytes({0, 0, 1}), "tronqué"},                   // shorter than the count
        {bytes({0, 0, 0, 3, 1, 2}), "tronqué"},          // magnitude cut short
        {bytes({0x7f, 0xff, 0xff, 0xff, 1}), "tronqué"}, // absurd count, tiny file
        {bytes({0, 0, 0, 1, 3, 0}), "octets en trop"},   // a byte after the integer
    };
    for (const auto& [raw, cause] : damaged) {
        put_file(dir / "bad", raw);
        std::string msg = failure_of([&] { bigint_from_binfile(x, dir / "bad"); });
        EXPECT_EQ(msg.rfind("lecture du fichier " + dir / "bad" + " impossible : ", 0), 0u) << msg;
        EXPECT_NE(msg.find(cause), std::string::npos) << msg;
    }
}

} // namespace
