#include "series/terms.h"

#include <gtest/gtest.h>

#include "support/oracle.h"

namespace {

std::string digits(const mpz_class& x) { return x.get_str(); }

// t_K = K!/(2K+1)!! * Re((3+i)(1+i)^K) / 4^K, straight from Euler's arctan series.
std::vector<mpq_class> euler_terms(unsigned count)
{
    std::vector<mpq_class> t;
    mpz_class u = 3, v = 1;
    mpq_class w = 1; // K!/(2K+1)!! / 4^K
    for (unsigned K = 0; K < count; ++K) {
        t.push_back(w * mpq_class(u));
        mpz_class nu = u - v, nv = u + v;
        u = nu;
        v = nv;
        w *= mpq_class(K + 1, 4 * (2 * K + 3));
    }
    return t;
}

TEST(Terms, ConstantsAndFirstTerms)
{
    mpz_class c = c0(63);
    EXPECT_EQ(digits(c).size(), 628u);
    EXPECT_EQ(digits(c).substr(0, 20), "51559432446505813081");
    EXPECT_EQ(mpz_scan1(c.get_mpz_t(), 0), 186u);

    mpz_class ten60;
    mpz_ui_pow_ui(ten60.get_mpz_t(), 10, 60);
    EXPECT_EQ(mpz_class(ten60 * a(0) / c),
              mpz_class("3141592653589793238462643383279502884197169399375105820974944"));

    mpq_class b0 = b(0);
    EXPECT_EQ(b0.get_num(), -1);
    std::string d0 = digits(b0.get_den());
    EXPECT_EQ(d0.size(), 340u);
    EXPECT_EQ(d0.substr(0, 10), "5862963175");
    EXPECT_EQ(d0.substr(330), "6144153600");

    mpq_class b1 = b(1);
    EXPECT_EQ(digits(b1.get_num()).size(), 23u); // with the minus sign
    EXPECT_EQ(digits(b1.get_num()).substr(0, 11), "-2341718886");
    EXPECT_EQ(digits(b1.get_den()).size(), 269u);
    EXPECT_EQ(digits(b1.get_den()).substr(0, 10), "1359670715");

    affine t0 = f(0);
    EXPECT_EQ(t0.b, -1);
    EXPECT_EQ(t0.c, b0.get_den());
    EXPECT_EQ(t0.a, a(0) * b0.get_den());
}

TEST(Terms, EachTermIsABlockOf252EulerTerms)
{
    std::vector<mpq_class> t = euler_terms(4 * 252);
    mpq_class prod_b = 1;
    for (unsigned long n = 0; n < 4; ++n) {
        mpq_class block = 0;
        for (unsigned j = 0; j < 252; ++j)
            block += t[252 * n + j];
        EXPECT_EQ(mpq_class(mpq_class(a(n)) * prod_b / mpq_class(c0(63))), block) << "n = " << n;
        prod_b *= b(n);
    }
}

TEST(Terms, PartialSumsGiveTheDigitsOfPi)
{
    const std::pair<unsigned long, unsigned long> cases[] = {{2, 100}, {5, 1000}, {10, 2000}};
    for (auto [m, D] : cases) {
        affine s = plain_composition(f, 0, m + 1);
        mpz_class ten;
        mpz_ui_pow_ui(ten.get_mpz_t(), 10, D);
        mpz_class den = c0(63) * s.c;
        mpz_class expected = pi_oracle(D);
        EXPECT_EQ(mpz_class(ten * s.a / den), expected) << "m = " << m;
        mpz_class next = s.a + a(m + 1) * s.b;
        EXPECT_EQ(mpz_class(ten * next / den), expected) << "m + 1 = " << m + 1;
    }
}

} // namespace
