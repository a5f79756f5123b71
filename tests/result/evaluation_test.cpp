#include "result/evaluation.h"

#include <gtest/gtest.h>

namespace {

TEST(Evaluation, CheckIsTheComparisonOfTheTwoTruncations)
{
    // X/D and (X+Y)/D at the edges R + Y = 0, D - 1 and D, with T the quotient or
    // off by one (refused even where it equals the next truncation), small and
    // scaled past a machine word.
    const mpz_class scales[] = {1, mpz_class("100000000000000000000000000000000000000000")};
    for (const mpz_class& k : scales)
        for (int d = 1; d <= 4; ++d)
            for (int x = 0; x <= 9; ++x)
                for (int y = -6; y <= 6; ++y)
                    for (int delta : {-1, 0, 1}) {
                        mpz_class T = x / d + delta, R = (x - T * d) * k, U;
                        mpz_fdiv_q(U.get_mpz_t(), mpz_class(x + y).get_mpz_t(), mpz_class(d).get_mpz_t());
                        EXPECT_EQ(next_sum_agrees(R, d * k, y * k), delta == 0 && T == U)
                            << x << " " << y << " " << d << " " << delta;
                    }
}

} // namespace
