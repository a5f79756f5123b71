#include "cost.h"

#include <gtest/gtest.h>

#include "persistence/binfile.h"
#include "series/shape.h"
#include "splitting/compose.h"

namespace {

TEST(Cost, StoredSizeEstimateBoundsTheRealStageMapAndTheRawFormat)
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
}

} // namespace
