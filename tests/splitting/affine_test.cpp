#include "splitting/affine.h"

#include <gtest/gtest.h>

#include "arith/ntt.h"

namespace {

TEST(Affine, ReductionAndCompositionOnTwoThreads)
{
    auto make = [](const mpz_class& a, const mpz_class& b, const mpz_class& c) {
        affine m;
        m.a = a, m.b = b, m.c = c;
        return m;
    };
    const long cases[][6] = {{0, 5, 10, 0, 1, 2}, {-12, 18, 30, -2, 3, 5}, {9, -4, 35, 9, -4, 35}, {0, 0, 0, 0, 0, 0}};
    for (const auto& c : cases) {
        affine m = make(c[0], c[1], c[2]);
        m.reduis();
        EXPECT_TRUE(m.a == c[3] && m.b == c[4] && m.c == c[5]) << c[0] << " " << c[1] << " " << c[2];
    }
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(20261207);
    // Sizes from a limb to the FFT range of GMP's products, equal and lopsided,
    // and maps large enough to be composed one product at a time, within a bound
    // on transforms that cuts every factor.
    for (unsigned long bits : {1ul, 3000ul, 600000ul, 4500000ul}) {
        affine q = make(rng.get_z_bits(bits) - rng.get_z_bits(bits), -rng.get_z_bits(bits) - 1, rng.get_z_bits(bits));
        affine plain = make(7, -rng.get_z_bits(2 * bits), 3), split = make(plain.a, plain.b, plain.c);
        plain.compose(q);
        EXPECT_EQ(plain.a, 7 * q.c + plain.b / q.b * q.a);
        compose_on_two_threads(split, std::move(q), bits > 4000000 ? ntt_length(30000, 30000) : SIZE_MAX);
        EXPECT_TRUE(split.a == plain.a && split.b == plain.b && split.c == plain.c) << bits;
        EXPECT_TRUE(q.a == 0 && q.b == 0 && q.c == 0);
    }
}

} // namespace
