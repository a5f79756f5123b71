// Whole runs of the real executable in fresh directories: console, files, exit status.
#include <sys/resource.h>

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <regex>

#include "series/shape.h"
#include "splitting/compose.h"
#include "splitting/primitive.h"
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

// x as mpz_out_raw writes it.
std::string raw(const mpz_class& x)
{
    char* text = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    mpz_out_raw(out, x.get_mpz_t());
    std::fclose(out);
    std::string r(text, size);
    std::free(text);
    return r;
}

TEST(Run, ConsoleAndFilesAgreeWithMpfrAndThePlainPath)
{
    // m = 2, 2, 3, 5, 52, 105, 529 terms; stage 1 is term 0 alone below m = 4. All in
    // one folder, checked after the last run: other counts leave a count's files alone.
    scratch_dir dir;
    const unsigned long counts[] = {0, 1, 567, 1000, 10000, 20000, 100000};
    std::map<unsigned long, run_result> runs;
    for (unsigned long n : counts)
        runs[n] = run_pidecimals(dir.path, {std::to_string(n)});
    EXPECT_TRUE(std::regex_match(runs[0].out, console_of("0", "2", "-1\\.166e-570", "3\\.\n", dir / "pi")))
        << runs[0].out;
    std::string digits = "3\\.14159265358979[0-9]{966}66111959092164201989\n";
    EXPECT_TRUE(std::regex_match(runs[1000].out, console_of("1000", "5", "9\\.320e-1140", digits, dir / "pi")))
        << runs[1000].out;
    for (unsigned long n : counts) {
        EXPECT_EQ(runs[n].status, 0);
        EXPECT_EQ(runs[n].err, "");
        EXPECT_EQ(runs[n].out.find("INEXACT"), std::string::npos);
        std::string name = dir / ("pi/pi-" + std::to_string(n));
        mpz_class pi = pi_oracle(n);
        std::string text = "3." + pi.get_str().substr(1);
        EXPECT_TRUE(read_file(name + ".txt") == text && read_file(name) == raw(pi)) << n;
        for (int k : {1, 2}) {
            term_range r = stage_range(k, term_count(n));
            affine stage;
            compose(stage, f, r.lo, r.hi, 4);
            std::string prefix = dir / ("pi/etape" + std::to_string(k) + "_" + std::to_string(n) + "_");
            EXPECT_TRUE(read_file(prefix + "a") == raw(stage.a) && read_file(prefix + "b") == raw(stage.b) &&
                        read_file(prefix + "c") == raw(stage.c))
                << n << " stage " << k;
        }
    }
    EXPECT_EQ(snapshot(dir / "pi").size(), 8 * std::size(counts));
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
        fs::create_directories(dir / "pi/pi-10.txt");
        run_result r = run_pidecimals(dir.path, {n}, setup);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out.find("résultat décimal"), std::string::npos) << r.out;
        EXPECT_EQ(r.err.rfind("écriture du fichier "), 0u) << r.err;
        EXPECT_NE(r.err.find(err + "\n"), std::string::npos) << r.err;
        EXPECT_EQ(snapshot(dir / "pi").size(), left + 1) << n;
    }
}

} // namespace
