// The transforms on eight lanes of AVX-512.
#include <immintrin.h>

#define NTT_ISA ntt_avx512
#include "arith/ntt_kernels.h"

namespace {

struct avx512_lanes {
    using V = __m512d;
    static constexpr std::size_t W = 8;

    struct prime {
        V p, inv;
        explicit prime(const ntt_prime& q) : p(_mm512_set1_pd(q.p)), inv(_mm512_set1_pd(q.inverse)) {}
    };

    static V load(const double* x) { return _mm512_loadu_pd(x); }
    static void store(double* x, V v) { _mm512_storeu_pd(x, v); }
    static V set1(double v) { return _mm512_set1_pd(v); }
    static V add(V a, V b) { return _mm512_add_pd(a, b); }
    static V sub(V a, V b) { return _mm512_sub_pd(a, b); }
    static V round(V x) { return _mm512_roundscale_pd(x, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC); }

    // x*w = h + l exactly; x*w - q*p = (h - q*p) + l, both steps exact.
    static V mulmod(V x, V w, const prime& k)
    {
        V h = _mm512_mul_pd(x, w);
        V l = _mm512_fmsub_pd(x, w, h);
        V q = round(_mm512_mul_pd(h, k.inv));
        return _mm512_add_pd(_mm512_fnmadd_pd(q, k.p, h), l);
    }
    static V reduce(V x, const prime& k) { return _mm512_fnmadd_pd(round(_mm512_mul_pd(x, k.inv)), k.p, x); }
    static V nonnegative(V x, const prime& k)
    {
        __mmask8 negative = _mm512_cmp_pd_mask(x, _mm512_setzero_pd(), _CMP_LT_OQ);
        return _mm512_mask_add_pd(x, negative, x, k.p);
    }
    static void transpose(V* v)
    {
        // Pairs within 128-bit lanes, then 128-bit lanes, then 256-bit halves.
        V t[8], u[8];
        for (int i = 0; i < 8; i += 2) {
            t[i] = _mm512_unpacklo_pd(v[i], v[i + 1]);
            t[i + 1] = _mm512_unpackhi_pd(v[i], v[i + 1]);
        }
        const __m512i lo = _mm512_set_epi64(13, 12, 5, 4, 9, 8, 1, 0);
        const __m512i hi = _mm512_set_epi64(15, 14, 7, 6, 11, 10, 3, 2);
        for (int i = 0; i < 8; i += 4) {
            u[i] = _mm512_permutex2var_pd(t[i], lo, t[i + 2]);
            u[i + 2] = _mm512_permutex2var_pd(t[i], hi, t[i + 2]);
            u[i + 1] = _mm512_permutex2var_pd(t[i + 1], lo, t[i + 3]);
            u[i + 3] = _mm512_permutex2var_pd(t[i + 1], hi, t[i + 3]);
        }
        for (int i = 0; i < 4; ++i) {
            v[i] = _mm512_shuffle_f64x2(u[i], u[i + 4], 0x44);
            v[i + 4] = _mm512_shuffle_f64x2(u[i], u[i + 4], 0xee);
        }
    }
};

} // namespace

const ntt_kernels ntt_kernels_avx512 = ntt_avx512::kernels_of<avx512_lanes>();
