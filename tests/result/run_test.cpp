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

TEST(Run, ResultFilesOfSmallCountsAndReruns)
{
    scratch_dir dir;
    // Raw bytes (or their count) and text (or its last 20 digits and its length).
    const std::tuple<const char*, std::string, std::string> cases[] = {
        {"0", bytes({0, 0, 0, 1, 3}), "3."},
        {"1", bytes({0, 0, 0, 1, 0x1f}), "3.1"},
        {"10", bytes({0, 0, 0, 5, 0x07, 0x50, 0x88, 0xff, 0x07}), "3.1415926535"},
        {"100", "46", "86280348253421170679 102"},
        {"1000", "420", "66111959092164201989 1002"},
    };
    for (const auto& [n, raw, text] : cases) {
        ASSERT_EQ(run_pidecimals(dir.path, {n}).status, 0);
        std::string r = read_file(dir / ("pi/pi-" + std::string(n))), t = read_file(dir / ("pi/pi-" + std::string(n) + ".txt"));
        bool long_one = std::string(n).size() > 2;
        EXPECT_EQ(long_one ? std::to_string(r.size()) : r, raw) << n;
        EXPECT_EQ(long_one ? t.substr(t.size() - 20) + " " + std::to_string(t.size()) : t, text) << n;
    }
    // Stage 1 of every count below 756 is term 0 alone, whose b is -1.
    EXPECT_EQ(read_file(dir / "pi/etape1_10_b"), bytes({0xff, 0xff, 0xff, 0xff, 0x01}));

    // The same count again rewrites the same bytes; another leaves them alone.
    std::map<std::string, std::string> before;
    for (const auto& name : list_dir(dir / "pi"))
        before[name] = read_file(dir / ("pi/" + name));
    ASSERT_EQ(run_pidecimals(dir.path, {"1000"}).status, 0);
    ASSERT_EQ(run_pidecimals(dir.path, {"999"}).status, 0);
    for (const auto& [name, content] : before)
        EXPECT_TRUE(read_file(dir / ("pi/" + name)) == content) << name;
    EXPECT_EQ(list_dir(dir / "pi").size(), before.size() + 8);
}

std::string sha256(const std::string& path)
{
    std::string digest;
    if (std::FILE* pipe = popen(("sha256sum '" + path + "'").c_str(), "r")) {
        char buf[65] = {};
        if (std::fread(buf, 1, 64, pipe) == 64)
            digest = buf;
        pclose(pipe);
    }
    return digest;
}

