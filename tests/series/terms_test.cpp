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

TEST(Terms, ValuesEightAtOnceArePlainHorner)
{
    // Ranges across the sizes where the chunk of coefficients a lane takes at
    // once shortens (n^k below 2^52: n = 91, 172, 407, 1352, 8192, 165141, 2^26),
    // lengths that leave a group part empty, and the lanes' last n, 2^52 - 1.
    struct range {
        unsigned long first, count;
    } ranges[] = {{0, 13},     {85, 9},         {170, 8},          {405, 3},          {1350, 17},
                  {8188, 8},   {165137, 9},     {67108860, 10},    {(1ul << 52) - 9, 9}, {(1ul << 52) - 2, 3},
                  {~0ul - 1, 2}, {5, 0}};
    std::vector<bool> routes{false};
    if (a_lanes_supported())
        routes.push_back(true);
    for (bool lanes : routes)
        for (auto [first, count] : ranges) {
            std::vector<mpz_class> values(count + 1, -1);
            a_values_by(first, count, values.data(), lanes);
            for (unsigned long i = 0; i < count; ++i)
                EXPECT_EQ(values[i], horner(poly, block_length, mpz_class(first + i)))
                    << "n = " << first + i << (lanes ? " in lanes" : "");
            EXPECT_EQ(values[count], -1) << "written past the end";
        }
}

} // namespace
