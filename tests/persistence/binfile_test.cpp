#include "persistence/binfile.h"

#include <fstream>
#include <gtest/gtest.h>

#include "common/ending.h"
#include "splitting/affine.h"
#include "support/process.h"

namespace {

void put_file(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

TEST(Binfile, HandBuiltBytesBothWaysAndMaps)
{
    const std::pair<const char*, std::string> examples[] = {
        {"0", bytes({0, 0, 0, 0})},
        {"-1", bytes({0xff, 0xff, 0xff, 0xff, 0x01})},
        {"256", bytes({0, 0, 0, 2, 0x01, 0x00})},
        {"-314", bytes({0xff, 0xff, 0xff, 0xfe, 0x01, 0x3a})},
        {"31415926535", bytes({0, 0, 0, 5, 0x07, 0x50, 0x88, 0xff, 0x07})},
    };
    scratch_dir dir;
    put_file(dir / "x", std::string(1000, 'z')); // a longer file is replaced whole
    for (const auto& [value, raw] : examples) {
        mpz_class x(value), y = 12345;
        bigint_to_binfile(x, dir / "x", "x");
        EXPECT_EQ(read_file(dir / "x"), raw) << value;
        put_file(dir / "hand", raw);
        bigint_from_binfile(y, dir / "hand", "hand");
        EXPECT_EQ(y, x);
    }
    affine m;
    m.a = mpz_class("123456789012345678901234567890");
    m.b = -mpz_class("98765432109876543210");
    m.c = 7;
    map_digest digest = m.to_binfiles(dir / "etape2_9", "pi/etape2_9");
    affine back(dir / "etape2_9", "pi/etape2_9", &digest);
    EXPECT_TRUE(back.a == m.a && back.b == m.b && back.c == m.c);
    // One byte changed since the writing.
    put_file(dir / "etape2_9_c", bytes({0, 0, 0, 1, 6}));
    EXPECT_THROW(affine(dir / "etape2_9", "pi/etape2_9", &digest), failure);
}

TEST(Binfile, FailuresNameTheFileAndTheCause)
{
    scratch_dir dir;
    const std::pair<std::string, std::string> damaged[] = {
        {"", "No such file or directory"},
        {bytes({0, 0, 1}), "tronqué"},                   // shorter than the count
        {bytes({0x7f, 0xff, 0xff, 0xff, 1}), "tronqué"}, // absurd count, tiny file
        {bytes({0, 0, 0, 1, 3, 0}), "octets en trop"},   // a byte after the integer
    };
    for (const auto& [raw, cause] : damaged) {
        std::remove((dir / "bad").c_str());
        if (!raw.empty())
            put_file(dir / "bad", raw);
        mpz_class x;
        try {
            bigint_from_binfile(x, dir / "bad", dir / "bad");
            ADD_FAILURE() << cause;
        } catch (const failure& e) {
            std::string msg = e.what();
            EXPECT_EQ(msg.rfind("lecture du fichier " + dir / "bad" + " impossible : ", 0), 0u) << msg;
            EXPECT_NE(msg.find(cause), std::string::npos) << msg;
        }
    }
}

} // namespace