TEST(Run, DigitsOfMpfrAndFilesOfTheStraightforwardComposition)
{
    // Digests of the files that plain composition with full reductions wrote.
    const std::pair<const char*, const char*> files[] = {
        {"etape1_100000_a", "403977b170ec563200dcc419679ca865498ac82ef7c79d4a35a6626cb1e3b8d6"},
        {"etape1_100000_b", "2f8bec6f82af5e65c424713c885a48435ebf7dacca313d1cf27eb01a26bced76"},
        {"etape1_100000_c", "b7db210388ae6ab390eba8ad1c4c2e4362b569f073e9d1b4c9e9f97585ab3403"},
        {"etape2_100000_a", "ff995c1c3769fa78c6934078238d78ead5d312391af0ff5e5347e1f5c4438b9e"},
        {"etape2_100000_b", "aa8ec0aead76d18a112deaba373c4d87199172d07f3c669daadab596202c520f"},
        {"etape2_100000_c", "cc5c30505811cda038999afac45c2297a4dd502d5f7128674d448168ab09da34"},
        {"pi-100000", "8743ab0395f6414bb09dfd497dbd03db6591e24cbf51af2454987832e09d8b30"},
        {"pi-100000.txt", "6fba00bd4d732bf518635d1e28e5292c8db6ee4c26285fe43d5ae9d104655cd9"},
        {"etape1_1000000_a", "96701a5d46960d93f65d55418f564ac79b4ac6036ac43ae4a44bdb26b617852f"},
        {"etape1_1000000_b", "1e175f70dede1ee43c9acf6eb38bb1b6628e9d7fb579be7d279e39dab45ab97e"},
        {"etape1_1000000_c", "b4202962a05fbd689a231893134edbcb46e29b53386cc843c9d5301468c5c9e6"},
        {"etape2_1000000_a", "d944886ca3d6e181b26a13078e8c5db3d889249e97a6606b93e2bd64efdb8cd6"},
        {"etape2_1000000_b", "166775ab074b207e6401f70de259c2214069682eba4d965c5daec775f444aa61"},
        {"etape2_1000000_c", "75beaf0e652120fb4c0bf8628c483dcceec66050960e6d4707b5a42d6f24f04b"},
        {"pi-1000000", "7bd8ec693d47f9bdf02f13b0e7ec37cc64f5bf916101beeb9e580f477087256c"},
        {"pi-1000000.txt", "dd382ef6a0c1e8d920fb72f482d74826251ab97709520bc24f913cd8eb5fc839"},
    };
    scratch_dir dir;
    for (unsigned long n : {20000ul, 100000ul, 1000000ul}) {
        run_result r = run_pidecimals(dir.path, {std::to_string(n)});
        ASSERT_EQ(r.status, 0);
        EXPECT_EQ(r.out.find("INEXACT"), std::string::npos);
        if (n > 100000)
            continue;
        std::string expected = pi_oracle(n).get_str();
        expected.insert(1, ".");
        EXPECT_TRUE(read_file(dir / ("pi/pi-" + std::to_string(n) + ".txt")) == expected) << n;
    }
    for (const auto& [name, digest] : files)
        EXPECT_EQ(sha256(dir / ("pi/" + std::string(name))), digest) << name;
}

TEST(Run, TextResultThatCannotBeWrittenIsAnErrorNotAVerdict)
{
    scratch_dir dir;
    fs::create_directories(dir / "pi/pi-10.txt");
    run_result r = run_pidecimals(dir.path, {"10"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.out.find("résultat décimal"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("3.1415926535\n"), std::string::npos);
    EXPECT_EQ(r.err, "écriture du fichier " + dir / "pi/pi-10.txt" + " impossible : Is a directory\n");
    EXPECT_TRUE(fs::is_directory(dir / "pi/pi-10.txt"));
    EXPECT_EQ(read_file(dir / "pi/pi-10"), bytes({0, 0, 0, 5, 0x07, 0x50, 0x88, 0xff, 0x07}));
}

// A limit on file sizes fails writes as a full disk does.
std::function<void()> file_size_limit(rlim_t bytes)
{
    return [bytes] {
        signal(SIGXFSZ, SIG_IGN);
        rlimit lim{bytes, bytes};
        setrlimit(RLIMIT_FSIZE, &lim);
    };
}

TEST(Run, FullDiskDuringACheckpointOrTheTextResult)
{
    scratch_dir dir;
    // 10^5 decimals: checkpoint files of 30 to 68 kB, a text result of 100 kB.
    run_result cut = run_pidecimals(dir.path, {"100000"}, file_size_limit(40000));
    EXPECT_EQ(cut.status, 1);
    EXPECT_EQ(cut.signal, 0);
    EXPECT_EQ(cut.err, "écriture du fichier pi/etape1_100000_a impossible : File too large\n");
    EXPECT_EQ(cut.out, "composée affine en deux étapes enregistrées:\nétape 1\n");
    EXPECT_TRUE(list_dir(dir / "pi").empty());

    run_result text = run_pidecimals(dir.path, {"100000"}, file_size_limit(80000));
    EXPECT_EQ(text.status, 1);
    EXPECT_EQ(text.err, "écriture du fichier " + dir / "pi/pi-100000.txt" + " impossible : File too large\n");
    EXPECT_EQ(text.out.find("résultat décimal"), std::string::npos);
    std::vector<std::string> left = list_dir(dir / "pi");
    EXPECT_EQ(left.size(), 7u);
    EXPECT_EQ(std::count(left.begin(), left.end(), "pi-100000.txt"), 0);
}

} // namespace
