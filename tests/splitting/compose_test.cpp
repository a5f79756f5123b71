#include "splitting/compose.h"

#include <gtest/gtest.h>

#include "series/terms.h"

namespace {

// Term maps with common factors, so that a reduction shows in the triple.
affine toy(unsigned long n)
{
    affine t;
    t.a = 2 * n + 1;
    t.b = -(mpz_class(n) + 2) * (n + 1);
    t.c = 2 * n + 6;
    return t;
}

affine plain(term_function& fn, unsigned long lo, unsigned long hi)
{
    affine s = fn(lo);
    for (unsigned long n = lo + 1; n < hi; ++n)
        s.compose(fn(n));
    return s;
}

bool same_triple(const affine& x, const affine& y)
{
    return x.a == y.a && x.b == y.b && x.c == y.c;
}

// x is y with all three members divided by one positive integer.
bool divides_down_to(const affine& y, const affine& x)
{
    if (x.c <= 0 || y.c % x.c != 0)
        return false;
    mpz_class k = y.c / x.c;
    return x.a * k == y.a && x.b * k == y.b;
}

TEST(Compose, AgreesWithPlainCompositionAtEveryDepth)
{
    const std::pair<unsigned long, unsigned long> ranges[] = {{0, 1}, {3, 5}, {0, 5}, {10, 18}, {1, 41}};
    for (term_function* fn : {&f, &toy}) {
        for (auto [lo, hi] : ranges) {
            affine expected = plain(*fn, lo, hi);
            for (int depth : {0, -1, -7}) {
                affine r;
                compose(r, *fn, lo, hi, depth);
                EXPECT_TRUE(same_triple(r, expected)) << lo << ".." << hi << " depth " << depth;
            }
            for (int depth : {1, 2, 4, 6}) {
                affine r, again;
                compose(r, *fn, lo, hi, depth);
                compose(again, *fn, lo, hi, depth);
                EXPECT_TRUE(divides_down_to(expected, r)) << lo << ".." << hi << " depth " << depth;
                EXPECT_TRUE(same_triple(r, again)) << lo << ".." << hi << " depth " << depth;
            }
        }
    }
}

// The series' terms under another name: compose takes its plain path for them.
affine plain_f(unsigned long n)
{
    return f(n);
}

TEST(Compose, SeriesFastPathGivesThePlainTriple)
{
    const std::pair<unsigned long, unsigned long> ranges[] = {{0, 2}, {0, 17}, {2, 71}, {100, 229}, {40000, 40100}};
    for (auto [lo, hi] : ranges) {
        for (int depth : {1, 2, 4}) {
            affine fast, plain;
            compose(fast, f, lo, hi, depth);
            compose(plain, plain_f, lo, hi, depth);
            EXPECT_TRUE(same_triple(fast, plain)) << lo << ".." << hi << " depth " << depth;
        }
    }
}

TEST(Compose, SmallRangesAreNotReduced)
{
    // One term: its own triple at any depth; two terms: the unreduced product,
    // since term maps of the series are already in lowest terms.
    for (int depth : {0, 1, 4}) {
        affine one;
        compose(one, toy, 7, 8, depth);
        EXPECT_TRUE(same_triple(one, toy(7)));
        affine two;
        compose(two, f, 4, 6, depth);
        EXPECT_TRUE(same_triple(two, plain(f, 4, 6)));
    }
}

TEST(Compose, DepthOneReducesTheTwoHalvesOfAnOddRange)
{
    // [0, 5) splits into [0, 2) and [2, 5): the right half takes the extra term.
    affine left = plain(toy, 0, 2), right = plain(toy, 2, 5);
    left.reduis();
    right.reduis();
    left.compose(right);
    affine r;
    compose(r, toy, 0, 5, 1);
    EXPECT_TRUE(same_triple(r, left));

    affine other_left = plain(toy, 0, 3), other_right = plain(toy, 3, 5);
    other_left.reduis();
    other_right.reduis();
    other_left.compose(other_right);
    EXPECT_FALSE(same_triple(r, other_left));
}

TEST(Compose, EmptyRangeIsTheIdentity)
{
    affine r = toy(3);
    compose(r, toy, 5, 5, 4);
    EXPECT_EQ(r.a, 0);
    EXPECT_EQ(r.b, 1);
    EXPECT_EQ(r.c, 1);
}

} // namespace
