// The algebra of factor lists against the integers they stand for: products,
// common parts and merges must be the plain products and gcds.
#include "series/factors.h"
#include "series/terms.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

// Some primes below 2^32, the small ones first so that high powers pack too.
const uint64_t primes[] = {2,     3,      5,       7,        11,        13,         101,       503,
                           509,   65537,  999983,  16777259, 67108879,  1000000007, 2147483647, 4294967291};

factor_list random_list(std::mt19937_64& rng)
{
    factor_list list;
    for (uint64_t p : primes)
        if (rng() % 3)
            // Exponents past 8 take the route of whole powers.
            list.push_back({p, static_cast<uint32_t>(1 + rng() % (rng() % 4 ? 3 : 40))});
    return list;
}

mpz_class plain(const factor_list& x)
{
    mpz_class r = 1, power;
    for (const prime_power& pp : x) {
        mpz_ui_pow_ui(power.get_mpz_t(), pp.prime, pp.exponent);
        r *= power;
    }
    return r;
}

TEST(Factors, ListsActAsTheirIntegers)
{
    EXPECT_EQ(product(factor_list{}), 1);
    // Factors of 40 bits take a word each: lists of 1 to 40 words and one of
    // hundreds make product trees of every depth, balanced and not.
    for (std::size_t count = 1; count <= 400; count += count < 40 ? 1 : 360) {
        factor_list many;
        for (std::size_t i = 0; i < count; ++i)
            many.push_back({(uint64_t(1) << 39) + 2 * i + 1, static_cast<uint32_t>(1 + i % 2)});
        EXPECT_EQ(product(many), plain(many)) << count;
    }
    std::mt19937_64 rng(5);
    for (int round = 0; round < 300; ++round) {
        factor_list x = random_list(rng), y = random_list(rng);
        mpz_class px = plain(x), py = plain(y), g;
        mpz_gcd(g.get_mpz_t(), px.get_mpz_t(), py.get_mpz_t());
        ASSERT_EQ(product(x), px);
        EXPECT_EQ(product(common(x, y)), g);
        factor_list taken = take_common(x, y);
        EXPECT_EQ(product(taken), g);
        EXPECT_TRUE(product(x) * g == px && product(y) * g == py);
        multiply_into(x, y);
        EXPECT_EQ(product(x), px * py / (g * g));
        // Still a list: each prime once, in increasing order, for the merges above.
        EXPECT_TRUE(std::adjacent_find(x.begin(), x.end(), [](const prime_power& a, const prime_power& b) {
                        return a.prime >= b.prime;
                    }) == x.end());
    }
}

// The common part of a list with an integer is their gcd, whatever share of
// each prime power the integer holds: none, some, all, or more.
TEST(Factors, CommonPartWithAnIntegerIsTheGcd)
{
    std::mt19937_64 rng(11);
    gmp_randclass bits(gmp_randinit_default);
    bits.seed(11);
    // The table's primes, with powers past a word, and a list of 4000 primes
    // whose product of 1400 limbs takes the remainder by pieces and a deep tree.
    factor_list long_list;
    mpz_class p = 1 << 20;
    for (int i = 0; i < 4000; ++i) {
        mpz_nextprime(p.get_mpz_t(), p.get_mpz_t());
        long_list.push_back({p.get_ui(), static_cast<uint32_t>(1 + rng() % 2)});
    }
    std::vector<factor_list> lists{random_list(rng), random_list(rng), long_list, {}};
    for (int i = 0; i < 30; ++i)
        lists.push_back(random_list(rng));
    for (const factor_list& x : lists) {
        mpz_class whole = plain(x);
        // A random share of each power, times a part coprime to the list or not.
        mpz_class share = 1, power;
        for (const prime_power& pp : x) {
            mpz_ui_pow_ui(power.get_mpz_t(), pp.prime, static_cast<unsigned long>(rng() % (pp.exponent + 2)));
            share *= power;
        }
        for (const mpz_class& a : {mpz_class(0), mpz_class(1), mpz_class(-whole), mpz_class(whole * whole * 3),
                                   mpz_class(share * bits.get_z_bits(5000)), mpz_class(-share * 1000003)}) {
            mpz_class g;
            mpz_gcd(g.get_mpz_t(), whole.get_mpz_t(), a.get_mpz_t());
            factor_list c = common_with(x, a);
            EXPECT_EQ(plain(c), g) << x.size() << " prime powers";
            EXPECT_TRUE(std::is_sorted(c.begin(), c.end(),
                                       [](const prime_power& u, const prime_power& v) { return u.prime < v.prime; }));
        }
    }
}

// No prime above largest_shared_prime(terms) divides both the numerators of some
// terms and the denominators of the terms after them: the bounded common part is
// the whole one, at the series' start and far into it.
TEST(Factors, TermsShareNoPrimeAboveTheBound)
{
    for (unsigned long lo : {0ul, 1ul, 977ul, 1000000ul, 300000000ul}) {
        std::vector<factor_list> p, q;
        term_factors(lo, lo + 40, sieving_primes(lo + 40), p, q);
        for (std::size_t t = 0; t < p.size(); ++t) {
            mpz_class g, pt = product(p[t]), qt = product(q[t]);
            mpz_gcd(g.get_mpz_t(), pt.get_mpz_t(), qt.get_mpz_t());
            EXPECT_EQ(g, 1) << "term " << lo + t;
        }
        for (std::size_t span : {2, 3, 8, 40}) {
            factor_list b, c;
            for (std::size_t t = 0; t < span / 2; ++t)
                multiply_into(b, p[t]);
            for (std::size_t t = span / 2; t < span; ++t)
                multiply_into(c, q[t]);
            factor_list b2 = b, c2 = c;
            factor_list whole = take_common(b, c), bounded = take_common(b2, c2, largest_shared_prime(span));
            EXPECT_EQ(product(bounded), product(whole)) << lo << " + " << span;
            EXPECT_TRUE(product(b2) == product(b) && product(c2) == product(c)) << lo << " + " << span;
        }
    }
}

// Each term's lists are its ratio b(n) = -p/q in lowest terms; sorted up to the
// bound given, the larger primes after, where dropping them leaves the rest. The
// same with the sieve's primes of a far longer range, as a stage's blocks get them.
TEST(Factors, TermListsAreTheRatiosSortedUpToTheBound)
{
    const std::vector<uint64_t> many = sieving_primes(2000000000ul);
    for (unsigned long lo : {0ul, 977ul, 1000000ul, 300000000ul})
        for (bool own : {true, false}) {
            uint64_t largest = largest_shared_prime(40);
            std::vector<factor_list> p, q;
            term_factors(lo, lo + 40, own ? sieving_primes(lo + 40) : many, p, q, largest);
            for (std::size_t t = 0; t < p.size(); ++t) {
                mpq_class ratio = b(lo + t);
                EXPECT_EQ(-product(p[t]), ratio.get_num()) << lo + t;
                EXPECT_EQ(product(q[t]), ratio.get_den()) << lo + t;
                for (factor_list* list : {&p[t], &q[t]}) {
                    factor_list kept = *list;
                    drop_above(kept, largest);
                    for (std::size_t i = 1; i < kept.size(); ++i)
                        EXPECT_LT(kept[i - 1].prime, kept[i].prime) << lo + t;
                    for (std::size_t i = kept.size(); i < list->size(); ++i)
                        EXPECT_GT((*list)[i].prime, largest) << lo + t;
                }
            }
        }
}

} // namespace
