#include "arith/divide.h"

#include <gtest/gtest.h>

#include <string>

#include "arith/ntt.h"
#include "common/ending.h"

namespace {

TEST(Divide, ReciprocalsAreWithinThree)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(5);
    for (mp_bitcnt_t k : {20001ul, 65537ul, 400000ul, 1500000ul}) {
        mpz_class top = mpz_class(1) << (k - 1);
        // The smallest and the largest divisor of k bits, and random ones.
        for (const mpz_class& d : {top, mpz_class(2 * top - 1), mpz_class(top + rng.get_z_bits(k - 1)),
                                   mpz_class(top + rng.get_z_bits(k / 2))}) {
            mpz_class exact = (mpz_class(1) << (2 * k)) / d;
            mpz_class v = approximate_reciprocal(d, k), error = abs(v - exact);
            EXPECT_LE(error, 3) << k << " bits";
            // The same steps with their products on two threads, cut within a bound.
            EXPECT_EQ(approximate_reciprocal(d, k, 2, ntt_length(6000, 6000)), v) << k << " bits";
        }
    }
}

TEST(Divide, QuotientsAndRemaindersAreGmps)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(17);
    // Divisors above and below the quotient's size, powers of ten, and
    // dividends at the edges: 0, a multiple of d, the largest allowed.
    for (auto [d_bits, q_bits] : {std::pair{300000ul, 100000ul}, {100000ul, 300000ul}, {500000ul, 500000ul},
                                  {64ul, 90000ul}, {200ul, 100ul}}) {
        mpz_class d = rng.get_z_bits(d_bits) | (mpz_class(1) << (d_bits - 1));
        if (d_bits == 500000ul)
            mpz_ui_pow_ui(d.get_mpz_t(), 10, 150515); // 500000 bits
        divisor prepared = prepare_divisor(d, q_bits);
        mpz_class limit = d << q_bits;
        for (const mpz_class& x : {mpz_class(0), mpz_class(d * 12345), mpz_class(limit - 1), mpz_class(d - 1),
                                   mpz_class(rng.get_z_range(limit))}) {
            mpz_class q, r, eq, er;
            divide(q, r, x, prepared);
            mpz_fdiv_qr(eq.get_mpz_t(), er.get_mpz_t(), x.get_mpz_t(), d.get_mpz_t());
            EXPECT_TRUE(q == eq && r == er) << d_bits << " by " << q_bits << " bits";
        }
    }
}

TEST(Divide, InPlaceGivesGmpsQuotientAndRemainder)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(29);
    auto exactly = [&rng](unsigned long bits) { return mpz_class(rng.get_z_bits(bits) | (mpz_class(1) << (bits - 1))); };
    mpz_class ten;
    mpz_ui_pow_ui(ten.get_mpz_t(), 10, 90309); // 300000 bits
    // Divisors longer and shorter than the quotient, a power of ten, a power of two
    // (zeros under its top) and all ones; quotients on both sides of where the
    // reciprocal takes over from GMP; dividends below d, multiples of d and the
    // largest of their size.
    for (const mpz_class& d : {exactly(300000), exactly(30000), ten, mpz_class(mpz_class(1) << 250000),
                               mpz_class((mpz_class(1) << 250000) - 1)})
        for (unsigned long q_bits : {1000ul, 19999ul, 20001ul, 100000ul, 400000ul}) {
            mpz_class top = d << q_bits;
            for (const mpz_class& x : {mpz_class(d - 1), mpz_class(d * exactly(q_bits)), mpz_class(top - 1),
                                       mpz_class(top / 2 + rng.get_z_range(top / 2))}) {
                mpz_class q = -7, r = x, capped_q, capped_r = x, eq, er;
                divide_in_place(q, r, d);
                // With the remainder's products cut small.
                divide_in_place(capped_q, capped_r, d, ntt_length(1000, 1000));
                mpz_fdiv_qr(eq.get_mpz_t(), er.get_mpz_t(), x.get_mpz_t(), d.get_mpz_t());
                EXPECT_TRUE(q == eq && r == er && capped_q == q && capped_r == r)
                    << mpz_sizeinbase(d.get_mpz_t(), 2) << " bits by " << q_bits;
            }
        }
}

