#include "arith/mul.h"

#include "common/threads.h"

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

TEST(Multiply, CountsJustAboveATransformLength)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(77);
    // Steps of about 190 coefficients through lengths 2^13 to 2^15: counts just
    // above a length make a product modulo x^L - 1 and its first coefficients
    // apart. Balanced and unbalanced, random and all ones (the largest sums).
    for (unsigned long bits = 150000; bits < 700000; bits += 3907) {
        expect_gmp_product(rng.get_z_bits(bits), rng.get_z_bits(bits - 1000), std::to_string(bits) + " random");
        expect_gmp_product(rng.get_z_bits(2 * bits), rng.get_z_bits(bits / 40), std::to_string(bits) + " unbalanced");
        if (bits % 3 == 0)
            expect_gmp_product(all_ones(bits), all_ones(bits + 7), std::to_string(bits) + " ones");
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

// x y modulo 2^L - 1 on every path and thread count, against GMP's product folded
// at the L each returns (at least bits, the same on every path).
void expect_cyclic_product(const mpz_class& x, const mpz_class& y, std::size_t bits, const std::string& what)
{
    mpz_class whole = x * y;
    for (ntt_path path : runnable_paths())
        for (unsigned threads : {1u, 2u}) {
            mpz_class r = 7;
            std::size_t length = multiply_cyclic_by(r.get_mpz_t(), x.get_mpz_t(), y.get_mpz_t(), bits, path, 1, threads);
            ASSERT_GE(length, bits) << what;
            mpz_class modulus = all_ones(length), expected = whole % modulus;
            ASSERT_EQ(r, expected) << what << " on " << name_of(path) << ", " << threads << " thread(s), L " << length;
        }
}

TEST(Multiply, CyclicProductsAreGmpProductsModuloTheirLength)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(909);
    // Moduli from below one operand's size to above the whole product's, through
    // the transform lengths; random and all ones (the largest cyclic sums), and
    // a product that the modulus divides.
    for (unsigned long bits = 3000; bits < 2000000; bits = bits * 3 / 2 + 101) {
        mpz_class x = rng.get_z_bits(bits), y = rng.get_z_bits(bits / 2 + 5);
        for (std::size_t modulus : {bits / 2, bits - 1, bits + 64, 2 * bits})
            expect_cyclic_product(x, y, modulus, std::to_string(bits) + " random, modulus " + std::to_string(modulus));
        expect_cyclic_product(all_ones(bits), all_ones(bits - 3), bits + 64, std::to_string(bits) + " ones");
    }
    mpz_class r, x = rng.get_z_bits(200000), y = 12345;
    std::size_t length = multiply_cyclic_by(r.get_mpz_t(), x.get_mpz_t(), y.get_mpz_t(), 300000, ntt_path::generic, 1, 1);
    mpz_class multiple = all_ones(length);
    expect_cyclic_product(multiple, 3 * multiple + 1, length, "a multiple of the modulus");
    // Below the transforms' sizes, GMP's product folded at bits itself.
    EXPECT_EQ(multiply_cyclic(r.get_mpz_t(), mpz_class(1000).get_mpz_t(), mpz_class(1000).get_mpz_t(), 10), 10u);
    EXPECT_EQ(r, 1000000 % 1023);
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

// P o Q's products through the shared transforms on every path, the tasks run one
// after the other and on two threads, the results written over P's members.
void expect_composition(const mpz_class (&p)[3], const mpz_class (&q)[3], const std::string& what)
{
    const mpz_class a = p[0] * q[2] + p[1] * q[0], b = p[1] * q[1], c = p[2] * q[2];
    const run_both in_turn = [](const std::function<void()>& first, const std::function<void()>& second) {
        first();
        second();
    };
    for (ntt_path path : runnable_paths())
        for (const run_both& run : {in_turn, run_both(both)}) {
            mpz_class r[3] = {p[0], p[1], p[2]};
            mpz_srcptr ps[3] = {r[0].get_mpz_t(), r[1].get_mpz_t(), r[2].get_mpz_t()};
            mpz_srcptr qs[3] = {q[0].get_mpz_t(), q[1].get_mpz_t(), q[2].get_mpz_t()};
            multiply_composition_by(r[0].get_mpz_t(), r[1].get_mpz_t(), r[2].get_mpz_t(), ps, qs, path, 1, run);
            ASSERT_EQ(r[0], a) << what << " on " << name_of(path);
            ASSERT_EQ(r[1], b) << what << " on " << name_of(path);
            ASSERT_EQ(r[2], c) << what << " on " << name_of(path);
        }
}

TEST(Multiply, CompositionsAreGmpsProductsForEverySign)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(5);
    // b shorter than a and c, as in the series; a's two products summed or
    // subtracted as the signs fall.
    mpz_class p[3] = {rng.get_z_bits(64 * 700), rng.get_z_bits(64 * 450), rng.get_z_bits(64 * 690)};
    mpz_class q[3] = {rng.get_z_bits(64 * 800), rng.get_z_bits(64 * 520), rng.get_z_bits(64 * 780)};
    for (int signs = 0; signs < 64; ++signs) {
        mpz_class ps[3], qs[3];
        for (int i = 0; i < 3; ++i) {
            ps[i] = signs >> i & 1 ? -p[i] : p[i];
            qs[i] = signs >> (3 + i) & 1 ? -q[i] : q[i];
        }
        expect_composition(ps, qs, "signs " + std::to_string(signs));
    }
}

