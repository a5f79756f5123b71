#include "result/evaluation.h"

#include <cmath>
#include <gtest/gtest.h>
#include <iomanip>
#include <sstream>

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
