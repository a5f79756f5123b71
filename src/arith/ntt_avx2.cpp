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

    // The first pieces of {a, an} by four, each lane's two limbs gathered; stops
    // where a limb past the top would be read, and returns how many pieces it cut.
    // A piece below 2^52 is the double with its bits under 2^52's exponent, less 2^52.
    static std::size_t split_vector(double* x, const std::uint64_t* a, std::size_t an, unsigned w, std::size_t count)
    {
        const __m256i mask = _mm256_set1_epi64x(static_cast<long long>((std::uint64_t(1) << w) - 1));
        const __m256i step = _mm256_set1_epi64x(4 * static_cast<long long>(w)), low6 = _mm256_set1_epi64x(63);
        const __m256i sixty_four = _mm256_set1_epi64x(64), exponent = _mm256_set1_epi64x(0x4330000000000000);
        const __m256d two52 = _mm256_set1_pd(4503599627370496.0);
        const long long* base = reinterpret_cast<const long long*>(a);
        __m256i bits = _mm256_set_epi64x(3 * static_cast<long long>(w), 2 * static_cast<long long>(w), w, 0);
        std::size_t i = 0;
        for (; i + 4 <= count; i += 4) {
            if (static_cast<std::uint64_t>(i + 3) * w / 64 + 1 >= an)
                break;
            __m256i at = _mm256_srli_epi64(bits, 6), shift = _mm256_and_si256(bits, low6);
            __m256i lo = _mm256_i64gather_epi64(base, at, 8), hi = _mm256_i64gather_epi64(base + 1, at, 8);
            // A shift by 64 gives 0: a piece that starts on a limb has no high part.
            __m256i v = _mm256_or_si256(_mm256_srlv_epi64(lo, shift),
                                        _mm256_sllv_epi64(hi, _mm256_sub_epi64(sixty_four, shift)));
            v = _mm256_or_si256(_mm256_and_si256(v, mask), exponent);
            _mm256_storeu_pd(x + i, _mm256_sub_pd(_mm256_castsi256_pd(v), two52));
            bits = _mm256_add_epi64(bits, step);
        }
        return i;
    }

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
