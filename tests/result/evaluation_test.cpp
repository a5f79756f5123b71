#include "result/evaluation.h"

#include <cmath>
#include <gtest/gtest.h>
#include <iomanip>
#include <sstream>
#include <vector>

#include "series/terms.h"

namespace {

TEST(Evaluation, TermCountIsAtLeastTwo)
{
    EXPECT_EQ(term_count(0), 2u);
    EXPECT_EQ(term_count(377), 2u);
    EXPECT_EQ(term_count(566), 2u);
    EXPECT_EQ(term_count(567), 3u);
    EXPECT_EQ(term_count(756), 4u);
    EXPECT_EQ(term_count(1000), 5u);
    EXPECT_EQ(term_count(10000), 52u);
}

TEST(Evaluation, UncertaintyIsTheFirstTermLeftOut)
{
    const std::pair<unsigned long, const char*> cases[] = {
        {2, "-1.166e-570"}, {3, "2.266e-760"}, {4, "-4.549e-950"}, {5, "9.320e-1140"}};
    for (auto [m, text] : cases) {
        affine A = f(0);
        for (unsigned long n = 1; n <= m; ++n)
            A.compose(f(n));
        // The precision 3 is the one the duration lines leave on the console.
        std::ostringstream out;
        out << std::fixed << std::setprecision(3) << std::scientific << uncertainty(A, m);
        EXPECT_EQ(out.str(), text) << "m = " << m;
    }
}

TEST(Evaluation, QuotientLeavesItsOperandsAsTheyWere)
{
    mpz_class numerator = -7, denominator = 2;
    EXPECT_EQ(unreduced_quotient(numerator, denominator), -3.5);
    EXPECT_EQ(numerator, -7);
    EXPECT_EQ(denominator, 2);
}

TEST(Evaluation, ProductOnTwoThreadsIsTheProduct)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(1412);
    mpz_class limb = mpz_class(1) << 64;
    std::vector<mpz_class> ys = {0, 1, -1, limb - 1, limb, -limb, limb * limb + 1, -(limb * limb * limb)};
    // Low halves with zero limbs on top or nothing but zeros.
    ys.push_back((rng.get_z_bits(640) << 640) + 5);
    ys.push_back(-(rng.get_z_bits(640) << 640));
    ys.push_back((mpz_class(1) << 6400) + rng.get_z_bits(100));
    for (unsigned long bits : {100ul, 1000ul, 50000ul, 3000000ul})
        ys.push_back(rng.get_z_bits(bits) - rng.get_z_bits(bits));
    for (unsigned long x_bits : {0ul, 1ul, 64ul, 5000ul, 1000000ul}) {
        mpz_class x = rng.get_z_bits(x_bits) * (x_bits % 2 ? -1 : 1);
        for (const mpz_class& y : ys) {
            mpz_class r = 12345;
            multiply_on_two_threads(r, x, y);
            EXPECT_EQ(r, x * y) << x_bits << " bits times " << mpz_sizeinbase(y.get_mpz_t(), 2) << " bits";
        }
    }
}

TEST(Evaluation, DecimalStringIsThatOfGetStr)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(31415);
    std::vector<mpz_class> xs = {0, 1, -1, 9, 10, -10, 99, 100, 999, -1000, 1001, 12345};
    for (unsigned long bits = 1; bits < 200000; bits = bits * 3 + 1) {
        xs.push_back(rng.get_z_bits(bits));
        xs.push_back(-rng.get_z_bits(bits));
    }
    for (unsigned long d : {3ul, 4ul, 20ul, 21ul, 1001ul, 60000ul}) {
        mpz_class p;
        mpz_ui_pow_ui(p.get_mpz_t(), 10, d);
        xs.push_back(p);
        xs.push_back(p - 1);
        xs.push_back(-p + 1);
        // The lower half all zeros, or zeros ahead of a few digits.
        xs.push_back(p * p * 31);
        xs.push_back(p * p * 31 + 7);
        xs.push_back(-(p * p * 4 + p / 10 * 3));
    }
    for (const mpz_class& x : xs) {
        std::string expected = x.get_str(10);
        // From the default threshold down to a split of the tiniest numbers.
        for (size_t split : {size_t(50000), size_t(100), size_t(0)})
            EXPECT_EQ(decimal_string(x, split), expected) << "split from " << split;
    }
}