TEST(Multiply, CompositionsThatCancelOrCarryAtTheBound)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(6);
    mpz_class x = rng.get_z_bits(64 * 900), y = rng.get_z_bits(64 * 1100), z = rng.get_z_bits(64 * 1000);
    // a = 0, and a = x where its two products are a thousand times longer.
    expect_composition({x, x, z}, {-y, z, y}, "a cancels");
    expect_composition({x, x, z}, {1 - y, z, y}, "a nearly cancels");
    // All ones: every coefficient at the bound the piece width allows, for a
    // sum and for a difference, on both sides of transform lengths.
    for (unsigned long bits = 64 * 250; bits < 3000000; bits = bits * 7 / 4 + 64) {
        mpz_class ones = all_ones(bits), shorter = all_ones(bits / 2 + 1);
        expect_composition({ones, ones, ones}, {ones, shorter, ones}, std::to_string(bits) + " ones, sum");
        expect_composition({ones, -ones, ones}, {ones, ones, shorter}, std::to_string(bits) + " ones, difference");
    }
}

TEST(Multiply, CompositionsJustAboveATransformLength)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(78);
    // Steps of about 400 coefficients through lengths 2^12 to 2^15: where the
    // longest product is just above a length all three wrap around it or fit,
    // each its own way, and the first coefficients are made apart. Sums and
    // differences (with their offsets), random and all ones.
    for (unsigned long bits = 100000; bits < 760000; bits += 9001) {
        mpz_class p[3] = {rng.get_z_bits(bits), rng.get_z_bits(bits / 2), rng.get_z_bits(bits - 3000)};
        mpz_class q[3] = {rng.get_z_bits(bits - 500), rng.get_z_bits(bits / 3), rng.get_z_bits(bits + 2000)};
        expect_composition(p, q, std::to_string(bits) + " random, sum");
        p[1] = -p[1];
        expect_composition(p, q, std::to_string(bits) + " random, difference");
        std::swap(p[0], p[1]);
        std::swap(q[0], q[1]);
        expect_composition(p, q, std::to_string(bits) + " random, b the longest");
        if (bits % 4 == 0) {
            mpz_class ones = all_ones(bits), longer = all_ones(bits + 900);
            expect_composition({ones, -longer, ones}, {longer, ones, ones}, std::to_string(bits) + " ones, difference");
        }
    }
}

TEST(Multiply, CompositionsOfUnbalancedOrZeroMembers)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(7);
    mpz_class big = rng.get_z_bits(64 * 5000), mid = -rng.get_z_bits(64 * 300);
    expect_composition({big, 3, big}, {-big, big, mid}, "one-limb pb");
    expect_composition({mid, mid, mid}, {big, -big, big}, "short P, long Q");
    // The identity's a = 0 takes GMP's and the transforms' single products.
    expect_composition({0, 1, 1}, {big, mid, big}, "identity then Q");
    expect_composition({big, mid, big}, {0, 1, 1}, "P then identity");
}

TEST(Multiply, FixedFactorsTransformedOnceAreGmpProducts)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(8);
    // One transform of the fixed factor for products with factors of every size up
    // to the one it was made for: zeros, one limb, all ones at the bound.
    for (std::size_t other : {std::size_t(1), std::size_t(300), std::size_t(2500)})
        for (const mpz_class& a : {mpz_class(rng.get_z_bits(64 * 900)), all_ones(64 * 2000), mpz_class(5)})
            for (ntt_path path : runnable_paths()) {
                std::size_t an = mpz_size(a.get_mpz_t());
                ntt_fixed fixed = ntt_transform_fixed(mpz_limbs_read(a.get_mpz_t()), an, other, path);
                for (const mpz_class& b : {mpz_class(rng.get_z_bits(64 * other)), all_ones(64 * other),
                                           mpz_class(rng.get_z_bits(64 * (other / 2 + 1))), mpz_class(1)}) {
                    std::size_t bn = mpz_size(b.get_mpz_t());
                    std::vector<mp_limb_t> limbs(bn + 1), r(an + bn + 1);
                    mpz_export(limbs.data(), nullptr, -1, sizeof(mp_limb_t), 0, 0, b.get_mpz_t());
                    ntt_mul_fixed(r.data(), fixed, limbs.data(), bn);
                    mpz_class product;
                    mpz_import(product.get_mpz_t(), an + bn, -1, sizeof(mp_limb_t), 0, 0, r.data());
                    ASSERT_EQ(product, a * b) << an << " by " << bn << " limbs on " << name_of(path);
                }
                // The same factor for products modulo 2^L - 1, L above its own size.
                ntt_fixed cyclic = ntt_transform_fixed_cyclic(mpz_limbs_read(a.get_mpz_t()), an, other, 64 * an + 64,
                                                              path);
                for (const mpz_class& b : {mpz_class(rng.get_z_bits(64 * other)), all_ones(64 * other)}) {
                    std::size_t bn = mpz_size(b.get_mpz_t());
                    mpz_class residue;
                    std::size_t length =
                        ntt_mul_fixed_cyclic(residue.get_mpz_t(), cyclic, mpz_limbs_read(b.get_mpz_t()), bn);
                    mpz_class expected = a * b % all_ones(length);
                    ASSERT_TRUE(length >= 64 * an + 64 && residue == expected)
                        << an << " by " << bn << " limbs modulo 2^" << length << " - 1 on " << name_of(path);
                }
                // A block of zeros, as the exact divisions meet them.
                std::vector<mp_limb_t> zeros(other, 0), r(an + other, 7);
                ntt_mul_fixed(r.data(), fixed, zeros.data(), other);
                EXPECT_TRUE(std::all_of(r.begin(), r.end(), [](mp_limb_t l) { return l == 0; })) << name_of(path);
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
