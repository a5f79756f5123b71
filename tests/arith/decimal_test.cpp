#include "arith/decimal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(Decimal, StringsAreGmps)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(1412);
    auto random = [&rng](unsigned long bits) { return mpz_class(rng.get_z_bits(bits) - rng.get_z_bits(bits)); };
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

// Digits cut where runs of zeros or nines make the cut's floor hard to tell: runs
// shorter than the fractions' guard must come out exact, longer ones by the exact
// divisions. Runs every few digits put some of them at every cut.
TEST(Decimal, RunsOfZerosAndNinesAtTheCuts)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(2718);
    for (std::size_t run : {5, 20, 30, 36, 40, 60})
        for (const char* fill : {"0", "9", "09"}) {
            std::string digits = "7";
            while (digits.size() < 30000) {
                digits += mpz_class(rng.get_z_range(mpz_class("10000000000000"))).get_str(10);
                for (std::size_t i = 0; i < run; ++i)
                    digits += fill[i * std::strlen(fill) / run];
            }
            mpz_class x(digits);
            for (size_t split : {size_t(2000), size_t(0)})
                EXPECT_EQ(decimal_string(x, split), digits) << run << " of " << fill << ", split from " << split;
        }
}

} // namespace
