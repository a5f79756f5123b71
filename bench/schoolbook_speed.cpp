// Below the product engine: the schoolbook on 52-bit vector multiply-adds against
// GMP's mpn_mul, and the exact divisions by blocks of its products against two
// mpz_divexact; random operands, alternating, median of several runs, every
// result checked. Prints two markdown tables.
//
//   schoolbook_speed        (on processors without AVX-512 IFMA it says so and stops)
#include <gmpxx.h>

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "arith/divide.h"
#include "arith/schoolbook.h"
#include "timing.h"

namespace {

// Medians of alternating timings of first and second, each repeated to some
// milliseconds a measurement.
std::pair<double, double> alternating(auto&& first, auto&& second, long work)
{
    int reps = static_cast<int>(std::max(1L, 30000000L / work));
    std::vector<double> a, b;
    for (int k = 0; k < 7; ++k) {
        a.push_back(seconds_of([&] {
            for (int i = 0; i < reps; ++i)
                first();
        }) / reps);
        b.push_back(seconds_of([&] {
            for (int i = 0; i < reps; ++i)
                second();
        }) / reps);
    }
    return {median(a), median(b)};
}

} // namespace

int main()
{
    if (!schoolbook_supported()) {
        std::printf("no AVX-512 IFMA on this processor: GMP makes these products\n");
        return 0;
    }
    std::printf("| limbs | GMP mpn_mul | schoolbook | ratio |\n|---|---|---|---|\n");
    const long shapes[][2] = {{16, 16}, {32, 32}, {40, 20}, {48, 48}, {64, 64},   {96, 96},
                              {128, 128}, {200, 200}, {250, 250}, {300, 300}, {400, 400}, {1000, 100}};
    for (auto [an, bn] : shapes) {
        std::vector<mp_limb_t> a(an), b(bn), r(an + bn), s(an + bn);
        mpn_random(a.data(), an);
        mpn_random(b.data(), bn);
        auto [g, o] = alternating([&] { mpn_mul(r.data(), a.data(), an, b.data(), bn); },
                                  [&] { schoolbook_mul(s.data(), a.data(), an, b.data(), bn); }, an * bn);
        if (r != s) {
            std::printf("WRONG product at %ld by %ld limbs\n", an, bn);
            return 1;
        }
        std::printf("| %ld by %ld | %.2f us | %.2f us | %.2f |\n", an, bn, g * 1e6, o * 1e6, g / o);
    }
    std::printf("\n| limbs | two mpz_divexact | divide_exact_pair | ratio |\n|---|---|---|---|\n");
    gmp_randclass rng(gmp_randinit_default);
    const long divisions[][2] = {{200, 48}, {500, 48}, {300, 64}, {400, 100}, {1000, 150}, {2000, 300}, {3000, 400}};
    for (auto [n, dn] : divisions) {
        mpz_class d = rng.get_z_bits(64 * dn) | 1, q1 = rng.get_z_bits(64 * (n - dn)), q2 = rng.get_z_bits(64 * (n - dn));
        mpz_class x = q1 * d, y = q2 * d, u, v;
        auto [g, o] = alternating(
            [&] {
                mpz_divexact(u.get_mpz_t(), x.get_mpz_t(), d.get_mpz_t());
                mpz_divexact(v.get_mpz_t(), y.get_mpz_t(), d.get_mpz_t());
            },
            [&] {
                u = x;
                v = y;
                divide_exact_pair(u, v, d);
            },
            2 * n * dn);
        if (u != q1 || v != q2) {
            std::printf("WRONG quotients at %ld by %ld limbs\n", n, dn);
            return 1;
        }
        std::printf("| %ld by %ld | %.2f us | %.2f us | %.2f |\n", n, dn, g * 1e6, o * 1e6, g / o);
    }
}
