#include "cost.h"

#include <sys/statvfs.h>
#include <sys/sysinfo.h>

#include <cstdio>

#include "persistence/binfile.h"
#include "series/shape.h"

namespace {

// Bits per term of the maps, measured at 52911 terms and rounded up; they grow
// slowly with the term count and level off (stage 2's a: 2036 bits a term at
// 530 terms, 2088 at 5292, 2098 at 52911).
constexpr double stage2_a_bits = 2110;
constexpr double stage1_bits = 1611 + 981 + 1611;      // a, b, c of stage 1
constexpr double stage2_bits = 2098 + 1468 + 2098;     // a, b, c of stage 2
constexpr double final_map_bits = 1855 + 1225 + 1855;  // a, b, c of all terms
// Peak over the final map's size and the process's own base, fitted above the
// peaks measured (maximum resident set) at 10^5, 10^6, 3x10^6, 10^7, 10^8 and
// 10^9 decimals: 8.0, 29.1, 41.1, 97-113 MB, 0.94-0.99 and 8.9 GB, where the
// estimate gives 26, 36, 59, 139 MB, 1.17 and 11.4 GB. They lie in the last
// phase and the stages' top merges, where the integers still held meet the
// scratch of a product at the bound on transforms (four arrays of doubles a
// transform point, on whole huge pages).
constexpr double peak_per_map_byte = 3.5;
constexpr double base_bytes = 25e6;
// The raw result T: log2(10) / 8 bytes a decimal.
constexpr double raw_bytes_per_digit = 0.4153;

double terms_of_stage(int k, unsigned long n)
{
    term_range r = stage_range(k, term_count(n));
    return static_cast<double>(r.hi - r.lo);
}

std::string gib(double bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f Gio", bytes / (1024.0 * 1024.0 * 1024.0));
    return text;
}

} // namespace

double largest_stored_bytes(unsigned long n)
{
    double result = static_cast<double>(n) * raw_bytes_per_digit + 8;
    double stage = terms_of_stage(2, n) * stage2_a_bits / 8;
    return stage > result ? stage : result;
}

unsigned long max_storable_decimals()
{
    // Stage 2 holds m/2 + 1 terms for even m; the count of the last accepted m,
    // then every n that maps to it.
    unsigned long terms = static_cast<unsigned long>(8.0 * raw_format_max_bytes / stage2_a_bits);
    unsigned long m = 2 * (terms - 1);
    return digits_per_term * m + digits_per_term - 1;
}

double estimated_peak_bytes(unsigned long n)
{
    double terms = static_cast<double>(term_count(n) + 1);
    return base_bytes + peak_per_map_byte * terms * final_map_bits / 8;
}

double estimated_disk_bytes(unsigned long n)
{
    double digits = static_cast<double>(n);
    return terms_of_stage(1, n) * stage1_bits / 8 + terms_of_stage(2, n) * stage2_bits / 8 + digits * raw_bytes_per_digit + digits + 2;
}

double machine_memory_bytes()
{
    struct sysinfo info;
    if (sysinfo(&info) != 0)
        return 0;
    return (static_cast<double>(info.totalram) + static_cast<double>(info.totalswap)) * info.mem_unit;
}

double free_disk_bytes(int dir)
{
    struct statvfs fs;
    if (fstatvfs(dir, &fs) != 0)
        return 0;
    return static_cast<double>(fs.f_bavail) * static_cast<double>(fs.f_frsize);
}

std::string refusal(unsigned long n, double memory_bytes, double disk_bytes)
{
    if (n > max_storable_decimals())
        return std::to_string(n) + " décimales refusées : un entier à enregistrer dépasserait les " +
               std::to_string(raw_format_max_bytes) + " octets que le format brut peut compter ; " +
               "le plus grand nombre de décimales accepté est " + std::to_string(max_storable_decimals());
    double peak = estimated_peak_bytes(n);
    if (memory_bytes > 0 && peak > memory_bytes)
        return std::to_string(n) + " décimales refusées : pic de mémoire estimé à " + gib(peak) +
               ", au-delà des " + gib(memory_bytes) + " de cette machine (mémoire vive et swap)";
    double disk = estimated_disk_bytes(n);
    if (disk_bytes > 0 && disk > disk_bytes)
        return std::to_string(n) + " décimales refusées : fichiers estimés à " + gib(disk) + ", au-delà des " +
               gib(disk_bytes) + " libres pour eux dans le répertoire pi";
    return "";
}

std::string cost_line(unsigned long n)
{
    char line[160];
    std::snprintf(line, sizeof line, "estimation : pic de mémoire %.0f Mo, disque %.0f Mo, %lu termes\n",
                  estimated_peak_bytes(n) / 1e6, estimated_disk_bytes(n) / 1e6, term_count(n) + 1);
    return line;
}
