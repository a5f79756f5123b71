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

// The halving as a plain recursion on one thread: the depth-1 calls reduce their
// halves, nothing else is reduced.
void recursion(affine& res, term_function& fn, unsigned long lo, unsigned long hi, int depth)
{
    if (hi - lo <= 1) {
        res = hi > lo ? fn(lo) : plain_composition(fn, lo, lo);
        return;
    }
    unsigned long mid = lo + (hi - lo) / 2;
    affine tmp;
    recursion(res, fn, lo, mid, depth - 1);
    recursion(tmp, fn, mid, hi, depth - 1);
    if (depth == 1) {
        res.reduis();
        tmp.reduis();
    }
    res.compose(tmp);
}

TEST(Compose, ThreadsSharingTheLevelsGiveTheTripleOfThePlainRecursion)
{
    // Ranges shorter than the levels (halves of one term or none), and longer.
    for (auto [lo, hi] : {std::pair{0ul, 2ul}, {0ul, 3ul}, {5ul, 12ul}, {2ul, 71ul}, {1000ul, 1300ul}})
        for (int depth : {2, 4, 6}) {
            affine expected, r, fast;
            recursion(expected, toy, lo, hi, depth);
            compose(r, toy, lo, hi, depth);
            EXPECT_TRUE(r.a == expected.a && r.b == expected.b && r.c == expected.c)
                << lo << ".." << hi << " depth " << depth;
            recursion(expected, f, lo, hi, depth);
            compose_series(fast, lo, hi, depth);
            EXPECT_TRUE(fast.a == expected.a && fast.b == expected.b && fast.c == expected.c)
                << lo << ".." << hi << " depth " << depth << ", series";
        }
}

} // namespace
