#include "splitting/affine.h"

#include <gtest/gtest.h>

namespace {

affine make(long a, long b, long c)
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

TEST(Affine, DefaultIsZeroTriple)
{
    affine m;
    expect_triple(m, 0, 0, 0);
}

TEST(Affine, ComposeWorkedExampleThenReduce)
{
    affine p = make(1, 2, 3);
    affine q = make(4, 5, 6);
    p.compose(q);
    expect_triple(p, 14, 10, 18);
    expect_triple(q, 4, 5, 6);
    p.reduis();
    expect_triple(p, 7, 5, 9);
}

TEST(Affine, IdentityOnBothSides)
{
    affine p = make(-7, 11, 13);
    p.compose(make(0, 1, 1));
    expect_triple(p, -7, 11, 13);

    affine id = make(0, 1, 1);
    id.compose(make(-7, 11, 13));
    expect_triple(id, -7, 11, 13);
}

TEST(Affine, ComposeIsTheMapOfTheComposition)
{
    // this(other(x)) at x = 5/7, compared with the composed triple's value there.
    affine p = make(3, -2, 5), q = make(-4, 9, 2);
    mpq_class x(5, 7);
    mpq_class inner = (mpq_class(q.a) + mpq_class(q.b) * x) / mpq_class(q.c);
    mpq_class outer = (mpq_class(p.a) + mpq_class(p.b) * inner) / mpq_class(p.c);
    p.compose(q);
    EXPECT_EQ((mpq_class(p.a) + mpq_class(p.b) * x) / mpq_class(p.c), outer);
}

TEST(Affine, UnreducedCompositionIsAssociativeOnTriples)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(20261207);
    for (int round = 0; round < 50; ++round) {
        auto random_map = [&] {
            affine m;
            m.a = rng.get_z_bits(200) - rng.get_z_bits(199);
            m.b = rng.get_z_bits(150) - rng.get_z_bits(149);
            m.c = rng.get_z_bits(180) + 1;
            return m;
        };
        affine p = random_map(), q = random_map(), r = random_map();
        affine left, right, qr;
        left.a = p.a; left.b = p.b; left.c = p.c;
        left.compose(q);
        left.compose(r);
        qr.a = q.a; qr.b = q.b; qr.c = q.c;
        qr.compose(r);
        right.a = p.a; right.b = p.b; right.c = p.c;
        right.compose(qr);
        expect_triple(left, right.a, right.b, right.c);
    }
}

TEST(Affine, TwoThreadCompositionGivesTheTripleOfCompose)
{
    gmp_randclass rng(gmp_randinit_default);
    rng.seed(20261208);
    auto random_map = [&](unsigned long bits) {
        affine m;
        m.a = rng.get_z_bits(bits) - rng.get_z_bits(bits);
        m.b = rng.get_z_bits(bits * 2 / 3 + 1) - rng.get_z_bits(bits * 2 / 3 + 1);
        m.c = rng.get_z_bits(bits) + 1;
        return m;
    };
    auto copy = [](const affine& m) {
        affine r;
        r.a = m.a;
        r.b = m.b;
        r.c = m.c;
        return r;
    };
    // Sizes from a limb to the FFT range of GMP's products, equal and lopsided.
    const std::pair<unsigned long, unsigned long> sizes[] = {
        {1, 1}, {64, 64}, {65, 3000}, {3000, 65}, {20000, 20000}, {600000, 900000}, {900000, 10000}};
    for (auto [p_bits, q_bits] : sizes) {
        for (int round = 0; round < 3; ++round) {
            affine P = random_map(p_bits), Q = random_map(q_bits);
            affine expected = copy(P), q_before = copy(Q);
            expected.compose(Q);
            compose_on_two_threads(P, Q);
            expect_triple(P, expected.a, expected.b, expected.c);
            expect_triple(Q, q_before.a, q_before.b, q_before.c);
        }
    }
    // Zeros and the identity on either side.
    affine P = make(0, -5, 3);
    compose_on_two_threads(P, make(7, 0, 2));
    expect_triple(P, -35, 0, 6);
    affine id = make(0, 1, 1);
    compose_on_two_threads(id, make(-7, 11, 13));
    expect_triple(id, -7, 11, 13);
}

TEST(Affine, ReduisCases)
{
    affine m = make(0, 5, 10);
    m.reduis();
    expect_triple(m, 0, 1, 2);

    m = make(6, -4, 2);
    m.reduis();
    expect_triple(m, 3, -2, 1);

    m = make(9, -4, 35);
    m.reduis();
    expect_triple(m, 9, -4, 35);

    m = make(0, 0, 0);
    m.reduis();
    expect_triple(m, 0, 0, 0);

    mpz_class x = -12, y = 18, z = 30;
    affine::reduis(x.get_mpz_t(), y.get_mpz_t(), z.get_mpz_t());
    EXPECT_EQ(x, -2);
    EXPECT_EQ(y, 3);
    EXPECT_EQ(z, 5);
}

TEST(Affine, MoveAssignmentExchangesTriples)
{
    affine x = make(1, 2, 3);
    affine y = make(-4, 5, 6);
    x = std::move(y);
    expect_triple(x, -4, 5, 6);
    expect_triple(y, 1, 2, 3);
}

} // namespace
