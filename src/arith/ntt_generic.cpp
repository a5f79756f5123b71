// The transforms in plain 64-bit integer arithmetic, one residue at a time: the
// path of processors without the vector instructions. It computes exactly what
// the vector paths compute, with the same quotients.
#include <cmath>

#define NTT_ISA ntt_generic
#include "arith/ntt_kernels.h"

namespace {

struct generic_lanes {
    using V = double;
    static constexpr std::size_t W = 1;

    struct prime {
        double p, inv;
        long long pi;
        explicit prime(const ntt_prime& q) : p(q.p), inv(q.inverse), pi(static_cast<long long>(q.p)) {}
    };

    static V load(const double* x) { return *x; }
    static void store(double* x, V v) { *x = v; }
    static V set1(double v) { return v; }
    static V add(V a, V b) { return a + b; }
    static V sub(V a, V b) { return a - b; }

    // x*w - q*p with q = round(x*w/p), the same q as the vector paths take.
    static V mulmod(V x, V w, const prime& k)
    {
        long long q = std::llrint(x * w * k.inv);
        __int128 e = static_cast<__int128>(static_cast<long long>(x)) * static_cast<long long>(w);
        return static_cast<double>(static_cast<long long>(e - static_cast<__int128>(q) * k.pi));
    }
    static V reduce(V x, const prime& k)
    {
        long long q = std::llrint(x * k.inv);
        return static_cast<double>(static_cast<long long>(x) - q * k.pi);
    }
    static V nonnegative(V x, const prime& k) { return x < 0 ? x + k.p : x; }
    static void transpose(V*) {}
};

} // namespace

const ntt_kernels ntt_kernels_generic = ntt_generic::kernels_of<generic_lanes>();
