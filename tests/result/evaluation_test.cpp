#include "result/evaluation.h"

#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>

namespace {

// A factor as the check takes it, counting the times it is formed.
lazy_factor term(const mpz_class& next, int* formed = nullptr)
{
    return {sgn(next), mpz_sizeinbase(next.get_mpz_t(), 2), [next, formed] {
                if (formed)
                    ++*formed;
                return next;
            }};
}

TEST(Evaluation, CheckIsTheComparisonOfTheTwoTruncations)
{
    // X/D and (X+Y)/D at the edges R + Y = 0, D - 1 and D, with T the quotient or
    // off by one (refused even where it equals the next truncation), small and
    // scaled past a machine word.
    const mpz_class scales[] = {1, mpz_class("100000000000000000000000000000000000000000")};
    for (const mpz_class& k : scales)
        for (int d = 1; d <= 4; ++d)
            for (int x = 0; x <= 9; ++x)
                for (int y = -6; y <= 6; ++y)
                    for (int delta : {-1, 0, 1}) {
                        mpz_class T = x / d + delta, R = (x - T * d) * k, U;
                        mpz_fdiv_q(U.get_mpz_t(), mpz_class(x + y).get_mpz_t(), mpz_class(d).get_mpz_t());
                        EXPECT_EQ(next_sum_agrees(R, d * k, term(y), term(k)), delta == 0 && T == U)
                            << x << " " << y << " " << d << " " << delta;
                    }
}

TEST(Evaluation, SizesDecideOnlyWhereTheyMust)
{
    // A Y far below D moves a remainder well inside [0, D) nowhere, whichever its
    // sign; near either end of the room it can move R out, by one unit or by
    // exactly the room, and only the whole product can tell.
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(11);
    mpz_class D = rng.get_z_bits(200000) | (mpz_class(1) << 199999);
    // Factors near their sizes' top, so that Y has every bit their sizes allow.
    mpz_class power = (mpz_class(1) << 40000) - 1, next = (mpz_class(1) << 50000) - 3;
    mpz_class Y = power * next;
    for (int sign : {1, -1}) {
        mpz_class signed_next = sign * next, R = D / 3;
        int formed = 0, power_formed = 0;
        EXPECT_TRUE(next_sum_agrees(R, D, term(power, &power_formed), term(signed_next, &formed)) && formed == 0 &&
                    power_formed == 0)
            << sign;
        // The room on Y's side is |Y| - 1, |Y| or |Y| + 1.
        for (int off : {-1, 0, 1}) {
            R = sign > 0 ? mpz_class(D - Y - off) : mpz_class(Y + off);
            bool crosses = sign > 0 ? off <= 0 : off < 0;
            EXPECT_EQ(next_sum_agrees(R, D, term(power, &power_formed), term(signed_next, &formed)), !crosses)
                << sign << " " << off;
        }
        EXPECT_EQ(formed, 3) << sign;
        EXPECT_EQ(power_formed, 3) << sign;
    }
    mpz_class R = D - 1, zero = 0;
    EXPECT_TRUE(next_sum_agrees(R, D, term(zero), term(next)));
}

// The bound as the run prints it.
std::string shown(const mpf_class& x)
{
    std::ostringstream out;
    out << std::scientific << std::setprecision(3) << x;
    return out.str();
}

TEST(Evaluation, LeadingLimbsGiveTheBoundOfTheWholeTermOrNothing)
{
    // Factors of 1 to 40 limbs, of either sign, mostly past the leading limbs
    // kept; whenever an answer comes it is the whole term's, to the last limb of
    // the float and of the printed line.
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(5);
    mpz_class D = rng.get_z_bits(9000) | (mpz_class(1) << 8999);
    int decided = 0;
    for (int i = 0; i < 300; ++i) {
        mpz_class a = rng.get_z_bits(8000) + 1;
        mpz_class b1 = rng.get_z_bits(64 * (1 + i % 40)) + 1, b2 = rng.get_z_bits(64 * (1 + i * 7 % 40)) + 1;
        if (i % 3 == 0)
            b1 = -b1;
        if (i % 5 == 0)
            b2 = -b2;
        mpz_class next = a * b1 * b2;
        mpf_class q;
        lazy_factor t;
        if (!leading_quotient(a, b1, b2, D, q, t))
            continue;
        ++decided;
        mpf_class whole = unreduced_quotient(next, D);
        EXPECT_EQ(mpf_cmp(q.get_mpf_t(), whole.get_mpf_t()), 0) << i;
        EXPECT_EQ(q.get_mpf_t()->_mp_size, whole.get_mpf_t()->_mp_size) << i;
        EXPECT_EQ(shown(q), shown(whole)) << i;
        EXPECT_EQ(t.sign, sgn(next)) << i;
        EXPECT_EQ(t.bits, mpz_sizeinbase(next.get_mpz_t(), 2)) << i;
    }
    EXPECT_GT(decided, 290);

    // Undecided: leading limbs all ones leave the term just below a power of two
    // or on it, its size open; a D just above the low bound times a power of two
    // leaves the float's last limb open.
    mpz_class one = 1, ones = (mpz_class(1) << (64 * 12)) - 1;
    mpf_class q;
    lazy_factor t;
    EXPECT_FALSE(leading_quotient(one, ones, ones, D, q, t));
    mpz_class a = 3, b2 = rng.get_z_bits(64 * 20) | 1;
    mpz_class b1 = rng.get_z_bits(64 * 20) | (mpz_class(1) << (64 * 20 - 1));
    mpz_class t1 = b1 >> (64 * 12), t2 = b2 >> (64 * 12);
    mpz_class near = ((a * t1 * t2) << (64 * 40)) + 1;
    EXPECT_FALSE(leading_quotient(a, b1, b2, near, q, t));
    // The same factors with a D that does not sit on that edge are decided.
    EXPECT_TRUE(leading_quotient(a, b1, b2, D, q, t));
}

} // namespace
