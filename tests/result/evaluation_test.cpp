#include "result/evaluation.h"

#include <gtest/gtest.h>

namespace {

// next as the check takes it, counting the times it is formed.
next_term term(const mpz_class& next, int* formed = nullptr)
{
    return {sgn(next), mpz_sizeinbase(next.get_mpz_t(), 2), [next, formed] {
                if (formed)
                    ++*formed;
                return next;
            }};
}

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
                        EXPECT_EQ(next_sum_agrees(R, d * k, y, term(k)), delta == 0 && T == U)
                            << x << " " << y << " " << d << " " << delta;
                    }
}

TEST(Evaluation, SizesDecideOnlyWhereTheyMust)
{
    // A Y far below D moves a remainder well inside [0, D) nowhere, whichever its
    // sign; near either end of the room it can move R out, by one unit or by
    // exactly the room, and only the whole product can tell.
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(11);
    mpz_class D = rng.get_z_bits(200000) | (mpz_class(1) << 199999);
    // Factors near their sizes' top, so that Y has every bit their sizes allow.
    mpz_class power = (mpz_class(1) << 40000) - 1, next = (mpz_class(1) << 50000) - 3;
    mpz_class Y = power * next;
    for (int sign : {1, -1}) {
        mpz_class signed_next = sign * next, R = D / 3;
        int formed = 0;
        EXPECT_TRUE(next_sum_agrees(R, D, power, term(signed_next, &formed)) && formed == 0) << sign;
        // The room on Y's side is |Y| - 1, |Y| or |Y| + 1.
        for (int off : {-1, 0, 1}) {
            R = sign > 0 ? mpz_class(D - Y - off) : mpz_class(Y + off);
            bool crosses = sign > 0 ? off <= 0 : off < 0;
            EXPECT_EQ(next_sum_agrees(R, D, power, term(signed_next, &formed)), !crosses) << sign << " " << off;
        }
        EXPECT_EQ(formed, 3) << sign;
    }
    mpz_class R = D - 1, zero = 0;
    EXPECT_TRUE(next_sum_agrees(R, D, zero, term(next)));
}

} // namespace
