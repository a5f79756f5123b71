#include "arith/parallel.h"

#include <gtest/gtest.h>

namespace {

TEST(Parallel, SplitProductAndDecimalsMatchGmp)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(1412);
    mpz_class limb = mpz_class(1) << 64;
    // Low halves with zero limbs on top or nothing but zeros, signs, sizes.
    std::vector<mpz_class> ys = {0, -1, limb, -(limb * limb * limb), (rng.get_z_bits(640) << 640) + 5,
                                 rng.get_z_bits(300000) - rng.get_z_bits(300000)};
    for (unsigned long x_bits : {0ul, 64ul, 100000ul}) {
        mpz_class x = rng.get_z_bits(x_bits) - rng.get_z_bits(x_bits);
        for (const mpz_class& y : ys) {
            mpz_class r = 12345;
            multiply_on_two_threads(r, x, y);
            EXPECT_EQ(r, x * y) << x_bits << " bits times " << mpz_sizeinbase(y.get_mpz_t(), 2) << " bits";
        }
    }

    std::vector<mpz_class> xs = {0, -1, 9, 10, 999, -1000, 12345};
    for (unsigned long bits = 1; bits < 200000; bits = bits * 5 + 1)
        xs.push_back(rng.get_z_bits(bits) - rng.get_z_bits(bits));
    for (unsigned long d : {3ul, 1001ul}) {
        mpz_class p;
        mpz_ui_pow_ui(p.get_mpz_t(), 10, d);
        // Powers of ten and their neighbours; lower halves all zeros, or zeros ahead of digits.
        for (const mpz_class& x : {mpz_class(p), mpz_class(p - 1), mpz_class(p * p * 31), mpz_class(p * p * 31 + 7),
                                   mpz_class(-(p * p * 4 + p / 10 * 3))})
            xs.push_back(x);
    }
    for (const mpz_class& x : xs)
        for (size_t split : {size_t(50000), size_t(0)})
            EXPECT_EQ(decimal_string(x, split), x.get_str(10)) << "split from " << split;
}

TEST(Parallel, LargeUnbalancedProductsByPiecesMatchGmp)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(99);
    const unsigned long limb_bits = 64, x_limbs = 70000;
    mpz_class x = rng.get_z_bits(x_limbs * limb_bits) | (mpz_class(1) << (x_limbs * limb_bits - 1));
    // A long y with a whole piece of zero limbs in its middle, and a negative one.
    mpz_class y = (rng.get_z_bits(x_limbs * limb_bits) << (2 * x_limbs * limb_bits)) + rng.get_z_bits(50000);
    for (const auto& [p, q] : {std::pair{x, y}, {y, -x}, {-x, mpz_class(x * 3 / 2)}}) {
        mpz_class r;
        multiply_on_two_threads(r, p, q);
        EXPECT_EQ(r, p * q) << mpz_size(p.get_mpz_t()) << " by " << mpz_size(q.get_mpz_t()) << " limbs";
    }
}

} // namespace
