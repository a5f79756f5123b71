#include "result/evaluation.h"

#include <gtest/gtest.h>

#include "series/shape.h"
#include "series/terms.h"
#include "splitting/primitive.h"
#include "support/oracle.h"

namespace {

TEST(Evaluation, CheckIsTheComparisonOfTheTwoTruncations)
{
    // Terms 0..m for n decimals, m the real count and smaller ones whose next term
    // changes digits within the n: both verdicts occur.
    int agreed = 0, refused = 0;
    for (unsigned long m = 2; m <= 5; ++m) {
        affine A = plain_composition(f, 0, m + 1);
        for (unsigned long n : {500ul, 569ul, 570ul, 760ul, 1000ul, 1140ul}) {
            mpz_class power;
            mpz_ui_pow_ui(power.get_mpz_t(), 10, n);
            mpz_class X = power * A.a, D = c0(k0) * A.c, Y = power * a(mpz_class(m + 1)) * A.b;
            mpz_class T = X / D, U = (X + Y) / D;
            (T == U ? agreed : refused)++;
            for (int delta : {-1, 0, 1}) {
                // A T that is not the quotient is refused, even where it equals U.
                mpz_class x = X;
                EXPECT_EQ(next_sum_agrees(x, T + delta, D, Y), delta == 0 && T == U) << n << " " << m;
            }
        }
    }
    EXPECT_GT(agreed, 5);
    EXPECT_GT(refused, 5);
    // Small cases at the edges R + Y = 0, D - 1 and D.
    for (int d = 1; d <= 4; ++d)
        for (int x = 0; x <= 9; ++x)
            for (int y = -6; y <= 6; ++y) {
                mpz_class X = x, T = x / d, U;
                mpz_fdiv_q(U.get_mpz_t(), mpz_class(x + y).get_mpz_t(), mpz_class(d).get_mpz_t());
                EXPECT_EQ(next_sum_agrees(X, T, d, mpz_class(y)), T == U) << x << " " << y << " " << d;
            }
}

} // namespace
