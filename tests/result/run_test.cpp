// Whole runs of the real executable in fresh directories: console, files, exit status.
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <regex>

#include "support/oracle.h"
#include "support/process.h"

namespace fs = std::filesystem;

namespace {

// The console of a complete run, durations as numbers with three decimals.
std::regex console_of(const std::string& n, const std::string& m, const std::string& bound,
                      const std::string& digits_line, const std::string& pi_path)
{
    const std::string d = "-?[0-9]+\\.[0-9]{3}";
    std::string text = "composée affine en deux étapes enregistrées:\n"
                       "étape 1\ndurée: " + d + " s\n"
                       "étape 2\ndurée: " + d + " s\n"
                       "composition des deux étapes\\.\\.\\.\ndurée: " + d + " s\n"
                       "\nprécision\\.\\.\\.\n"
                       "nombre de termes de la somme partielle = " + m + "\n"
                       "incertitude = " + bound + "\n"
                       "durée: " + d + "\n"
                       "valeur approchée de pi par défaut avec " + n + " décimales\\.\\.\\.\n"
                       "durée: " + d + "\n" +
                       n + " décimales de pi en " + d + " s\n"
                       "\nenregistrement binaire\\.\\.\\.\ndurée: " + d + " s\ndurée totale: " + d + " s\n"
                       "\nenregistrement décimal\\.\\.\\.\n" + digits_line +
                       "durée: " + d + " s\ndurée totale: " + d + " s\n"
                       "résultat décimal dans le fichier pi-" + n + "\\.txt du répertoire " + pi_path + "\n";
    return std::regex(text);
}

TEST(Run, ConsoleOfZeroAndOfAThousandDecimals)
{
    scratch_dir dir;
    run_result r0 = run_pidecimals(dir.path, {"0"});
    EXPECT_EQ(r0.status, 0);
    EXPECT_EQ(r0.err, "");
    EXPECT_TRUE(std::regex_match(r0.out, console_of("0", "2", "-1\\.166e-570", "3\\.\n", dir / "pi"))) << r0.out;

    run_result r = run_pidecimals(dir.path, {"1000"});
    EXPECT_EQ(r.status, 0);
    std::string digits = "3\\.14159265358979[0-9]{966}66111959092164201989\n";
    EXPECT_TRUE(std::regex_match(r.out, console_of("1000", "5", "9\\.320e-1140", digits, dir / "pi"))) << r.out;
}

TEST(Run, ResultFilesAgreeWithMpfrAndRerunsRewriteTheSameBytes)
{
    scratch_dir dir;
    const std::pair<const char*, std::string> raws[] = {
        {"0", bytes({0, 0, 0, 1, 3})}, {"10", bytes({0, 0, 0, 5, 0x07, 0x50, 0x88, 0xff, 0x07})}};
    for (const auto& [n, raw] : raws) {
        ASSERT_EQ(run_pidecimals(dir.path, {n}).status, 0);
        EXPECT_EQ(read_file(dir / ("pi/pi-" + std::string(n))), raw);
    }
    for (unsigned long n : {0ul, 1ul, 20000ul, 100000ul}) {
        run_result r = run_pidecimals(dir.path, {std::to_string(n)});
        ASSERT_EQ(r.status, 0);
        EXPECT_EQ(r.out.find("INEXACT"), std::string::npos);
        std::string expected = pi_oracle(n).get_str();
        expected.insert(1, ".");
        EXPECT_TRUE(read_file(dir / ("pi/pi-" + std::to_string(n) + ".txt")) == expected) << n;
    }
    // The same count again rewrites the same bytes; another leaves them alone.
    std::map<std::string, std::string> before;
    for (const auto& name : list_dir(dir / "pi"))
        before[name] = read_file(dir / ("pi/" + name));
    ASSERT_EQ(run_pidecimals(dir.path, {"20000"}).status, 0);
    ASSERT_EQ(run_pidecimals(dir.path, {"999"}).status, 0);
    for (const auto& [name, content] : before)
        EXPECT_TRUE(read_file(dir / ("pi/" + name)) == content) << name;
    EXPECT_EQ(list_dir(dir / "pi").size(), before.size() + 8);
}

// A limit on file sizes fails writes as a full disk does, without SIGXFSZ.
std::function<void()> file_size_limit(rlim_t bytes)
{
    return [bytes] {
        rlimit lim{bytes, bytes};
        setrlimit(RLIMIT_FSIZE, &lim);
    };
}

TEST(Run, FilesThatCannotBeWrittenEndTheRunWithoutAVerdict)
{
    // 10^5 decimals: checkpoint files of 30 to 68 kB, a text result of 100 kB.
    const std::tuple<const char*, std::function<void()>, std::string, size_t> cases[] = {
        {"100000", file_size_limit(40000), "pi/etape1_100000_a impossible : File too large", 0},
        {"100000", file_size_limit(80000), "/pi/pi-100000.txt impossible : File too large", 7},
        {"10", {}, "/pi/pi-10.txt impossible : Is a directory", 7},
    };
    for (const auto& [n, setup, err, left] : cases) {
        scratch_dir dir;
        std::filesystem::create_directories(dir / "pi/pi-10.txt");
        run_result r = run_pidecimals(dir.path, {n}, setup);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out.find("résultat décimal"), std::string::npos) << r.out;
        EXPECT_EQ(r.err.rfind("écriture du fichier "), 0u) << r.err;
        EXPECT_NE(r.err.find(err + "\n"), std::string::npos) << r.err;
        EXPECT_EQ(list_dir(dir / "pi").size(), left + 1) << n;
    }
}

} // namespace
