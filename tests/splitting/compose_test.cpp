#include "splitting/compose.h"

#include <gtest/gtest.h>

#include "series/terms.h"
#include "support/oracle.h"

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

// The series' terms under another name: compose takes its plain path for them.
affine plain_f(unsigned long n)
{
    return f(n);
}

affine plain(term_function& fn, unsigned long lo, unsigned long hi, bool reduced = false)
{
    affine s = plain_composition(fn, lo, hi);
    if (reduced)
        s.reduis();
    return s;
}

bool same_triple(const affine& x, const affine& y)
{
    return x.a == y.a && x.b == y.b && x.c == y.c;
}

TEST(Compose, DepthZeroIsPlainCompositionDeeperDividesItByOneFactor)
{
    const std::pair<unsigned long, unsigned long> ranges[] = {{0, 1}, {3, 5}, {0, 5}, {10, 18}, {1, 41}};
    for (auto [lo, hi] : ranges) {
        affine expected = plain(toy, lo, hi);
        for (int depth : {0, -1}) {
            affine r;
            compose(r, toy, lo, hi, depth);
            EXPECT_TRUE(same_triple(r, expected)) << lo << ".." << hi << " depth " << depth;
        }
        for (int depth : {1, 4}) {
            affine r, again;
            compose(r, toy, lo, hi, depth);
            compose(again, toy, lo, hi, depth);
            EXPECT_TRUE(same_triple(r, again));
            ASSERT_GT(r.c, 0);
            mpz_class k = expected.c / r.c;
            EXPECT_TRUE(r.a * k == expected.a && r.b * k == expected.b && r.c * k == expected.c)
                << lo << ".." << hi << " depth " << depth;
        }
    }
    // [0, 5) splits into [0, 2) and [2, 5): the right half takes the extra term.
    affine halves = plain(toy, 0, 2, true), r;
    halves.compose(plain(toy, 2, 5, true));
    compose(r, toy, 0, 5, 1);
    EXPECT_TRUE(same_triple(r, halves));
    affine other = plain(toy, 0, 3, true);
    other.compose(plain(toy, 3, 5, true));
    EXPECT_FALSE(same_triple(r, other));
    // No term: the identity.
    compose(r, toy, 5, 5, 4);
    EXPECT_TRUE(r.a == 0 && r.b == 1 && r.c == 1);
}

TEST(Compose, SeriesFastPathGivesThePlainTriple)
{
    // One term, two, odd lengths, across the sieve's blocks, far out.
    const std::pair<unsigned long, unsigned long> ranges[] = {
        {0, 1}, {0, 2}, {2, 71}, {100, 229}, {26455, 26520}, {3000000, 3000009}};
    for (auto [lo, hi] : ranges) {
        for (int depth : {1, 2, 4}) {
            affine fast, slow;
            compose(fast, f, lo, hi, depth);
            compose(slow, plain_f, lo, hi, depth);
            EXPECT_TRUE(same_triple(fast, slow)) << lo << ".." << hi << " depth " << depth;
        }
    }
}

} // namespace
