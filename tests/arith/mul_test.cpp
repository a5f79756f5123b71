#include "arith/mul.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const char* name_of(ntt_path path)
{
    return path == ntt_path::avx512 ? "avx512" : path == ntt_path::avx2 ? "avx2" : "generic";
}

// Every path this processor runs: the tests of each machine cover what it can.
std::vector<ntt_path> runnable_paths()
{
    std::vector<ntt_path> paths;
    for (ntt_path path : {ntt_path::generic, ntt_path::avx2, ntt_path::avx512})
        if (ntt_path_supported(path))
            paths.push_back(path);
    return paths;
}

// 2^bits - 1: every piece of it is all ones, so every coefficient of a product of
// two such numbers is as large as the transform size allows.
mpz_class all_ones(unsigned long bits)
{
    return (mpz_class(1) << bits) - 1;
}

// The transforms' product of x and y on every path and thread count, against GMP's.
void expect_gmp_product(const mpz_class& x, const mpz_class& y, const std::string& what)
{
    mpz_class expected = x * y;
    for (ntt_path path : runnable_paths())
        for (unsigned threads : {1u, 2u}) {
            mpz_class r = 7;
            multiply_by(r, x, y, path, 1, threads);
            ASSERT_EQ(r, expected) << what << " on " << name_of(path) << ", " << threads << " thread(s)";
        }
}

TEST(Multiply, SmallEdgesSignsAndCarries)
{
    mpz_class limb = mpz_class(1) << 64;
    const std::vector<mpz_class> values = {0, 1, -1, 3, limb - 1, limb, -(limb + 1), all_ones(640),
                                           -all_ones(64 * 37), limb * limb * limb};
    for (const mpz_class& x : values)
        for (const mpz_class& y : values)
            expect_gmp_product(x, y, x.get_str(16).substr(0, 20) + " * " + y.get_str(16).substr(0, 20));
}

TEST(Multiply, SizesAcrossEveryTransformLengthAndPieceWidth)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(2026);
    // Bit sizes on both sides of the lengths where the transform doubles, for
    // balanced and very unbalanced operands, random and all ones.
    for (unsigned long bits = 100; bits < 3000000; bits = bits * 5 / 4 + 17) {
        for (unsigned long small : {bits, bits / 3 + 1, 64ul, 1ul}) {
            expect_gmp_product(rng.get_z_bits(bits), rng.get_z_bits(small), std::to_string(bits) + " random");
            expect_gmp_product(all_ones(bits), all_ones(small), std::to_string(bits) + " ones");
        }
    }
}

TEST(Multiply, LargeProductsOfExtremeDigits)
{
    gmp_randstate_t rng;
    gmp_randinit_default(rng);
    // Long runs of ones and zeros (GMP's rrandomb) and all ones at the largest
    // piece widths the bound allows for these lengths.
    for (unsigned long bits : {4000000ul, 9000000ul}) {
        mpz_class x, y;
        mpz_rrandomb(x.get_mpz_t(), rng, bits);
        mpz_rrandomb(y.get_mpz_t(), rng, bits - 12345);
        expect_gmp_product(x, y, std::to_string(bits) + " runs");
        expect_gmp_product(all_ones(bits), all_ones(bits + 1), std::to_string(bits) + " ones");
    }
    gmp_randclear(rng);
}

TEST(Multiply, PiecesSharingOneTransformAreGmpProducts)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(31);
    // y with a whole piece of zeros, zero limbs atop a piece and a short last piece;
    // all ones at the largest pieces; short and long transforms (two threads
    // from 4096 points).
    const unsigned long piece = 3000;
    mpz_class zeros_inside = (rng.get_z_bits(64 * piece) << (64 * 3 * piece)) + rng.get_z_bits(64 * piece - 200);
    for (const auto& [x, y] : std::vector<std::pair<mpz_class, mpz_class>>{
             {rng.get_z_bits(64 * 5000), zeros_inside},
             {all_ones(64 * piece), all_ones(64 * 4 * piece)},
             {rng.get_z_bits(64 * 40), rng.get_z_bits(64 * 200)}})
        for (ntt_path path : runnable_paths())
            for (std::size_t size : {std::size_t(piece), std::size_t(37)}) {
                mpz_class sum;
                unsigned long calls = 0, pieces = (mpz_size(y.get_mpz_t()) + size - 1) / size;
                multiply_pieces_by(x.get_mpz_t(), y.get_mpz_t(), size, path, 1, [&](std::size_t at, mpz_srcptr part) {
                    mpz_t view;
                    const mp_limb_t* limbs = mpz_limbs_read(y.get_mpz_t()) + at;
                    std::size_t len = std::min<std::size_t>(size, mpz_size(y.get_mpz_t()) - at);
                    EXPECT_EQ(mpz_class(part), x * mpz_class(mpz_roinit_n(view, limbs, static_cast<mp_size_t>(len))));
                    sum += mpz_class(part) << (64 * at);
                    ++calls;
                });
                EXPECT_EQ(sum, x * y) << name_of(path) << ", pieces of " << size;
                EXPECT_LE(calls, pieces);
            }
}

TEST(Multiply, ResultMayBeAnOperand)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(11);
    mpz_class x = rng.get_z_bits(200000), y = -rng.get_z_bits(150000);
    mpz_class xy = x * y, xx = x * x;
    for (ntt_path path : runnable_paths()) {
        mpz_class a = x, b = y;
        multiply_by(a, a, b, path, 1, 1);
        EXPECT_EQ(a, xy);
        a = x;
        multiply_by(b, a, b, path, 1, 2);
        EXPECT_EQ(b, xy);
        multiply_by(a, a, a, path, 1, 1);
        EXPECT_EQ(a, xx);
    }
    mpz_class r = x;
    multiply(r, r, y);
    EXPECT_EQ(r, xy);
}

TEST(Multiply, KeptScratchHoldsNothingOverIntoTheNextProduct)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(13);
    // A large product of all ones leaves its block full of residues; shorter
    // products, and pieces, then run in that block, and a longer one maps anew.
    keep_transform_scratch(true);
    expect_gmp_product(all_ones(6000000), all_ones(6000000), "all ones");
    for (unsigned long bits : {2000000ul, 900000ul, 3000000ul, 9000000ul}) {
        mpz_class x = rng.get_z_bits(bits), y = rng.get_z_bits(bits / 3);
        expect_gmp_product(x, y, std::to_string(bits) + " bits");
        mpz_class sum;
        multiply_pieces(x.get_mpz_t(), y.get_mpz_t(), bits / 200, [&sum](std::size_t at, mpz_srcptr part) {
            sum += mpz_class(part) << (64 * at);
        });
        EXPECT_EQ(sum, x * y) << bits << " bits in pieces";
    }
    keep_transform_scratch(false);
}

} // namespace

TEST(Multiply, BoundOnTransformsHoldsAProductOfTheFactorsOwnSize)
{
    // From a single limb (10^N for the shortest runs) to a billion decimals'.
    for (std::size_t limbs : {1ul, 2ul, 3ul, 1000ul, 51905ul, 51906ul, 51906001ul})
        EXPECT_GE(transform_cap(limbs), ntt_length(limbs / 2, limbs - limbs / 2)) << limbs;
}
