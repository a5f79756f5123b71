// The coefficient table against values found independently of its generator: telling
// rows, common factors, and closed forms of the outer entries.
#include "series/poly.h"

#include <gtest/gtest.h>

namespace {

std::string digits(int r) { return poly[r].get_str(10); }

// u_K = Re((3+i)(1+i)^K), from its first period and u_{K+8} = 16 u_K.
mpz_class u(unsigned long k)
{
    static const int first[8] = {3, 2, -2, -8, -12, -8, 8, 32};
    return mpz_class(first[k % 8]) << 4 * (k / 8);
}

mpz_class pow2(unsigned long e) { return mpz_class(1) << e; }

mpz_class factorial(unsigned long k, bool twofold = false)
{
    mpz_class r;
    twofold ? mpz_2fac_ui(r.get_mpz_t(), k) : mpz_fac_ui(r.get_mpz_t(), k);
    return r;
}

TEST(PolyTable, DigitCountsAndTellingRows)
{
    size_t total = 0;
    for (int r = 0; r < 252; ++r) {
        total += digits(r).size();
        if (r >= 1 && r <= 64) {
            EXPECT_GE(digits(r).size(), digits(r - 1).size()) << "falls at poly[" << r << "]";
        }
        if (r >= 64 && r <= 91) {
            EXPECT_EQ(digits(r).size(), 776u) << r;
        }
        if (r >= 92) {
            EXPECT_LE(digits(r).size(), digits(r - 1).size()) << "rises at poly[" << r << "]";
        }
    }
    EXPECT_EQ(total, 187055u);
    EXPECT_LT(digits(92).size(), 776u);

    // Digits, first 20, last 10 (or the 10 ahead of the trailing zeros, and their count).
    const std::tuple<int, size_t, const char*, const char*, size_t> rows[] = {
        {0, 735, "64090523599327582439", "8717916160", 0},  {1, 737, "80752737232284831241", "4416365568", 0},
        {64, 776, "11086060333550705955", "6581560320", 0}, {250, 632, "22478932258128968487", "0380676625", 53},
        {251, 629, "16197873419720188253", "2942179755", 58}};
    for (auto [r, size, head, tail, zeros] : rows) {
        std::string s = digits(r);
        size_t body = zeros ? s.find_last_not_of('0') + 1 : s.size();
        EXPECT_EQ(s.size(), size) << r;
        EXPECT_EQ(s.substr(0, 20), head) << r;
        EXPECT_EQ(s.size() - body, zeros) << r;
        EXPECT_EQ(s.substr(body - 10, 10), tail) << r;
    }

    mpz_class at_one = 0;
    for (int r = 0; r < 252; ++r)
        at_one += poly[r];
    EXPECT_EQ(at_one.get_str().size(), 778u);
    EXPECT_EQ(at_one.get_str().substr(0, 20), "12101601247209827072");
}

TEST(PolyTable, CommonFactorsAndPowersOfTwo)
{
    mpz_class g = 0, threes, sevens;
    for (int r = 0; r < 252; ++r) {
        g = gcd(g, poly[r]);
        bool twice_even = mpz_divisible_2exp_p(poly[r].get_mpz_t(), 2);
        EXPECT_EQ(twice_even, r != 187 && r != 188 && r != 219 && r != 220) << r;
    }
    mpz_ui_pow_ui(threes.get_mpz_t(), 3, 110);
    mpz_ui_pow_ui(sevens.get_mpz_t(), 7, 35);
    EXPECT_EQ(g, 2 * threes * sevens);
}

TEST(PolyTable, OuterEntriesMatchTheirClosedForms)
{
    // poly[0] = 2^186 504^251 sum_j u_j / 8^j, since B_j leads with 252^j 504^(251-j);
    // poly[251] = a(0) = 2^186 sum_j (u_j / 4^j) j! 503!! / (2j+1)!!.
    mpq_class lead = 0, constant = 0;
    for (unsigned long j = 0; j < 252; ++j) {
        lead += mpq_class(u(j), pow2(3 * j));
        mpq_class t(u(j) * factorial(j) * factorial(503, true), pow2(2 * j) * factorial(2 * j + 1, true));
        t.canonicalize();
        constant += t;
    }
    mpz_class scale;
    mpz_ui_pow_ui(scale.get_mpz_t(), 504, 251);
    lead *= mpq_class(scale * pow2(186));
    lead.canonicalize();
    constant *= mpq_class(pow2(186));
    EXPECT_EQ(lead, mpq_class(poly[0]));
    EXPECT_EQ(constant, mpq_class(poly[251]));
}

} // namespace
