#include "cost.h"

#include <gtest/gtest.h>

#include <vector>

#include "persistence/binfile.h"
#include "series/shape.h"
#include "splitting/compose.h"
#include "support/process.h"

namespace {

TEST(Cost, EstimatesBoundTheRealMapAndCountsThatCannotEndWellAreRefused)
{
    // 200000 decimals: stage 2 of 530 terms, composed as a run composes it.
    term_range r = stage_range(2, term_count(200000));
    affine stage;
    compose_series(stage, r.lo, r.hi, 4);
    double real = static_cast<double>(mpz_sizeinbase(stage.a.get_mpz_t(), 256));
    EXPECT_GE(largest_stored_bytes(200000), real);
    EXPECT_LT(largest_stored_bytes(200000), real * 1.05);
    unsigned long max = max_storable_decimals();
    EXPECT_LE(largest_stored_bytes(max), static_cast<double>(raw_format_max_bytes));
    EXPECT_GT(largest_stored_bytes(max + 1), static_cast<double>(raw_format_max_bytes));
    // Refused before any work: beyond the raw format, and beyond the memory of this
    // machine by the estimate (twice it, or the largest storable count), when some
    // storable count is.
    unsigned long n = 1000;
    while (estimated_peak_bytes(n) < 2 * machine_memory_bytes() && n < max / 2)
        n *= 2;
    if (estimated_peak_bytes(n) <= machine_memory_bytes())
        n = max;
    std::vector<std::pair<unsigned long, const char*>> counts = {
        {max + 1, " décimales refusées : un entier à enregistrer dépasserait"}};
    if (estimated_peak_bytes(n) > machine_memory_bytes())
        counts.emplace_back(n, " décimales refusées : pic de mémoire estimé à ");
    for (auto [count, why] : counts) {
        scratch_dir dir;
        run_result run = run_pidecimals(dir.path, {std::to_string(count)});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind(std::to_string(count) + why, 0), 0u) << run.err;
        EXPECT_TRUE(snapshot(dir / "pi").empty());
    }
    // Files that would not fit the free disk.
    EXPECT_EQ(refusal(1000000, 0, 4e6).rfind("1000000 décimales refusées : fichiers estimés à ", 0), 0u);
    EXPECT_EQ(refusal(1000000, 0, 5e6), "");
}

} // namespace
