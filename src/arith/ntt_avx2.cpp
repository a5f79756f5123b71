// The transforms on four lanes of AVX2 with fused multiply-adds.
#include <immintrin.h>

#define NTT_ISA ntt_avx2
#include "arith/ntt_kernels.h"

namespace {

struct avx2_lanes {
    using V = __m256d;
    static constexpr std::size_t W = 4;

    struct prime {
        V p, inv;
        explicit prime(const ntt_prime& q) : p(_mm256_set1_pd(q.p)), inv(_mm256_set1_pd(q.inverse)) {}
    };

    static V load(const double* x) { return _mm256_loadu_pd(x); }
    static void store(double* x, V v) { _mm256_storeu_pd(x, v); }
    static V set1(double v) { return _mm256_set1_pd(v); }
    static V add(V a, V b) { return _mm256_add_pd(a, b); }
    static V sub(V a, V b) { return _mm256_sub_pd(a, b); }
    static V round(V x) { return _mm256_round_pd(x, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC); }

    // x*w = h + l exactly; x*w - q*p = (h - q*p) + l, both steps exact.
    static V mulmod(V x, V w, const prime& k)
    {
        V h = _mm256_mul_pd(x, w);
        V l = _mm256_fmsub_pd(x, w, h);
        V q = round(_mm256_mul_pd(h, k.inv));
        return _mm256_add_pd(_mm256_fnmadd_pd(q, k.p, h), l);
    }
    static V reduce(V x, const prime& k) { return _mm256_fnmadd_pd(round(_mm256_mul_pd(x, k.inv)), k.p, x); }
    static V nonnegative(V x, const prime& k)
    {
        V negative = _mm256_cmp_pd(x, _mm256_setzero_pd(), _CMP_LT_OQ);
        return _mm256_add_pd(x, _mm256_and_pd(negative, k.p));
    }
    static void transpose(V* v)
    {
        V t0 = _mm256_unpacklo_pd(v[0], v[1]), t1 = _mm256_unpackhi_pd(v[0], v[1]);
        V t2 = _mm256_unpacklo_pd(v[2], v[3]), t3 = _mm256_unpackhi_pd(v[2], v[3]);
        v[0] = _mm256_permute2f128_pd(t0, t2, 0x20);
        v[1] = _mm256_permute2f128_pd(t1, t3, 0x20);
        v[2] = _mm256_permute2f128_pd(t0, t2, 0x31);
        v[3] = _mm256_permute2f128_pd(t1, t3, 0x31);
    }
};

} // namespace

const ntt_kernels ntt_kernels_avx2 = ntt_avx2::kernels_of<avx2_lanes>();
