// The product engine against GMP's mpn_mul on random operands of equal size,
// alternating, median of several runs, every product checked; prints a markdown
// table (one thread, then both threads of the engine).
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
        // Repeated to at least ~30 ms a measurement, 5 measurements (3 from 10^6 limbs).
        int reps = static_cast<int>(std::max(1L, 3000000L / n)), runs = n >= 1000000 ? 3 : 5;
        for (ntt_path path : {ntt_path::avx512, ntt_path::avx2, ntt_path::generic}) {
            if (!ntt_path_supported(path) || (path == ntt_path::generic && n > 100000))
                continue;
            std::vector<double> gmp, one, two;
            for (int k = 0; k < runs; ++k) {
                gmp.push_back(seconds_of([&] {
                    for (int i = 0; i < reps; ++i)
                        mpn_mul(r.data(), a.data(), n, b.data(), n);
                }) / reps);
                for (unsigned threads : {1u, 2u}) {
                    (threads == 1 ? one : two).push_back(seconds_of([&] {
                        for (int i = 0; i < reps; ++i)
                            ntt_mul(s.data(), a.data(), n, b.data(), n, path, threads);
                    }) / reps);
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
