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

TEST(Compose, EveryDepthIsThePlainCompositionReducedAndTheSeriesRouteAgrees)
{
    // One term, two, odd lengths, across the sieve's blocks, far out.
    for (auto [lo, hi] : {std::pair{0ul, 1ul}, {0ul, 2ul}, {2ul, 71ul}, {26455ul, 26520ul}, {3000000ul, 3000009ul}}) {
        affine expected = plain_composition(toy, lo, hi);
        for (int depth : {0, 1, 4}) {
            // Divided by one factor, none at depth 0.
            affine r, fast, slow;
            compose(r, toy, lo, hi, depth);
            mpz_class k = expected.c / r.c;
            EXPECT_TRUE(r.a * k == expected.a && r.b * k == expected.b && r.c * k == expected.c &&
                        (depth > 0 || k == 1))
                << lo << ".." << hi << " depth " << depth;
            // The series' own route: the triple of the generic one, and every term counted.
            std::atomic<unsigned long> done{0};
            compose_series(fast, lo, hi, depth, &done);
            compose(slow, f, lo, hi, depth);
            EXPECT_TRUE(fast.a == slow.a && fast.b == slow.b && fast.c == slow.c) << lo << ".." << hi << " " << depth;
            EXPECT_EQ(done, hi - lo);
        }
    }
}

} // namespace
