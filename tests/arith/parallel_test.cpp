#include "arith/parallel.h"

#include <gtest/gtest.h>
#include <stdexcept>

#include "common/threads.h"

namespace {

TEST(Parallel, SplitProductsAndDecimalsMatchGmp)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(1412);
    auto random = [&rng](unsigned long bits) { return mpz_class(rng.get_z_bits(bits) - rng.get_z_bits(bits)); };
    const mpz_class limb = mpz_class(1) << 64;
    // Low halves with zero limbs on top or nothing but zeros, signs, sizes; and
    // unbalanced products by pieces: a long y with a whole piece of zero limbs in
    // its middle, negative operands.
    const mpz_class x = rng.get_z_bits(70000 * 64) | (mpz_class(1) << (70000 * 64 - 1));
    const mpz_class y = (rng.get_z_bits(70000 * 64) << (2 * 70000 * 64)) + rng.get_z_bits(50000);
    std::vector<std::pair<mpz_class, mpz_class>> products = {{x, y}, {y, -x}, {-x, mpz_class(x * 3 / 2)}};
    for (unsigned long bits : {0ul, 64ul, 100000ul})
        for (const mpz_class& b : {mpz_class(0), mpz_class(-1), limb, mpz_class(-(limb * limb * limb)),
                                   mpz_class((rng.get_z_bits(640) << 640) + 5), random(300000)})
            products.emplace_back(random(bits), b);
    for (const auto& [p, q] : products) {
        mpz_class r = 12345;
        multiply_on_two_threads(r, p, q);
        EXPECT_EQ(r, p * q) << mpz_size(p.get_mpz_t()) << " by " << mpz_size(q.get_mpz_t()) << " limbs";
    }

    std::vector<mpz_class> xs = {0, -1, 9, 10, 999, -1000, 12345};
    for (unsigned long bits = 1; bits < 200000; bits = bits * 5 + 1)
        xs.push_back(random(bits));
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
