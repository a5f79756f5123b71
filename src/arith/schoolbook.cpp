#include "arith/schoolbook.h"

#include <immintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace {

using u64 = std::uint64_t;
using u128 = unsigned __int128;

constexpr u64 digit_mask = (u64(1) << 52) - 1;

// Each sweep makes this many columns of the product, in two vectors.
constexpr std::size_t sweep = 16;

// {p, n} as 52-bit digits into d; returns their count.
std::size_t to_digits(u64* d, const mp_limb_t* p, std::size_t n)
{
    std::size_t count = (n * 64 + 51) / 52;
    u128 pending = 0;
    int bits = 0;
    for (std::size_t k = 0, at = 0; k < count; ++k) {
        if (bits < 52 && at < n) {
            pending |= u128(p[at++]) << bits;
            bits += 64;
        }
        d[k] = static_cast<u64>(pending) & digit_mask;
        pending >>= 52;
        bits -= 52;
    }
    return count;
}

// The columns [c, c + 16) of a * b, sum of the low halves of a[i] b[j] at
// i + j and of the high halves at i + j + 1, as two vectors; high_in is the
// previous sweep's second vector of high halves, replaced by this sweep's.
// shifted[s] holds b moved up by s + 16 digits, so that every load is aligned.
inline void sweep_columns(u64* out, std::size_t c, const u64* a, std::size_t na, const u64* const shifted[8],
                          std::size_t nb, __m512i& high_in)
{
    const __m512i zero = _mm512_setzero_si512();
    // Two sets of sums, for even and odd rows, so that the multiply-adds of
    // one row do not wait on the previous one.
    __m512i lo0 = zero, lo1 = zero, hi0 = zero, hi1 = zero;
    __m512i lo2 = zero, lo3 = zero, hi2 = zero, hi3 = zero;
    std::size_t i = c + 1 > nb ? c + 1 - nb : 0, end = std::min(na, c + sweep);
    // Row i's window starts at b[c - i]; c + 16 > i, so the offset is never negative.
    auto window = [&](std::size_t row) { return shifted[row & 7] + (c + sweep + (row & 7) - row); };
    for (; i + 1 < end; i += 2) {
        const __m512i x = _mm512_set1_epi64(static_cast<long long>(a[i]));
        const __m512i y = _mm512_set1_epi64(static_cast<long long>(a[i + 1]));
        const u64* u = window(i);
        const u64* v = window(i + 1);
        const __m512i u0 = _mm512_load_si512(u), u1 = _mm512_load_si512(u + 8);
        const __m512i v0 = _mm512_load_si512(v), v1 = _mm512_load_si512(v + 8);
        lo0 = _mm512_madd52lo_epu64(lo0, x, u0);
        hi0 = _mm512_madd52hi_epu64(hi0, x, u0);
        lo1 = _mm512_madd52lo_epu64(lo1, x, u1);
        hi1 = _mm512_madd52hi_epu64(hi1, x, u1);
        lo2 = _mm512_madd52lo_epu64(lo2, y, v0);
        hi2 = _mm512_madd52hi_epu64(hi2, y, v0);
        lo3 = _mm512_madd52lo_epu64(lo3, y, v1);
        hi3 = _mm512_madd52hi_epu64(hi3, y, v1);
    }
    if (i < end) {
        const __m512i x = _mm512_set1_epi64(static_cast<long long>(a[i]));
        const u64* u = window(i);
        const __m512i u0 = _mm512_load_si512(u), u1 = _mm512_load_si512(u + 8);
        lo0 = _mm512_madd52lo_epu64(lo0, x, u0);
        hi0 = _mm512_madd52hi_epu64(hi0, x, u0);
        lo1 = _mm512_madd52lo_epu64(lo1, x, u1);
        hi1 = _mm512_madd52hi_epu64(hi1, x, u1);
    }
    const __m512i h0 = _mm512_add_epi64(hi0, hi2), h1 = _mm512_add_epi64(hi1, hi3);
    // Column t takes the high halves of column t - 1.
    _mm512_storeu_si512(out + c, _mm512_add_epi64(_mm512_add_epi64(lo0, lo2), _mm512_alignr_epi64(h0, high_in, 7)));
    _mm512_storeu_si512(out + c + 8, _mm512_add_epi64(_mm512_add_epi64(lo1, lo3), _mm512_alignr_epi64(h1, h0, 7)));
    high_in = h1;
}

struct aligned_free {
    void operator()(u64* p) const { std::free(p); }
};

} // namespace

void schoolbook_mul(mp_limb_t* rp, const mp_limb_t* ap, std::size_t an, const mp_limb_t* bp, std::size_t bn)
{
    std::size_t na = (an * 64 + 51) / 52, nb = (bn * 64 + 51) / 52;
    std::size_t columns = (na + nb + sweep - 1) / sweep * sweep;
    // Each shifted copy: 16 zeros, up to 7 more, b, and zeros past the last
    // window; a multiple of 8 digits, so that all copies stay aligned.
    std::size_t stride = (2 * sweep + 8 + nb + 7) / 8 * 8;
    std::size_t a_room = (na + 7) / 8 * 8;
    std::size_t total = a_room + 8 * stride + columns;
    std::unique_ptr<u64, aligned_free> room(static_cast<u64*>(std::aligned_alloc(64, total * sizeof(u64))));
    if (!room)
        throw std::bad_alloc();
    u64* a = room.get();
    u64* copies = a + a_room;
    u64* out = copies + 8 * stride;
    to_digits(a, ap, an);
    const u64* shifted[8];
    to_digits(copies + sweep, bp, bn);
    std::memset(copies, 0, sweep * sizeof(u64));
    std::memset(copies + sweep + nb, 0, (stride - sweep - nb) * sizeof(u64));
    shifted[0] = copies;
    for (std::size_t s = 1; s < 8; ++s) {
        u64* copy = copies + s * stride;
        std::memset(copy, 0, (sweep + s) * sizeof(u64));
        std::memcpy(copy + sweep + s, copies + sweep, nb * sizeof(u64));
        std::memset(copy + sweep + s + nb, 0, (stride - sweep - s - nb) * sizeof(u64));
        shifted[s] = copy;
    }
    __m512i high = _mm512_setzero_si512();
    for (std::size_t c = 0; c < columns; c += sweep)
        sweep_columns(out, c, a, na, shifted, nb, high);
    // Carries, and the digits packed into limbs. A column is below
    // 2 min(na, nb) 2^52 < 2^64 - 2^13, so the carry never overflows it.
    u64 carry = 0;
    u128 pending = 0;
    int bits = 0;
    std::size_t limbs = an + bn, at = 0;
    for (std::size_t t = 0; t < na + nb && at < limbs; ++t) {
        u64 v = out[t] + carry;
        carry = v >> 52;
        pending |= u128(v & digit_mask) << bits;
        bits += 52;
        if (bits >= 64) {
            rp[at++] = static_cast<mp_limb_t>(pending);
            pending >>= 64;
            bits -= 64;
        }
    }
    if (at < limbs)
        rp[at++] = static_cast<mp_limb_t>(pending);
}
