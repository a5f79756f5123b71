#include "arith/ntt.h"
#include "arith/ntt_table.h"

#include <gmpxx.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using u64 = std::uint64_t;
using u128 = unsigned __int128;

// The kernels of every path this processor runs.
std::vector<std::pair<std::string, const ntt_kernels*>> runnable_kernels()
{
    std::vector<std::pair<std::string, const ntt_kernels*>> all;
    all.emplace_back("generic", &ntt_kernels_generic);
    if (ntt_path_supported(ntt_path::avx2))
        all.emplace_back("avx2", &ntt_kernels_avx2);
    if (ntt_path_supported(ntt_path::avx512))
        all.emplace_back("avx512", &ntt_kernels_avx512);
    return all;
}

// Bits [at, at + w) of {a, an}, zeros past the top, one bit at a time.
u64 bits_of(const std::vector<u64>& a, u64 at, unsigned w)
{
    u64 v = 0;
    for (unsigned b = 0; b < w; ++b) {
        u64 bit = at + b;
        if (bit / 64 < a.size() && (a[bit / 64] >> (bit % 64) & 1))
            v |= u64(1) << b;
    }
    return v;
}

TEST(Kernels, PiecesAreTheIntegersBits)
{
    std::mt19937_64 rng(3);
    // Lengths around the eight-limb windows of the vector cuts; all-ones limbs and
    // random ones; the widths the products use, smallest to largest.
    for (std::size_t an : {1ul, 7ul, 8ul, 9ul, 16ul, 61ul})
        for (unsigned w : {29u, 32u, 37u, 44u, 48u})
            for (bool ones : {true, false}) {
                std::vector<u64> a(an);
                for (u64& limb : a)
                    limb = ones ? ~u64(0) : rng();
                std::size_t count = (64 * an + w - 1) / w, n = count + 5;
                for (const auto& [name, k] : runnable_kernels()) {
                    std::vector<double> x(n, -1.0);
                    k->split(x.data(), n, a.data(), an, w, count);
                    for (std::size_t i = 0; i < n; ++i) {
                        double expected = i < count ? static_cast<double>(bits_of(a, u64(i) * w, w)) : 0.0;
                        ASSERT_EQ(x[i], expected) << name << ": piece " << i << " of " << an << " limbs by " << w;
                    }
                }
            }
}

TEST(Kernels, ColumnsSumTheCoefficientsParts)
{
    const u64 p1 = 562941363486721, p2 = 562477507018753;
    std::mt19937_64 rng(5);
    const std::size_t n = 512;
    // Residues at random and at their largest; ranges that start at 0, inside a
    // vector's eight lanes, or span fewer than eight; widths below and above 32.
    for (bool largest : {false, true})
        for (unsigned w : {30u, 32u, 33u, 41u, 48u})
            for (auto [i0, i1] : {std::pair<std::size_t, std::size_t>{0, 500}, {1, 9}, {37, 301}, {250, 255}}) {
                std::vector<double> x(n), y(n);
                for (std::size_t j = 0; j < n; ++j) {
                    x[j] = static_cast<double>(largest ? p1 - 1 : rng() % p1);
                    y[j] = static_cast<double>(largest ? p2 - 1 : rng() % p2);
                }
                // The sums by their definition, on 128-bit integers.
                const u64 mask = (u64(1) << w) - 1;
                std::vector<u64> expected(i1 - i0);
                auto part = [&](std::size_t i, unsigned which) {
                    if (i < i0 || i >= i1)
                        return u64(0);
                    std::size_t at = i ? n - i : 0;
                    u128 c = u128(p1) * static_cast<u64>(y[at]) + static_cast<u64>(x[at]);
                    return which < 2 ? static_cast<u64>(c >> (which * w)) & mask : static_cast<u64>(c >> (2 * w));
                };
                for (std::size_t i = i0; i < i1; ++i)
                    expected[i - i0] = part(i, 0) + (i > 0 ? part(i - 1, 1) : 0) + (i > 1 ? part(i - 2, 2) : 0);
                u64 tail_expected[3] = {part(i1 - 1, 1), i1 >= 2 ? part(i1 - 2, 2) : 0, part(i1 - 1, 2)};
                for (const auto& [name, k] : runnable_kernels()) {
                    std::vector<double> out = y;
                    u64 tail[3];
                    k->columns(x.data(), out.data(), n, i0, i1, w, p1, tail);
                    for (std::size_t i = i0; i < i1; ++i) {
                        u64 got;
                        std::memcpy(&got, &out[i ? n - i : 0], sizeof got);
                        ASSERT_EQ(got, expected[i - i0]) << name << ": column " << i << ", w " << w;
                    }
                    EXPECT_TRUE(tail[0] == tail_expected[0] && tail[1] == tail_expected[1] &&
                                tail[2] == tail_expected[2])
                        << name << ": tail of [" << i0 << ", " << i1 << "), w " << w;
                }
            }
}

