#include "pi.h"

#include <filesystem>
#include <fstream>
#include <tuple>
#include <gtest/gtest.h>

#include "support/process.h"

namespace fs = std::filesystem;

namespace {

const std::string synopsis = "synopsis: " PIDECIMALS_PATH " < nombre de décimales de pi >\n";

TEST(CommandLine, CountsAreReadLikeStrtolInBaseTen)
{
    const std::pair<const char*, unsigned long> counts[] = {
        {"  \t42", 42}, {"+7", 7}, {"1000abc", 1000}, {"-0", 0}, {"0x10", 0}, {"9223372036854775807", 9223372036854775807u}};
    for (auto [arg, n] : counts)
        EXPECT_EQ(parse_decimals(arg), n) << arg;
    for (const char* bad : {"", " ", "abc", "+", "-1", "-9223372036854775808", "9223372036854775808", "\xc3\xa9"})
        EXPECT_FALSE(parse_decimals(bad).has_value()) << '"' << bad << '"';
}

TEST(CommandLine, SynopsisOrRefusalPreparesTheWorkingDirectory)
{
    const std::string refused = " » refusé : un nombre de décimales est attendu, de 0 à 9223372036854775807\n";
    const std::string nines(5000, '9');
    // Hostile arguments too: control bytes shown escaped on one line, others as they
    // are, a format directive, a count far out of range.
    const std::tuple<std::vector<std::string>, int, std::string, std::string> cases[] = {
        {{}, 0, synopsis, ""},
        {{"12", "13"}, 0, synopsis, ""},
        {{"-h"}, 0, synopsis, ""},
        {{"abc"}, 1, "", "argument « abc" + refused + synopsis},
        {{""}, 1, "", "argument « " + refused + synopsis},
        {{"-1"}, 1, "", "argument « -1" + refused + synopsis},
        {{"a\n\tb\x01\x7f\xff%n"}, 1, "", "argument « a\\n\\tb\\x01\\x7f\xff%n" + refused + synopsis},
        {{nines}, 1, "", "argument « " + nines + refused + synopsis},
    };
    for (const auto& [args, status, out, err] : cases) {
        scratch_dir dir;
        run_result r = run_pidecimals(dir.path, args);
        EXPECT_EQ(r.status, status);
        EXPECT_EQ(r.out, out);
        EXPECT_EQ(r.err, err);
        EXPECT_TRUE(fs::is_directory(dir / "pi"));
        EXPECT_TRUE(snapshot(dir / "pi").empty());
    }
}

TEST(CommandLine, NoRunWhereNoFileCouldBeWritten)
{
    scratch_dir dir;
    std::ofstream(dir / "pi") << "not a directory";
    run_result r = run_pidecimals(dir.path, {"10"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, dir / "pi n'est pas un répertoire ; aucun fichier ne pourrait y être écrit\n");
    EXPECT_EQ(read_file(dir / "pi"), "not a directory");
    EXPECT_EQ(run_pidecimals(dir.path, {}).out, synopsis);

    scratch_dir linked;
    fs::create_symlink(linked / "nowhere", linked / "pi");
    run_result d = run_pidecimals(linked.path, {"10"});
    EXPECT_EQ(d.status, 1);
    EXPECT_EQ(d.err, "la création du répertoire " + linked.path + "/pi a échoué : un lien symbolique vers " +
                         linked.path + "/nowhere, qui n'existe pas, occupe ce nom\n");
}

} // namespace
