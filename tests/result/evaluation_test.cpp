#include "result/evaluation.h"

#include <gtest/gtest.h>
#include <iomanip>
#include <sstream>

#include "series/terms.h"
#include "support/oracle.h"

namespace {

TEST(Evaluation, TermCountBoundAndEcho)
{
    const unsigned long counts[][2] = {{0, 2}, {566, 2}, {567, 3}, {756, 4}, {1000, 5}, {10000, 52}};
    for (auto [n, m] : counts)
        EXPECT_EQ(term_count(n), m) << n;
    const std::pair<unsigned long, const char*> bounds[] = {
        {2, "-1.166e-570"}, {3, "2.266e-760"}, {4, "-4.549e-950"}, {5, "9.320e-1140"}};
    for (auto [m, text] : bounds) {
        // The precision 3 is the one the duration lines leave on the console.
        std::ostringstream out;
        affine A = plain_composition(f, 0, m + 1);
        mpz_class left_out = a(mpz_class(m + 1)) * A.b, denominator = c0(63) * A.c;
        out << std::fixed << std::setprecision(3) << std::scientific << unreduced_quotient(left_out, denominator);
        EXPECT_EQ(out.str(), text) << "m = " << m;
    }
    EXPECT_TRUE(echoes_digits(1000000));
    EXPECT_FALSE(echoes_digits(1000001));
}

TEST(Evaluation, SplitProductAndDecimalsMatchGmp)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(1412);
    mpz_class limb = mpz_class(1) << 64;
    // Low halves with zero limbs on top, or nothing but zeros; signs; sizes.
    std::vector<mpz_class> ys = {0, -1, limb, -(limb * limb * limb), (rng.get_z_bits(640) << 640) + 5,
                                 -(rng.get_z_bits(640) << 640), rng.get_z_bits(3000000) - rng.get_z_bits(3000000)};
    for (unsigned long x_bits : {0ul, 64ul, 1000000ul}) {
        mpz_class x = rng.get_z_bits(x_bits) - rng.get_z_bits(x_bits);
        for (const mpz_class& y : ys) {
            mpz_class r = 12345;
            multiply_on_two_threads(r, x, y);
            EXPECT_EQ(r, x * y) << x_bits << " bits times " << mpz_sizeinbase(y.get_mpz_t(), 2) << " bits";
        }
    }

    std::vector<mpz_class> xs = {0, -1, 9, 10, 999, -1000, 12345};
    for (unsigned long bits = 1; bits < 200000; bits = bits * 3 + 1)
        xs.push_back(rng.get_z_bits(bits) - rng.get_z_bits(bits));
    for (unsigned long d : {3ul, 20ul, 1001ul, 60000ul}) {
        mpz_class p;
        mpz_ui_pow_ui(p.get_mpz_t(), 10, d);
        // Powers of ten and their neighbours; lower halves all zeros, or zeros ahead of digits.
        for (const mpz_class& x : {mpz_class(p), mpz_class(p - 1), mpz_class(p * p * 31), mpz_class(p * p * 31 + 7),
                                   mpz_class(-(p * p * 4 + p / 10 * 3))})
            xs.push_back(x);
    }
    for (const mpz_class& x : xs)
        for (size_t split : {size_t(50000), size_t(100), size_t(0)})
            EXPECT_EQ(decimal_string(x, split), x.get_str(10)) << "split from " << split;
}

TEST(Evaluation, CheckIsTheComparisonOfTheTwoTruncations)
{
    // Terms 0..m for n decimals, m the real count and smaller ones whose next term
    // changes digits within the n: both verdicts occur.
    int agreed = 0, refused = 0;
    for (unsigned long m = 2; m <= 6; ++m) {
        affine A = plain_composition(f, 0, m + 1);
        for (unsigned long n : {500ul, 567ul, 569ul, 570ul, 760ul, 1000ul, 1140ul}) {
            mpz_class power;
            mpz_ui_pow_ui(power.get_mpz_t(), 10, n);
            mpz_class X = power * A.a, D = c0(63) * A.c, Y = power * a(mpz_class(m + 1)) * A.b;
            mpz_class T = X / D, U = (X + Y) / D;
            (T == U ? agreed : refused)++;
            if (m == term_count(n)) {
                EXPECT_EQ(T, U) << n;
            }
            for (int delta : {-1, 0, 1}) {
                // A T that is not the quotient is refused, even where it equals U.
                mpz_class x = X;
                EXPECT_EQ(next_sum_agrees(x, T + delta, D, Y), delta == 0 && T == U)
                    << "n = " << n << ", m = " << m << ", delta " << delta;
            }
        }
    }
    EXPECT_GT(agreed, 5);
    EXPECT_GT(refused, 5);

    // Small cases at the edges R + Y = 0, D - 1 and D.
    for (int d = 1; d <= 6; ++d)
        for (int x = 0; x <= 25; ++x)
            for (int y = -15; y <= 15; ++y) {
                mpz_class X = x, D = d, T, U;
                mpz_fdiv_q(T.get_mpz_t(), X.get_mpz_t(), D.get_mpz_t());
                mpz_fdiv_q(U.get_mpz_t(), mpz_class(x + y).get_mpz_t(), D.get_mpz_t());
                EXPECT_EQ(next_sum_agrees(X, T, D, mpz_class(y)), T == U) << x << " " << y << " " << d;
            }
}

} // namespace
