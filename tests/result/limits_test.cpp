#include "result/limits.h"

#include <gtest/gtest.h>

#include "persistence/binfile.h"
#include "result/evaluation.h"
#include "series/terms.h"
#include "splitting/compose.h"

namespace {

TEST(Limits, LargestAcceptedCountIsTheLastThatFitsTheRawFormat)
{
    unsigned long max = max_storable_decimals();
    EXPECT_LE(largest_stored_bytes(max), static_cast<double>(raw_format_max_bytes));
    EXPECT_GT(largest_stored_bytes(max + 1), static_cast<double>(raw_format_max_bytes));
    EXPECT_GT(max, 3000000000ul);
    EXPECT_LT(max, 3200000000ul);
}

TEST(Limits, StoredSizeEstimateBoundsTheRealStageMap)
{
    // 200000 decimals: stage 2 of 530 terms, composed as a run composes it.
    unsigned long n = 200000, m = term_count(n);
    affine stage;
    compose(stage, f, m / 2, m + 1, 4);
    double real = static_cast<double>(std::max(mpz_sizeinbase(stage.a.get_mpz_t(), 256),
                                               mpz_sizeinbase(stage.c.get_mpz_t(), 256)));
    EXPECT_GE(largest_stored_bytes(n), real);
    EXPECT_LT(largest_stored_bytes(n), real * 1.05);
}

TEST(Limits, RefusalsSayWhyAndGiveTheNumbers)
{
    double plenty = 1e15;
    EXPECT_EQ(refusal(0, plenty), "");
    EXPECT_EQ(refusal(100000000, plenty), "");
    std::string format = refusal(max_storable_decimals() + 1, plenty);
    EXPECT_NE(format.find("le plus grand nombre de décimales accepté est " +
                          std::to_string(max_storable_decimals())),
              std::string::npos)
        << format;

    // 10^8 decimals need some 2 GiB at the peak: refused with 1 GiB.
    std::string memory = refusal(100000000, 1024.0 * 1024 * 1024);
    EXPECT_NE(memory.find("100000000 décimales refusées : pic de mémoire estimé à "), std::string::npos);
    EXPECT_NE(memory.find("au-delà des 1.0 Gio de cette machine"), std::string::npos) << memory;
    EXPECT_EQ(refusal(1000000, 1024.0 * 1024 * 1024), "");
}

} // namespace
