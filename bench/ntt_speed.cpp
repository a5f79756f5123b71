// Times ntt_mul against GMP's mpn_mul on random operands, alternating, and
// checks every product: bench/ntt_speed [limbs...]
#include <gmp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "arith/ntt.h"

namespace {

double seconds_of(auto&& work)
{
    auto t0 = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<long> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atol(argv[i]));
    if (sizes.empty())
        sizes = {1000, 3000, 10000, 30000, 100000, 300000, 1000000};
    gmp_randstate_t rng;
    gmp_randinit_default(rng);
    const char* names[] = {"generic", "avx2", "avx512"};
    for (long n : sizes) {
        std::vector<mp_limb_t> a(n), b(n), r(2 * n), s(2 * n);
        mpn_random(a.data(), n);
        mpn_random(b.data(), n);
        int reps = std::max(1L, 3000000L / n);
        for (ntt_path path : {ntt_path::avx512, ntt_path::avx2, ntt_path::generic}) {
            if (!ntt_path_supported(path))
                continue;
            for (unsigned threads : {1u, 2u}) {
                std::vector<double> ours, gmps;
                for (int k = 0; k < 5; ++k) {
                    gmps.push_back(seconds_of([&] {
                        for (int i = 0; i < reps; ++i)
                            mpn_mul(r.data(), a.data(), n, b.data(), n);
                    }));
                    ours.push_back(seconds_of([&] {
                        for (int i = 0; i < reps; ++i)
                            ntt_mul(s.data(), a.data(), n, b.data(), n, path, threads);
                    }));
                }
                std::sort(ours.begin(), ours.end());
                std::sort(gmps.begin(), gmps.end());
                bool same = std::equal(r.begin(), r.end(), s.begin());
                std::printf("%8ld limbs %-7s %u thr: gmp %9.3f ms  ntt %9.3f ms  ratio %5.2f %s\n", n,
                            names[static_cast<int>(path)], threads, gmps[2] / reps * 1e3, ours[2] / reps * 1e3,
                            gmps[2] / ours[2], same ? "" : "WRONG");
                if (path == ntt_path::generic)
                    break;
            }
        }
    }
}
