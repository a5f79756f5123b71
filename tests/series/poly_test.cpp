// Checks the coefficient table against values derived independently of the
// generator: known rows, divisibility, closed forms of the outer entries and
// the block identity the table exists for.

#include "series/poly.h"

#include <gmp.h>
#include <gtest/gtest.h>

#include <string>

namespace {

constexpr int kCount = 252;

std::string digits(int r) { return poly[r].get_str(10); }

// u_K = Re((3+i)(1+i)^K), from its first period and u_{K+8} = 16 u_K.
mpz_class u(unsigned long k) {
    static const int first[8] = {3, 2, -2, -8, -12, -8, 8, 32};
    mpz_class r = first[k % 8];
    r <<= 4 * (k / 8);
    return r;
}

mpz_class pow2(unsigned long e) {
    mpz_class r = 1;
    r <<= e;
    return r;
}

mpz_class double_factorial(unsigned long k) {
    mpz_class r;
    mpz_2fac_ui(r.get_mpz_t(), k);
    return r;
}

mpz_class factorial(unsigned long k) {
    mpz_class r;
    mpz_fac_ui(r.get_mpz_t(), k);
    return r;
}

mpz_class evaluate(unsigned long n) {
    mpz_class r = poly[0];
    for (int i = 1; i < kCount; ++i) r = r * n + poly[i];
    return r;
}

// 503!! * 2^186, the series' common denominator.
mpz_class common_denominator() { return double_factorial(503) * pow2(186); }

TEST(PolyTable, DigitCounts) {
    EXPECT_EQ(digits(0).size(), 735u);
    EXPECT_EQ(digits(1).size(), 737u);
    EXPECT_EQ(digits(250).size(), 632u);
    EXPECT_EQ(digits(251).size(), 629u);
    for (int r = 64; r <= 91; ++r) EXPECT_EQ(digits(r).size(), 776u) << "poly[" << r << "]";
    EXPECT_LT(digits(63).size(), 776u);
    EXPECT_LT(digits(92).size(), 776u);
    for (int r = 1; r <= 64; ++r)
        EXPECT_GE(digits(r).size(), digits(r - 1).size()) << "falls at poly[" << r << "]";
    for (int r = 92; r < kCount; ++r)
        EXPECT_LE(digits(r).size(), digits(r - 1).size()) << "rises at poly[" << r << "]";

    std::size_t total = 0;
    for (int r = 0; r < kCount; ++r) {
        EXPECT_GT(poly[r], 0) << "poly[" << r << "]";
        total += digits(r).size();
    }
    EXPECT_EQ(total, 187055u);
}

TEST(PolyTable, TellingRows) {
    struct Row {
        int r;
        const char* head;  // first 20 digits
        const char* tail;  // last 10 digits
    };
    const Row rows[] = {
        {0, "64090523599327582439", "8717916160"},
        {1, "80752737232284831241", "4416365568"},
        {64, "11086060333550705955", "6581560320"},
        {250, "22478932258128968487", "0000000000"},
        {251, "16197873419720188253", "0000000000"},
    };
    for (const Row& row : rows) {
        const std::string s = digits(row.r);
        EXPECT_EQ(s.substr(0, 20), row.head) << "poly[" << row.r << "]";
        EXPECT_EQ(s.substr(s.size() - 10), row.tail) << "poly[" << row.r << "]";
    }

    // The two lowest entries end in long runs of zeros.
    struct Zeros {
        int r;
        std::size_t count;
        const char* before;  // the ten digits ahead of the run
    };
    for (const Zeros& z : {Zeros{250, 53, "0380676625"}, Zeros{251, 58, "2942179755"}}) {
        const std::string s = digits(z.r);
        const std::size_t body = s.find_last_not_of('0') + 1;
        EXPECT_EQ(s.size() - body, z.count) << "poly[" << z.r << "]";
        EXPECT_EQ(s.substr(body - 10, 10), z.before) << "poly[" << z.r << "]";
    }
}

TEST(PolyTable, CommonFactorsAndPowersOfTwo) {
    mpz_class g = 0;
    for (int r = 0; r < kCount; ++r) mpz_gcd(g.get_mpz_t(), g.get_mpz_t(), poly[r].get_mpz_t());
    mpz_class expected;
    mpz_class sevens;
    mpz_ui_pow_ui(expected.get_mpz_t(), 3, 110);
    mpz_ui_pow_ui(sevens.get_mpz_t(), 7, 35);
    expected *= 2 * sevens;
    EXPECT_EQ(g, expected);

    for (int r = 0; r < kCount; ++r) {
        EXPECT_TRUE(mpz_even_p(poly[r].get_mpz_t())) << "poly[" << r << "]";
        const bool odd_half = !mpz_divisible_2exp_p(poly[r].get_mpz_t(), 2);
        const bool expected_odd_half = r == 187 || r == 188 || r == 219 || r == 220;
        EXPECT_EQ(odd_half, expected_odd_half) << "poly[" << r << "]";
    }
}

TEST(PolyTable, ValueAtOne) {
    const std::string s = evaluate(1).get_str(10);
    EXPECT_EQ(s.size(), 778u);
    EXPECT_EQ(s.substr(0, 20), "12101601247209827072");
}

// Leading coefficient of B_j is 252^j * 504^(251-j), so the n^251 coefficient
// is 2^186 * 504^251 * sum_j u_j / 8^j.
TEST(PolyTable, LeadingCoefficientClosedForm) {
    mpq_class sum = 0;
    for (unsigned long j = 0; j < kCount; ++j) sum += mpq_class(u(j), pow2(3 * j));
    mpz_class scale;
    mpz_ui_pow_ui(scale.get_mpz_t(), 504, 251);
    scale *= pow2(186);
    mpq_class value = sum * scale;
    value.canonicalize();
    ASSERT_EQ(value.get_den(), 1);
    EXPECT_EQ(value.get_num(), poly[0]);
}

// a(0) = 2^186 * sum_j (u_j/4^j) * j! * 503!! / (2j+1)!!.
TEST(PolyTable, ConstantTermClosedForm) {
    const mpz_class odd503 = double_factorial(503);
    mpq_class sum = 0;
    for (unsigned long j = 0; j < kCount; ++j) {
        mpq_class term(u(j) * factorial(j) * odd503, pow2(2 * j) * double_factorial(2 * j + 1));
        term.canonicalize();
        sum += term;
    }
    mpq_class value = sum * mpq_class(pow2(186));
    ASSERT_EQ(value.get_den(), 1);
    EXPECT_EQ(value.get_num(), poly[251]);
}

TEST(PolyTable, FirstBlockApproximatesPi) {
    mpz_class ten60;
    mpz_ui_pow_ui(ten60.get_mpz_t(), 10, 60);
    const mpz_class c0 = common_denominator();
    EXPECT_EQ(c0.get_str(10).size(), 628u);
    EXPECT_EQ(mpz_class(ten60 * poly[251] / c0).get_str(10),
              "3141592653589793238462643383279502884197169399375105820974944");
}

// The property the table is built for, checked term by term in exact
// rationals: a(n) * prod_{l<n} b(l) / c0 = sum_{K=252n..252n+251} t_K with
// t_K = K!/(2K+1)!! * u_K/4^K and
// prod_{l<n} b(l) = (-1)^n 2^(-378n) (252n)! 503!! / (504n+503)!!.
// Each n pins down one linear combination of all 252 entries.
TEST(PolyTable, BlockSumIdentity) {
    const mpz_class c0 = common_denominator();
    for (unsigned long n : {0ul, 1ul, 2ul, 3ul, 10ul}) {
        SCOPED_TRACE("n = " + std::to_string(n));
        mpq_class block = 0;
        for (unsigned long k = kCount * n; k < kCount * (n + 1); ++k) {
            mpq_class t(factorial(k) * u(k), double_factorial(2 * k + 1) * pow2(2 * k));
            t.canonicalize();
            block += t;
        }
        mpq_class carried(factorial(kCount * n) * double_factorial(503),
                          pow2(378 * n) * double_factorial(504 * n + 503));
        carried.canonicalize();
        if (n % 2 == 1) carried = -carried;
        mpq_class expected = block * c0 / carried;
        ASSERT_EQ(expected.get_den(), 1);
        EXPECT_EQ(expected.get_num(), evaluate(n));
    }
}

}  // namespace
