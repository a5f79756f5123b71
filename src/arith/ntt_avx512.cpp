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
    // The first pieces of {a, an} by eight: eight pieces of w <= 48 bits span at
    // most seven limbs, all in the eight loaded from the first one's limb; stops
    // where those would pass the top, and returns how many pieces it cut.
    static std::size_t split_vector(double* x, const std::uint64_t* a, std::size_t an, unsigned w, std::size_t count)
    {
        const __m512i mask = _mm512_set1_epi64(static_cast<long long>((std::uint64_t(1) << w) - 1));
        const __m512i step = _mm512_set1_epi64(8 * static_cast<long long>(w)), low6 = _mm512_set1_epi64(63);
        const __m512i one = _mm512_set1_epi64(1), sixty_four = _mm512_set1_epi64(64);
        __m512i bits = _mm512_mullo_epi64(_mm512_set_epi64(7, 6, 5, 4, 3, 2, 1, 0), _mm512_set1_epi64(w));
        std::size_t i = 0;
        for (; i + 8 <= count; i += 8) {
            std::size_t first = static_cast<std::size_t>(static_cast<std::uint64_t>(i) * w / 64);
            if (first + 8 > an)
                break;
            __m512i limbs = _mm512_loadu_si512(a + first);
            __m512i at = _mm512_sub_epi64(_mm512_srli_epi64(bits, 6), _mm512_set1_epi64(static_cast<long long>(first)));
            __m512i shift = _mm512_and_si512(bits, low6);
            __m512i lo = _mm512_permutexvar_epi64(at, limbs);
            __m512i hi = _mm512_permutexvar_epi64(_mm512_add_epi64(at, one), limbs);
            // A shift by 64 gives 0: a piece that starts on a limb has no high part.
            __m512i v = _mm512_or_si512(_mm512_srlv_epi64(lo, shift),
                                        _mm512_sllv_epi64(hi, _mm512_sub_epi64(sixty_four, shift)));
            _mm512_storeu_pd(x + i, _mm512_cvtepu64_pd(_mm512_and_si512(v, mask)));
            bits = _mm512_add_epi64(bits, step);
        }
        return i;
    }

    // The column sums of coefficients [i, i1) by eight, from i >= 1 (see
    // columns_scalar): c = r1 + p1 v in two words, the low one exact from the
    // integer product, the high one rounded from the double product less the low
    // one (off by less than 2^47 of 2^64); the parts of the two coefficients before
    // come in by shifting lanes. Returns where it stopped.
    static std::size_t columns_vector(const double* x, double* y, std::size_t n, std::size_t i, std::size_t i1,
                                      unsigned w, std::uint64_t p1, ntt_avx512::column_parts& parts)
    {
        const __m512i reverse = _mm512_set_epi64(0, 1, 2, 3, 4, 5, 6, 7);
        const __m512i mask = _mm512_set1_epi64(static_cast<long long>((std::uint64_t(1) << w) - 1));
        const __m512i p1i = _mm512_set1_epi64(static_cast<long long>(p1));
        const __m512d p1d = _mm512_set1_pd(static_cast<double>(p1)), two_m64 = _mm512_set1_pd(0x1p-64);
        const __m128i by_w = _mm_cvtsi64_si128(w), by_64_w = _mm_cvtsi64_si128(64 - w);
        const __m128i by_2w = _mm_cvtsi64_si128(2 * w), by_2w_64 = _mm_cvtsi64_si128(2 * w - 64);
        const __m128i by_64_2w = _mm_cvtsi64_si128(64 - 2 * static_cast<int>(w));
        // Lane 7 of d1 and lanes 6 and 7 of d2 are the parts of the two coefficients before.
        __m512i d1_before = _mm512_set1_epi64(static_cast<long long>(parts.mid));
        __m512i d2_before = _mm512_set_epi64(static_cast<long long>(parts.top_next), static_cast<long long>(parts.top),
                                             0, 0, 0, 0, 0, 0);
        for (; i + 8 <= i1; i += 8) {
            // Lane j holds coefficient i + j, at index n - i - j.
            std::size_t at = n - i - 7;
            __m512d r1 = _mm512_permutexvar_pd(reverse, _mm512_loadu_pd(x + at));
            __m512d v = _mm512_permutexvar_pd(reverse, _mm512_loadu_pd(y + at));
            __m512i lo = _mm512_mullo_epi64(_mm512_cvttpd_epu64(v), p1i);
            __m512d above = _mm512_mul_pd(_mm512_sub_pd(_mm512_mul_pd(v, p1d), _mm512_cvtepu64_pd(lo)), two_m64);
            __m512i hi = _mm512_cvt_roundpd_epu64(above, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
            __m512i c0 = _mm512_add_epi64(lo, _mm512_cvttpd_epu64(r1));
            hi = _mm512_mask_add_epi64(hi, _mm512_cmplt_epu64_mask(c0, lo), hi, _mm512_set1_epi64(1));
            __m512i d1 = _mm512_and_si512(_mm512_or_si512(_mm512_srl_epi64(c0, by_w), _mm512_sll_epi64(hi, by_64_w)), mask);
            __m512i d2 = 2 * w >= 64 ? _mm512_srl_epi64(hi, by_2w_64)
                                     : _mm512_or_si512(_mm512_srl_epi64(c0, by_2w), _mm512_sll_epi64(hi, by_64_2w));
            __m512i column = _mm512_add_epi64(_mm512_and_si512(c0, mask),
                                              _mm512_add_epi64(_mm512_alignr_epi64(d1, d1_before, 7),
                                                               _mm512_alignr_epi64(d2, d2_before, 6)));
            _mm512_storeu_pd(y + at, _mm512_permutexvar_pd(reverse, _mm512_castsi512_pd(column)));
            d1_before = d1;
            d2_before = d2;
        }
        alignas(64) std::uint64_t d1s[8], d2s[8];
        _mm512_store_si512(d1s, d1_before);
        _mm512_store_si512(d2s, d2_before);
        parts = {d1s[7], d2s[6], d2s[7]};
        return i;
    }

    // The column sums of coefficients [i, i1) become digits by eights, from i >= 1
    // (see carries_scalar): a sum is below 3 2^w, and its high part goes into the
    // next lane's digit at once; a group where a digit then reaches 2^w is carried
    // one column at a time. Returns where it stopped.
    static std::size_t carries_vector(double* y, std::size_t n, std::size_t i, std::size_t i1, unsigned w,
                                      std::uint64_t& carry)
    {
        const __m512i reverse = _mm512_set_epi64(0, 1, 2, 3, 4, 5, 6, 7);
        const __m512i mask = _mm512_set1_epi64(static_cast<long long>((std::uint64_t(1) << w) - 1));
        const __m128i by_w = _mm_cvtsi64_si128(w);
        // Lane 7: the carry into the next group.
        __m512i before = _mm512_set1_epi64(static_cast<long long>(carry));
        auto lane7 = [](__m512i v) {
            return static_cast<std::uint64_t>(_mm_extract_epi64(_mm512_extracti64x2_epi64(v, 3), 1));
        };
        for (; i + 8 <= i1; i += 8) {
            double* at = y + (n - i - 7);
            __m512i column = _mm512_permutexvar_epi64(reverse, _mm512_castpd_si512(_mm512_loadu_pd(at)));
            __m512i high = _mm512_srl_epi64(column, by_w);
            __m512i digit = _mm512_add_epi64(_mm512_and_si512(column, mask), _mm512_alignr_epi64(high, before, 7));
            if (_mm512_cmpgt_epu64_mask(digit, mask)) {
                std::uint64_t out = ntt_avx512::carries_scalar(y, n, i, i + 8, w, lane7(before));
                before = _mm512_set1_epi64(static_cast<long long>(out));
                continue;
            }
            _mm512_storeu_pd(at, _mm512_castsi512_pd(_mm512_permutexvar_epi64(reverse, digit)));
            before = high;
        }
        carry = lane7(before);
        return i;
    }

    // Limbs from q by eights (see ntt_kernels::pack): for w >= 35 the bits of
    // eight limbs lie in the sixteen digits from the one that holds the first
    // limb's first bit, and each limb in three of them, taken by permutes. Stops
    // where those sixteen would pass the digits (the other thread may be writing
    // what follows them).
    static std::size_t pack_vector(std::uint64_t* r, std::size_t q, std::size_t q1, const double* y, std::size_t n,
                                   std::size_t end, unsigned w)
    {
        if (w < 35)
            return q;
        const __m512i reverse = _mm512_set_epi64(0, 1, 2, 3, 4, 5, 6, 7);
        const __m512i offsets = _mm512_set_epi64(448, 384, 320, 256, 192, 128, 64, 0);
        const __m512i one = _mm512_set1_epi64(1), two = _mm512_set1_epi64(2);
        const __m512i wv = _mm512_set1_epi64(w), w2 = _mm512_set1_epi64(2 * w);
        const __m512d half = _mm512_set1_pd(0.5), inverse_w = _mm512_set1_pd(1.0 / w);
        // Digit j holds limb q's first bit, s bits into it.
        std::uint64_t bit = 64 * static_cast<std::uint64_t>(q);
        std::size_t j = static_cast<std::size_t>(bit / w);
        std::uint64_t s = bit % w;
        const std::size_t step_j = 512 / w;
        const std::uint64_t step_s = 512 % w;
        for (; q + 8 <= q1 && j + 16 <= end; q += 8) {
            const double* at = y + (n - j);
            __m512i lo = _mm512_permutexvar_epi64(reverse, _mm512_castpd_si512(_mm512_loadu_pd(at - 7)));
            __m512i hi = _mm512_permutexvar_epi64(reverse, _mm512_castpd_si512(_mm512_loadu_pd(at - 15)));
            // Each limb's first bit from digit j's: its digit (the floor of a quotient
            // of small integers, the half keeping it off a whole number) and shift.
            __m512i v = _mm512_add_epi64(_mm512_set1_epi64(static_cast<long long>(s)), offsets);
            __m512i index = _mm512_cvttpd_epu64(_mm512_mul_pd(_mm512_add_pd(_mm512_cvtepu64_pd(v), half), inverse_w));
            __m512i shift = _mm512_sub_epi64(v, _mm512_mullo_epi64(index, wv));
            __m512i d0 = _mm512_permutex2var_epi64(lo, index, hi);
            __m512i d1 = _mm512_permutex2var_epi64(lo, _mm512_add_epi64(index, one), hi);
            __m512i d2 = _mm512_permutex2var_epi64(lo, _mm512_add_epi64(index, two), hi);
            // A shift of 64 or more gives 0: the third digit may lie past the limb.
            __m512i limb = _mm512_or_si512(_mm512_srlv_epi64(d0, shift),
                                           _mm512_or_si512(_mm512_sllv_epi64(d1, _mm512_sub_epi64(wv, shift)),
                                                           _mm512_sllv_epi64(d2, _mm512_sub_epi64(w2, shift))));
            _mm512_storeu_si512(r + q, limb);
            s += step_s;
            j += step_j;
            if (s >= w) {
                s -= w;
                ++j;
            }
        }
        return q;
    }

    static void transpose(V* v)
    {
        // Pairs within 128-bit lanes, then 128-bit lanes, then 256-bit halves.
        V t[8], u[8];
#pragma GCC unroll 8
        for (int i = 0; i < 8; i += 2) {
            t[i] = _mm512_unpacklo_pd(v[i], v[i + 1]);
            t[i + 1] = _mm512_unpackhi_pd(v[i], v[i + 1]);
        }
        const __m512i lo = _mm512_set_epi64(13, 12, 5, 4, 9, 8, 1, 0);
        const __m512i hi = _mm512_set_epi64(15, 14, 7, 6, 11, 10, 3, 2);
#pragma GCC unroll 8
        for (int i = 0; i < 8; i += 4) {
            u[i] = _mm512_permutex2var_pd(t[i], lo, t[i + 2]);
            u[i + 2] = _mm512_permutex2var_pd(t[i], hi, t[i + 2]);
            u[i + 1] = _mm512_permutex2var_pd(t[i + 1], lo, t[i + 3]);
            u[i + 3] = _mm512_permutex2var_pd(t[i + 1], hi, t[i + 3]);
        }
#pragma GCC unroll 8
        for (int i = 0; i < 4; ++i) {
            v[i] = _mm512_shuffle_f64x2(u[i], u[i + 4], 0x44);
            v[i + 4] = _mm512_shuffle_f64x2(u[i], u[i + 4], 0xee);
        }
    }
};

} // namespace

const ntt_kernels ntt_kernels_avx512 = ntt_avx512::kernels_of<avx512_lanes>();
