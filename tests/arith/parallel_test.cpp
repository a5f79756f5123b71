#include "arith/parallel.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <tuple>
#include <vector>

#include "arith/ntt.h"
#include "common/threads.h"

namespace {

TEST(Parallel, SplitProductsMatchGmp)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(1412);
    auto random = [&rng](unsigned long bits) { return mpz_class(rng.get_z_bits(bits) - rng.get_z_bits(bits)); };
    const mpz_class limb = mpz_class(1) << 64;
    // Low halves with zero limbs on top or nothing but zeros, signs, sizes; and
    // products by pieces: a long y with a whole piece of zero limbs in its middle,
    // negative operands, balanced ones cut to keep within a bound on transforms,
    // and a bound that no cut can keep.
    const mpz_class x = rng.get_z_bits(70000 * 64) | (mpz_class(1) << (70000 * 64 - 1));
    const mpz_class y = (rng.get_z_bits(70000 * 64) << (2 * 70000 * 64)) + rng.get_z_bits(50000);
    std::vector<std::pair<mpz_class, mpz_class>> products = {{x, y}, {y, -x}, {-x, mpz_class(x * 3 / 2)}};
    for (unsigned long bits : {0ul, 64ul, 100000ul})
        for (const mpz_class& b : {mpz_class(0), mpz_class(-1), limb, mpz_class(-(limb * limb * limb)),
                                   mpz_class((rng.get_z_bits(640) << 640) + 5), random(300000)})
            products.emplace_back(random(bits), b);
    for (const auto& [p, q] : products)
        for (std::size_t cap : {SIZE_MAX, ntt_length(70000, 20000), std::size_t(64)}) {
            mpz_class r = 12345;
            multiply_on_two_threads(r, p, q, cap);
            EXPECT_EQ(r, p * q) << mpz_size(p.get_mpz_t()) << " by " << mpz_size(q.get_mpz_t()) << " limbs";
        }
    // Bounds below the shorter factor's own transform: that factor is cut too,
    // here one with a long run of zero limbs, so that some of its cuts are zero.
    const mpz_class gap = (rng.get_z_bits(20000 * 64) << (50000 * 64)) + rng.get_z_bits(20000 * 64);
    for (std::size_t cap : {ntt_length(40000, 20000), ntt_length(20000, 20000), ntt_length(17500, 10000)}) {
        mpz_class r;
        multiply_on_two_threads(r, gap, -y, cap);
        EXPECT_EQ(r, gap * -y) << "within " << cap << " points";
    }
}

TEST(Parallel, ProductsAddedInPlaceMatchGmp)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(77);
    const mpz_class y = rng.get_z_bits(3000 * 64), z = rng.get_z_bits(10000 * 64), ones = (mpz_class(1) << 64000) - 1;
    // Results above, at and below zero (a borrow out of every limb), shorter and
    // longer x than the product, factors of one piece or of several, and zero;
    // each with every sign of x and of the product.
    for (const auto& [x, a, b] : std::vector<std::tuple<mpz_class, mpz_class, mpz_class>>{
             {y * z + 1, y, z}, {y * z, z, y}, {y * z - 1, y, z}, {mpz_class(0), y, z}, {mpz_class(5), ones, ones},
             {ones * ones + ones, ones, ones}, {rng.get_z_bits(20000 * 64), z, y}, {y, mpz_class(0), z},
             {mpz_class(1) << 900000, mpz_class(3), z}})
        for (int x_sign : {1, -1})
            for (int b_sign : {1, -1}) {
                const mpz_class start = x_sign * x, factor = b_sign * b;
                mpz_class minus = start, capped = start, plus = start;
                subtract_product(minus, a, factor);
                subtract_product(capped, a, factor, ntt_length(3000, 1000));
                add_product(plus, factor, a, ntt_length(1000, 1000));
                EXPECT_TRUE(minus == start - a * factor && capped == minus && plus == start + a * factor)
                    << mpz_size(a.get_mpz_t()) << " by " << mpz_size(b.get_mpz_t()) << " limbs, signs " << x_sign
                    << " " << b_sign;
            }
}

TEST(Parallel, PowersOfTenMatchGmp)
{
    for (unsigned long n : {0ul, 1ul, 2ul, 63ul, 64ul, 1000ul, 65537ul, 1000000ul}) {
        mpz_class r, expected;
        power_of_ten(r, n);
        mpz_ui_pow_ui(expected.get_mpz_t(), 10, n);
        EXPECT_EQ(r, expected) << n;
    }
}

TEST(Threads, TheFirstErrorComesBackAfterBothEnded)
{
    // Here's error first when both fail; the other side always ends.
    for (auto [here_fails, there_fails] : {std::pair{false, false}, {true, false}, {false, true}, {true, true}}) {
        bool there_ended = false;
        std::string caught;
        auto side = [](bool fails, const char* name) { if (fails) throw std::runtime_error(name); };
        try {
            both([&] { side(here_fails, "here"); }, [&] { there_ended = true; side(there_fails, "there"); });
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
        EXPECT_TRUE(there_ended);
        EXPECT_EQ(caught, here_fails ? "here" : there_fails ? "there" : "");
    }
}

} // namespace
