#include "series/terms.h"

#include <gtest/gtest.h>

#include "series/poly.h"
#include "series/shape.h"

namespace {

// t_K = K!/(2K+1)!! * Re((3+i)(1+i)^K) / 4^K, straight from Euler's arctan series.
std::vector<mpq_class> euler_terms(unsigned count)
{
    std::vector<mpq_class> t;
    mpz_class u = 3, v = 1;
    mpq_class w = 1; // K!/(2K+1)!! / 4^K
    for (unsigned K = 0; K < count; ++K) {
        t.push_back(w * mpq_class(u));
        mpz_class nu = u - v, nv = u + v;
        u = nu;
        v = nv;
        w *= mpq_class(K + 1, 4 * (2 * K + 3));
    }
    return t;
}

TEST(Terms, EachTermIsABlockOf252EulerTerms)
{
    std::vector<mpq_class> t = euler_terms(4 * block_length);
    mpq_class prod_b = 1;
    for (unsigned long n = 0; n < 4; ++n) {
        mpq_class block = 0;
        for (unsigned j = 0; j < block_length; ++j)
            block += t[block_length * n + j];
        EXPECT_EQ(mpq_class(mpq_class(a(n)) * prod_b / mpq_class(c0(k0))), block) << "n = " << n;
        prod_b *= b(n);
    }
}

TEST(Terms, PolynomialByWordChunksIsPlainHorner)
{
    // Chunks shorten where n^k stops fitting a word (n = 2^16, 2642246, 2^32);
    // past a word, plain Horner.
    for (unsigned long n : {0ul, 1ul, 2ul, 52910ul, 65535ul, 65536ul, 2642245ul, 2642246ul, 4294967295ul,
                            4294967296ul, ~0ul})
        EXPECT_EQ(a(n), horner(poly, block_length, n)) << n;
    mpz_class beyond = (mpz_class(1) << 64) + 3;
    EXPECT_EQ(a(beyond), horner(poly, block_length, beyond));
}

} // namespace
