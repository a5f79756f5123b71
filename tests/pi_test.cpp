#include "pi.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "support/process.h"

namespace fs = std::filesystem;

namespace {

const std::string synopsis_tail = " < nombre de décimales de pi >\n";

TEST(ParseDecimals, ReadsLikeStrtolInBaseTen)
{
    EXPECT_EQ(parse_decimals("1000"), 1000u);
    EXPECT_EQ(parse_decimals("  \t42"), 42u);
    EXPECT_EQ(parse_decimals("+7"), 7u);
    EXPECT_EQ(parse_decimals("1000abc"), 1000u);
    EXPECT_EQ(parse_decimals("0"), 0u);
    EXPECT_EQ(parse_decimals("-0"), 0u);
    EXPECT_EQ(parse_decimals("007"), 7u);
    EXPECT_EQ(parse_decimals("0x10"), 0u);
    EXPECT_EQ(parse_decimals("9223372036854775807"), 9223372036854775807u);
}

TEST(ParseDecimals, RefusesWhatIsNoCount)
{
    for (const char* bad : {"", " ", "abc", "+", "-", "-1", "-9223372036854775808",
                            "9223372036854775808", "99999999999999999999999", "\xc3\xa9", " -5x"})
        EXPECT_FALSE(parse_decimals(bad).has_value()) << '"' << bad << '"';
}

TEST(CommandLine, SynopsisWithoutOrWithTooManyArguments)
{
    for (const auto& args : {std::vector<std::string>{}, std::vector<std::string>{"12", "13"}}) {
        scratch_dir dir;
        run_result r = run_pidecimals(dir.path, args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "synopsis: " PIDECIMALS_PATH + synopsis_tail);
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(fs::is_directory(dir / "pi"));
        EXPECT_TRUE(list_dir(dir / "pi").empty());
    }
}

TEST(CommandLine, HelpPrintsTheSynopsis)
{
    for (const char* opt : {"-h", "--help"}) {
        scratch_dir dir;
        run_result r = run_pidecimals(dir.path, {opt});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "synopsis: " PIDECIMALS_PATH + synopsis_tail);
    }
}

TEST(CommandLine, ExistingWorkingDirectoryIsLeftAlone)
{
    scratch_dir dir;
    fs::create_directory(dir / "pi");
    { std::ofstream(dir / "pi/keep") << "x"; }
    run_result r = run_pidecimals(dir.path, {});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(list_dir(dir / "pi"), std::vector<std::string>{"keep"});
    EXPECT_EQ(read_file(dir / "pi/keep"), "x");
}

TEST(CommandLine, RefusedArgumentsSayWhyOnStandardError)
{
    for (const char* bad : {"abc", "", "-1", "99999999999999999999"}) {
        scratch_dir dir;
        run_result r = run_pidecimals(dir.path, {bad});
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_EQ(r.out, "") << bad;
        EXPECT_NE(r.err.find(std::string("« ") + bad + " »"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("nombre de décimales est attendu"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("synopsis: "), std::string::npos) << r.err;
        EXPECT_TRUE(fs::is_directory(dir / "pi"));
    }
}

TEST(CommandLine, SomethingNotADirectoryAtPiIsRefusedBeforeARun)
{
    scratch_dir dir;
    { std::ofstream(dir / "pi") << "not a directory"; }
    run_result r = run_pidecimals(dir.path, {"10"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(dir.path + "/pi n'est pas un répertoire"), std::string::npos) << r.err;
    EXPECT_EQ(read_file(dir / "pi"), "not a directory");

    run_result s = run_pidecimals(dir.path, {});
    EXPECT_EQ(s.status, 0);
    EXPECT_EQ(s.out, "synopsis: " PIDECIMALS_PATH + synopsis_tail);
}

TEST(CommandLine, DanglingLinkAtPiIsReportedWithItsPath)
{
    scratch_dir dir;
    fs::create_symlink(dir / "nowhere", dir / "pi");
    run_result r = run_pidecimals(dir.path, {"10"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.signal, 0);
    EXPECT_NE(r.err.find("la création du répertoire " + dir.path + "/pi a échoué : "), std::string::npos)
        << r.err;
}

} // namespace