// The map of terms 0..m and the numbers of a truncation to n decimals.
struct truncation {
    mpz_class X, D, Y, T;
    truncation(unsigned long n, unsigned long m)
    {
        affine A = f(0);
        for (unsigned long k = 1; k <= m; ++k)
            A.compose(f(k));
        mpz_class power;
        mpz_ui_pow_ui(power.get_mpz_t(), 10, n);
        X = power * A.a;
        D = c0(63) * A.c;
        Y = power * a(mpz_class(m + 1)) * A.b;
        T = X / D;
    }
};

TEST(Evaluation, CheckAgreesWithTheNextSumsTruncation)
{
    // m = term_count(n) and smaller m, whose next term changes digits within the n.
    int agreed = 0, refused = 0;
    for (unsigned long m = 2; m <= 6; ++m) {
        for (unsigned long n : {500ul, 567ul, 568ul, 569ul, 570ul, 760ul, 1000ul, 1140ul}) {
            truncation t(n, m);
            mpz_class U = (t.X + t.Y) / t.D;
            bool expected = t.T == U;
            expected ? ++agreed : ++refused;
            mpz_class X = t.X;
            EXPECT_EQ(next_sum_agrees(X, t.T, t.D, t.Y), expected) << "n = " << n << ", m = " << m;
            if (m == term_count(n)) {
                EXPECT_TRUE(expected) << n;
            }
        }
    }
    EXPECT_GT(agreed, 5);
    EXPECT_GT(refused, 5);
}

TEST(Evaluation, CheckDecidesAtTheEdgesOfSmallQuotients)
{
    // Every small case, R + Y = 0, D - 1 and D among them; T and its neighbours.
    for (int d = 1; d <= 6; ++d) {
        for (int x = 0; x <= 25; ++x) {
            for (int y = -15; y <= 15; ++y) {
                mpz_class D = d, Y = y, T, U;
                mpz_fdiv_q(T.get_mpz_t(), mpz_class(x).get_mpz_t(), D.get_mpz_t());
                mpz_fdiv_q(U.get_mpz_t(), mpz_class(x + y).get_mpz_t(), D.get_mpz_t());
                for (int delta : {-1, 0, 1}) {
                    mpz_class X = x;
                    EXPECT_EQ(next_sum_agrees(X, T + delta, D, Y), delta == 0 && T == U)
                        << x << " " << y << " " << d << " " << delta;
                }
            }
        }
    }
}

TEST(Evaluation, CheckRefusesATruncationThatIsNotTheQuotient)
{
    // Even where T + 1 or T - 1 is the next sum's truncation: n where the next term,
    // times 10^n, is about one.
    const std::pair<unsigned long, unsigned long> cases[] = {{2, 569}, {2, 570}, {3, 759}, {3, 760}, {4, 949},
                                                             {4, 950}, {5, 1000}};
    int next_sums_met = 0;
    for (auto [m, n] : cases) {
        truncation t(n, m);
        mpz_class U = (t.X + t.Y) / t.D;
        for (int delta : {-1, 1}) {
            mpz_class wrong = t.T + delta, X = t.X;
            next_sums_met += wrong == U;
            EXPECT_FALSE(next_sum_agrees(X, wrong, t.D, t.Y)) << "n = " << n << ", m = " << m << ", " << delta;
        }
    }
    EXPECT_GT(next_sums_met, 0);
}

TEST(Evaluation, DigitsAreEchoedUpToAMillion)
{
    EXPECT_TRUE(echoes_digits(0));
    EXPECT_TRUE(echoes_digits(1000000));
    EXPECT_FALSE(echoes_digits(1000001));
    EXPECT_FALSE(echoes_digits(~0ul));
}

TEST(Evaluation, ClockCountsWholeMicroseconds)
{
    double t = secondes();
    EXPECT_GT(t, 1.7e9);
    double us = t * 1e6;
    EXPECT_NEAR(us, std::round(us), 0.5);
}

} // namespace
