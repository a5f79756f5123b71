#include "splitting/affine.h"

#include <gtest/gtest.h>

namespace {

affine make(const mpz_class& a, const mpz_class& b, const mpz_class& c)
{
    affine m;
    m.a = a;
    m.b = b;
    m.c = c;
    return m;
}

void expect_triple(const affine& m, const mpz_class& a, const mpz_class& b, const mpz_class& c)
{
    EXPECT_EQ(m.a, a);
    EXPECT_EQ(m.b, b);
    EXPECT_EQ(m.c, c);
}

TEST(Affine, CompositionWorkedExampleIdentityAndMove)
{
    affine p = make(1, 2, 3), q = make(4, 5, 6);
    expect_triple(affine(), 0, 0, 0);
    p.compose(q);
    expect_triple(p, 14, 10, 18);
    expect_triple(q, 4, 5, 6);
    p.reduis();
    expect_triple(p, 7, 5, 9);

    affine id = make(0, 1, 1);
    p.compose(id);
    expect_triple(p, 7, 5, 9);
    id.compose(make(-7, 11, 13));
    expect_triple(id, -7, 11, 13);

    p = std::move(id);
    expect_triple(p, -7, 11, 13);
    expect_triple(id, 7, 5, 9);
}

TEST(Affine, ReduisDividesByTheGcdOfTheThree)
{
    const long cases[][6] = {
        {0, 5, 10, 0, 1, 2}, {6, -4, 2, 3, -2, 1}, {9, -4, 35, 9, -4, 35}, {-12, 18, 30, -2, 3, 5}, {0, 0, 0, 0, 0, 0}};
    for (const auto& c : cases) {
        affine m = make(c[0], c[1], c[2]);
        m.reduis();
        expect_triple(m, c[3], c[4], c[5]);
    }
}

TEST(Affine, UnreducedCompositionIsAssociativeOnTriplesAndSplitsOverTwoThreads)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(20261207);
    auto random_map = [&](unsigned long bits) {
        return make(rng.get_z_bits(bits) - rng.get_z_bits(bits), rng.get_z_bits(bits) - rng.get_z_bits(bits),
                    rng.get_z_bits(bits) + 1);
    };
    // Sizes from a limb to the FFT range of GMP's products, equal and lopsided.
    const std::pair<unsigned long, unsigned long> sizes[] = {{1, 1}, {64, 3000}, {3000, 65}, {600000, 900000}};
    for (auto [p_bits, q_bits] : sizes) {
        affine p = random_map(p_bits), q = random_map(q_bits), r = random_map(q_bits);
        affine left = make(p.a, p.b, p.c), qr = make(q.a, q.b, q.c), right = make(p.a, p.b, p.c);
        left.compose(q);
        left.compose(r);
        qr.compose(r);
        right.compose(qr);
        expect_triple(left, right.a, right.b, right.c);

        affine split = make(p.a, p.b, p.c), plain = make(p.a, p.b, p.c);
        plain.compose(q);
        compose_on_two_threads(split, q);
        expect_triple(split, plain.a, plain.b, plain.c);
    }
    affine z = make(0, -5, 3);
    compose_on_two_threads(z, make(7, 0, 2));
    expect_triple(z, -35, 0, 6);
}

} // namespace