TEST(Divide, CorrectionsReachTheFloorOrFail)
{
    mpz_class d("123456789012345678901234567890123"), x = d * 1000 + 77;
    // Estimates a few units off, either way, and exact.
    for (long off : {-5L, -1L, 0L, 1L, 6L}) {
        mpz_class q = 1000 + off, r = x - q * d;
        correct_quotient(q, r, d);
        EXPECT_EQ(q, 1000) << off;
        EXPECT_EQ(r, 77) << off;
    }
    // An estimate that a wrong product would give: an error, not an endless loop.
    for (long off : {-1000000000L, 1000000000L}) {
        mpz_class q = 1000 + off, r = x - q * d;
        EXPECT_THROW(correct_quotient(q, r, d), failure) << off;
    }
}

TEST(Divide, InversesModuloPowersOfTheWord)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(41);
    // One limb, all ones, and long odd divisors; inverses shorter and longer than d.
    for (const mpz_class& d : {mpz_class(1), mpz_class(3), mpz_class((mpz_class(1) << 64000) - 1),
                               mpz_class(rng.get_z_bits(100000) | 1)})
        for (std::size_t limbs : {1ul, 2ul, 3ul, 5ul, 999ul, 1000ul, 4097ul}) {
            mpz_class v = inverse_mod_limbs(d, limbs), one = d * v, top = mpz_class(1) << (64 * limbs);
            mpz_fdiv_r_2exp(one.get_mpz_t(), one.get_mpz_t(), 64 * limbs);
            EXPECT_TRUE(one == 1 && v >= 0 && v < top) << limbs << " limbs";
        }
}

TEST(Divide, ScaledRemaindersAreWithinTwo)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(47);
    // Divisors for GMP and for pieces; dividends shorter, a whole number of
    // pieces, and a part more; all ones, where every piece's quotient is largest.
    for (unsigned long d_bits : {20000ul, 64 * 1000ul + 1, 150000ul})
        for (double ratio : {0.5, 2.0, 5.3}) {
            mpz_class d = rng.get_z_bits(d_bits) | (mpz_class(1) << (d_bits - 1));
            auto x_bits = static_cast<unsigned long>(ratio * static_cast<double>(d_bits));
            for (const mpz_class& x : {mpz_class(rng.get_z_bits(x_bits)), mpz_class((mpz_class(1) << x_bits) - 1)})
                for (mp_bitcnt_t k : {d_bits + 1, d_bits + 200}) {
                    mpz_class exact;
                    mpz_tdiv_r(exact.get_mpz_t(), x.get_mpz_t(), d.get_mpz_t());
                    exact <<= k;
                    mpz_fdiv_q(exact.get_mpz_t(), exact.get_mpz_t(), d.get_mpz_t());
                    mpz_class off = abs(scaled_remainder(x, d, k) - exact);
                    EXPECT_LE(off, 2) << x_bits << " bits by " << d_bits << ", " << k << " bits";
                }
        }
}

TEST(Divide, ExactPairsAreGmpsQuotients)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(43);
    auto exactly = [&rng](unsigned long bits) { return mpz_class(rng.get_z_bits(bits) | (mpz_class(1) << (bits - 1))); };
    // Divisors for GMP, for the schoolbook's blocks and for the engine's, with
    // twos under them or all ones; quotients of one block, of many, and shorter
    // than the divisor; both signs, and a zero.
    for (const mpz_class& d : {exactly(2000), mpz_class(exactly(4500) << 3), mpz_class((mpz_class(1) << 6400) - 1),
                               exactly(20000), exactly(25000), mpz_class(exactly(70000) << 77), mpz_class(-exactly(200000)),
                               mpz_class((mpz_class(1) << 150000) - 1)})
        for (auto [x_bits, y_bits] : {std::pair{1000ul, 30000ul}, {90000ul, 120000ul}, {600000ul, 64ul}}) {
            mpz_class qx = exactly(x_bits), qy = -exactly(y_bits);
            mpz_class x = d * qx, y = d * qy, zero = 0, z = 0;
            divide_exact_pair(x, y, d);
            divide_exact_pair(zero, z = d * qx, d);
            EXPECT_TRUE(x == qx && y == qy && zero == 0 && z == qx)
                << mpz_sizeinbase(d.get_mpz_t(), 2) << " bits into " << x_bits << " and " << y_bits;
        }
    // All-ones quotients: the blocks' subtractions borrow across whole limbs.
    for (unsigned long bits : {6000ul, 128000ul}) {
        mpz_class d = exactly(bits) | 1, ones = (mpz_class(1) << (5 * bits)) - 1, x = d * ones, y = x;
        divide_exact_pair(x, y, d);
        EXPECT_TRUE(x == ones && y == ones) << bits;
    }
}

} // namespace
