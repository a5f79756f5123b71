#include "splitting/primitive.h"

#include <gtest/gtest.h>

#include "series/factors.h"
#include "series/terms.h"
#include "support/oracle.h"

namespace {

TEST(Primitive, SameTripleAsPlainCompositionReduced)
{
    for (auto [lo, hi] : {std::pair{0ul, 1ul}, {1ul, 4ul}, {31ul, 97ul}, {40000ul, 40003ul}}) {
        affine plain = plain_composition(f, lo, hi);
        plain.reduis();
        affine fast;
        primitive_map(fast, lo, hi);
        EXPECT_TRUE(fast.a == plain.a && fast.b == plain.b && fast.c == plain.c) << lo << ".." << hi;
    }
}

TEST(Primitive, TermFactorsGiveTheCanonicalRatio)
{
    for (unsigned long lo : {0ul, 17ul, 123456ul, 36600682ul}) {
        std::vector<factor_list> p, q;
        term_factors(lo, lo + 5, p, q);
        for (unsigned long n = lo; n < lo + 5; ++n) {
            mpq_class r = b(n);
            EXPECT_EQ(product(p[n - lo]), -r.get_num()) << n;
            EXPECT_EQ(product(q[n - lo]), r.get_den()) << n;
            for (size_t k = 1; k < q[n - lo].size(); ++k)
                EXPECT_LT(q[n - lo][k - 1].prime, q[n - lo][k].prime);
        }
    }
}

TEST(Primitive, FactorListAlgebra)
{
    factor_list x{{2, 3}, {3, 1}, {7, 2}}, y{{2, 1}, {5, 4}, {7, 5}};
    EXPECT_EQ(product(common(x, y)), 2 * 49);
    EXPECT_EQ(product(take_common(x, y)), 2 * 49);
    EXPECT_EQ(product(x), 4 * 3);
    EXPECT_EQ(product(y), 625 * 343);
    multiply_into(x, y);
    EXPECT_EQ(product(x), mpz_class(12 * 625 * 343));
    EXPECT_EQ(product({}), 1);
    EXPECT_EQ(product({{3, 40}, {4294967311ul, 2}}),
              mpz_class("12157665459056928801") * mpz_class("18446744202558570721"));
}

} // namespace
