#include "persistence/binfile.h"

#include <fstream>
#include <gtest/gtest.h>

#include "common/ending.h"
#include "support/process.h"

namespace {

std::string bytes(std::initializer_list<int> values)
{
    return std::string(values.begin(), values.end());
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
            std::ofstream(dir / "bad", std::ios::binary) << raw;
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
