// The product engine against GMP's mpn_mul on random operands of equal size,
// alternating, median of several runs, each after one untimed call of the same
// function, every product checked; prints a markdown table (one thread, then both
// threads of the engine).
//
//   ntt_speed [limbs ...]     default: 10^3 to 10^7 limbs, in steps of about 3
#include <gmp.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "arith/ntt.h"
#include "timing.h"

int main(int argc, char** argv)
{
    std::vector<long> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atol(argv[i]));
    if (sizes.empty())
        sizes = {1000, 3000, 10000, 30000, 100000, 300000, 1000000, 3000000, 10000000};
    const char* names[] = {"generic", "avx2", "avx512"};
    std::printf("| limbs | path | GMP mpn_mul | engine, 1 thread | ratio | engine, 2 threads | ratio |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    for (long n : sizes) {
        std::vector<mp_limb_t> a(n), b(n), r(2 * n), s(2 * n);
        mpn_random(a.data(), n);
        mpn_random(b.data(), n);
        // Repeated to at least ~30 ms a measurement, 5 measurements.
        int reps = static_cast<int>(std::max(1L, 3000000L / n)), runs = 5;
        // This machine's host takes back memory soon after the guest frees it, and
        // touching it again later cost up to 2 s of system time a GB: a product
        // timed after another function's long one found its scratch so (a 10^7-limb
        // product 2.9 s instead of 0.9 s). Within a run of products, as in the
        // program, each finds the pages the one before gave back: so here, each
        // measurement follows one call of the same function.
        auto measure = [&](auto&& product) {
            product();
            return seconds_of([&] {
                for (int i = 0; i < reps; ++i)
                    product();
            }) / reps;
        };
        for (ntt_path path : {ntt_path::avx512, ntt_path::avx2, ntt_path::generic}) {
            if (!ntt_path_supported(path) || (path == ntt_path::generic && n > 100000))
                continue;
            std::vector<double> gmp, one, two;
            for (int k = 0; k < runs; ++k) {
                gmp.push_back(measure([&] { mpn_mul(r.data(), a.data(), n, b.data(), n); }));
                for (unsigned threads : {1u, 2u}) {
                    (threads == 1 ? one : two).push_back(
                        measure([&] { ntt_mul(s.data(), a.data(), n, b.data(), n, path, threads); }));
                    if (!std::equal(r.begin(), r.end(), s.begin())) {
                        std::printf("WRONG product at %ld limbs on %s\n", n, names[static_cast<int>(path)]);
                        return 1;
                    }
                }
            }
            double g = median(gmp), o = median(one), t = median(two);
            std::printf("| %ld | %s | %.3f ms | %.3f ms | %.2f | %.3f ms | %.2f |\n", n, names[static_cast<int>(path)],
                        g * 1e3, o * 1e3, g / o, t * 1e3, g / t);
            std::fflush(stdout);
        }
    }
}