TEST(Kernels, CarriesAndPackingGiveTheColumnsDigitsAndLimbs)
{
    std::mt19937_64 rng(7);
    const std::size_t n = 600;
    // Column sums at random below 3 2^w, or all 2^w - 1 with a carry coming in (each
    // digit then carries on); ranges from 0, inside a group of eight, and long;
    // widths on both sides of 35, from which the limbs are packed on vector lanes.
    for (bool ones : {false, true})
        for (unsigned w : {30u, 35u, 41u, 48u})
            for (auto [i0, i1] : {std::pair<std::size_t, std::size_t>{0, 590}, {3, 11}, {37, 401}}) {
                const u64 mask = (u64(1) << w) - 1, carry_in = 2;
                std::vector<double> y(n);
                for (std::size_t j = 0; j < n; ++j) {
                    u64 column = ones ? mask : rng() % (3 * (mask + 1));
                    std::memcpy(&y[j], &column, sizeof column);
                }
                // The digits one column at a time, and their sum as an integer.
                std::vector<u64> digits(i1 - i0);
                u64 carry = carry_in;
                mpz_class sum;
                for (std::size_t i = i0; i < i1; ++i) {
                    u64 column;
                    std::memcpy(&column, &y[i ? n - i : 0], sizeof column);
                    digits[i - i0] = (column + carry) & mask;
                    carry = (column + carry) >> w;
                    sum += mpz_class(static_cast<unsigned long>(digits[i - i0])) << static_cast<mp_bitcnt_t>(i * w);
                }
                for (const auto& [name, k] : runnable_kernels()) {
                    if (!k->carries)
                        continue;
                    std::vector<double> out = y;
                    EXPECT_EQ(k->carries(out.data(), n, i0, i1, w, carry_in), carry) << name << ", w " << w;
                    for (std::size_t i = i0; i < i1; ++i) {
                        u64 got;
                        std::memcpy(&got, &out[i ? n - i : 0], sizeof got);
                        ASSERT_EQ(got, digits[i - i0]) << name << ": digit " << i << ", w " << w;
                    }
                    // Every limb that lies within the digits, from the first past limb 0.
                    std::size_t q0 = std::max<std::size_t>(1, (i0 * w + 63) / 64), q1 = i1 * w / 64;
                    if (q0 >= q1)
                        continue;
                    std::vector<u64> r(q1 + 8, 0x5a5a5a5a5a5a5a5a);
                    std::size_t q = k->pack(r.data(), q0, q1, out.data(), n, i1, w);
                    // It stops short of the end by less than a group and its sixteen digits.
                    EXPECT_TRUE(w < 35 ? q == q0 : q >= q0 && q <= q1 && q + 24 >= q1)
                        << name << ": stopped at " << q << " of [" << q0 << ", " << q1 << ")";
                    for (std::size_t l = q0; l < q; ++l)
                        ASSERT_EQ(r[l], mpz_getlimbn(sum.get_mpz_t(), static_cast<mp_size_t>(l)))
                            << name << ": limb " << l << ", w " << w;
                    EXPECT_TRUE(r[q] == 0x5a5a5a5a5a5a5a5a && r[q0 - 1] == 0x5a5a5a5a5a5a5a5a)
                        << name << ": limbs written outside [" << q0 << ", " << q << ")";
                }
            }
}

} // namespace
