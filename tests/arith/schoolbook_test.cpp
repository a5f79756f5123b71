#include "arith/schoolbook.h"

#include "arith/mul.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using limbs = std::vector<mp_limb_t>;

limbs random_limbs(gmp_randstate_t rng, std::size_t n, bool ones)
{
    limbs x(n, ~mp_limb_t(0));
    if (!ones) {
        // Long runs of ones and zeros, as GMP's own tests use.
        mpz_class z;
        mpz_rrandomb(z.get_mpz_t(), rng, 64 * n);
        mpz_export(x.data(), nullptr, -1, sizeof(mp_limb_t), 0, 0, z.get_mpz_t());
    }
    return x;
}

// The schoolbook against GMP's product on {an, bn} limbs, apart and written over
// its first operand.
void expect_gmp_product(gmp_randstate_t rng, std::size_t an, std::size_t bn, bool ones)
{
    limbs a = random_limbs(rng, an, ones), b = random_limbs(rng, bn, ones);
    limbs expected(an + bn), r(an + bn + 1, 7);
    mpn_mul(expected.data(), a.data(), static_cast<mp_size_t>(an), b.data(), static_cast<mp_size_t>(bn));
    std::string what = std::to_string(an) + " by " + std::to_string(bn) + (ones ? " limbs of ones" : " limbs");
    schoolbook_mul(r.data(), a.data(), an, b.data(), bn);
    ASSERT_TRUE(std::equal(expected.begin(), expected.end(), r.begin())) << what;
    ASSERT_EQ(r[an + bn], 7u) << what << ": written past the end";
    a.resize(an + bn);
    schoolbook_mul(a.data(), a.data(), an, b.data(), bn);
    ASSERT_EQ(a, expected) << what << ", in place";
}

TEST(Schoolbook, ProductsAreGmpsAtEverySizeItTakes)
{
    if (!schoolbook_supported())
        GTEST_SKIP() << "no 52-bit vector multiply-adds on this processor";
    gmp_randstate_t rng;
    gmp_randinit_default(rng);
    gmp_randseed_ui(rng, 52);
    // 13 limbs are 16 digits, one sweep of columns: sizes on both sides of
    // those, single limbs, lopsided operands, and the largest smaller operand,
    // all ones, whose middle columns are the fullest sums allowed.
    for (std::size_t bn : {1, 2, 12, 13, 14, 25, 26, 27, 64, 250})
        for (std::size_t an : {bn, bn + 1, bn + 12, 2 * bn + 13, 9 * bn + 1})
            for (bool ones : {false, true})
                expect_gmp_product(rng, an, bn, ones);
    expect_gmp_product(rng, 5000, 3, true);
    expect_gmp_product(rng, schoolbook_limit - 1, schoolbook_limit - 1, true);
    expect_gmp_product(rng, 3 * schoolbook_limit, schoolbook_limit - 1, true);
    for (int i = 0; i < 300; ++i) {
        std::size_t bn = 1 + gmp_urandomm_ui(rng, 400);
        expect_gmp_product(rng, bn + gmp_urandomm_ui(rng, 1500), bn, i % 5 == 0);
    }
    gmp_randclear(rng);
}

TEST(Schoolbook, LowProductsAreTheLowLimbsOfGmps)
{
    if (!schoolbook_supported())
        GTEST_SKIP() << "no 52-bit vector multiply-adds on this processor";
    gmp_randstate_t rng;
    gmp_randinit_default(rng);
    gmp_randseed_ui(rng, 64);
    for (int i = 0; i < 200; ++i) {
        // One factor made into digits once, for products with several others.
        std::size_t fn = 1 + gmp_urandomm_ui(rng, 500);
        limbs f = random_limbs(rng, fn, i % 4 == 0);
        schoolbook_factor fixed = schoolbook_prepare(f.data(), fn);
        for (int j = 0; j < 3; ++j) {
            std::size_t an = 1 + gmp_urandomm_ui(rng, 700);
            // Fewer limbs than either operand, than both, and more than the product.
            std::size_t rn = 1 + gmp_urandomm_ui(rng, an + fn + 20);
            limbs a = random_limbs(rng, an, i % 4 == 0), whole(an + fn), low(rn + 1, 7), again(rn);
            if (an >= fn)
                mpn_mul(whole.data(), a.data(), static_cast<mp_size_t>(an), f.data(), static_cast<mp_size_t>(fn));
            else
                mpn_mul(whole.data(), f.data(), static_cast<mp_size_t>(fn), a.data(), static_cast<mp_size_t>(an));
            whole.resize(std::max(rn, an + fn));
            schoolbook_mul_fixed(low.data(), rn, a.data(), an, fixed);
            schoolbook_mul_low(again.data(), rn, f.data(), fn, a.data(), an);
            std::string what = std::to_string(an) + " by " + std::to_string(fn) + ", " + std::to_string(rn) + " limbs";
            ASSERT_TRUE(std::equal(low.begin(), low.end() - 1, whole.begin())) << what;
            ASSERT_EQ(low[rn], 7u) << what << ": written past the end";
            ASSERT_TRUE(std::equal(again.begin(), again.end(), whole.begin())) << what << ", unprepared";
        }
    }
    gmp_randclear(rng);
}

TEST(Schoolbook, ProductsBelowTheTransformsKeepSignsAndOperandsInPlace)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(7);
    for (unsigned long bits : {0ul, 64ul, 1600ul, 3000ul, 6400ul, 15000ul}) {
        mpz_class x = rng.get_z_bits(bits + 2000), y = -rng.get_z_bits(bits);
        mpz_class expected = x * y;
        mpz_class r;
        multiply(r, x, y);
        EXPECT_EQ(r, expected) << bits;
        multiply(x, x, y);
        EXPECT_EQ(x, expected) << bits << ", over the first operand";
        mpz_class z = y;
        multiply(y, expected, y);
        EXPECT_EQ(y, expected * z) << bits << ", over the second operand";
    }
}

} // namespace
