#include "splitting/compose.h"

#include <gtest/gtest.h>

#include "splitting/primitive.h"
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

bool same_triple(const affine& x, const affine& y)
{
    return x.a == y.a && x.b == y.b && x.c == y.c;
}

TEST(Compose, EveryDepthIsThePlainCompositionDividedByOneFactor)
{
    for (auto [lo, hi] : {std::pair{0ul, 1ul}, {3ul, 5ul}, {0ul, 5ul}, {1ul, 41ul}}) {
        affine expected = plain_composition(toy, lo, hi);
        for (int depth : {0, 1, 4}) {
            affine r;
            compose(r, toy, lo, hi, depth);
            ASSERT_GT(r.c, 0);
            mpz_class k = expected.c / r.c;
            EXPECT_TRUE(r.a * k == expected.a && r.b * k == expected.b && r.c * k == expected.c)
                << lo << ".." << hi << " depth " << depth;
            EXPECT_TRUE(depth > 0 || k == 1);
        }
    }
    affine r;
    compose(r, toy, 5, 5, 4);
    EXPECT_TRUE(r.a == 0 && r.b == 1 && r.c == 1);
}

TEST(Compose, SeriesRouteGivesThePlainTripleAndCountsEveryTerm)
{
    // One term, two, odd lengths, across the sieve's blocks, far out.
    for (auto [lo, hi] : {std::pair{0ul, 1ul}, {0ul, 2ul}, {2ul, 71ul}, {26455ul, 26520ul}, {3000000ul, 3000009ul}}) {
        for (int depth : {1, 4}) {
            affine fast, slow;
            std::atomic<unsigned long> done{0};
            compose_series(fast, lo, hi, depth, &done);
            compose(slow, f, lo, hi, depth);
            EXPECT_TRUE(same_triple(fast, slow)) << lo << ".." << hi << " depth " << depth;
            EXPECT_EQ(done, hi - lo);
        }
    }
}

} // namespace
