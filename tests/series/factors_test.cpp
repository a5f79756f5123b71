#include "series/factors.h"

#include <gtest/gtest.h>

#include "series/terms.h"

namespace {

TEST(Factors, TermFactorsGiveTheCanonicalRatio)
{
    for (unsigned long lo : {0ul, 17ul, 123456ul, 36600682ul}) {
        std::vector<factor_list> p, q;
        term_factors(lo, lo + 5, p, q);
        for (unsigned long n = lo; n < lo + 5; ++n) {
            mpq_class r = b(n);
            EXPECT_EQ(product(p[n - lo]), -r.get_num()) << n;
            EXPECT_EQ(product(q[n - lo]), r.get_den()) << n;
        }
    }
}

} // namespace
