#include "arith/schoolbook.h"

#include <immintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

namespace {

using u64 = std::uint64_t;

constexpr u64 digit_mask = (u64(1) << 52) - 1;

// Each sweep makes this many columns of the product, two vectors: each digit
// of a, once broadcast, serves both.
constexpr std::size_t sweep = 16;

// Sixteen 52-bit digits from the thirteen limbs at p, of which the first
// eight digits lie in limbs 0 to 6 and the last eight in limbs 6 to 12.
inline void sixteen_digits(u64* d, const mp_limb_t* p)
{
    const __m512i mask = _mm512_set1_epi64(static_cast<long long>(digit_mask));
    // Digit k starts at bit 52 k: in limb 52 k / 64, at bit 52 k % 64.
    const __m512i first = _mm512_setr_epi64(0, 0, 1, 2, 3, 4, 4, 5), second = _mm512_setr_epi64(0, 1, 2, 2, 3, 4, 5, 6);
    const __m512i one = _mm512_set1_epi64(1), sixty_four = _mm512_set1_epi64(64);
    const __m512i shift[2] = {_mm512_setr_epi64(0, 52, 40, 28, 16, 4, 56, 44),
                              _mm512_setr_epi64(32, 20, 8, 60, 48, 36, 24, 12)};
    const __m512i at[2] = {first, second};
    for (int h = 0; h < 2; ++h) {
        const __m512i limbs = _mm512_loadu_si512(p + 6 * h);
        const __m512i lo = _mm512_permutexvar_epi64(at[h], limbs);
        const __m512i hi = _mm512_permutexvar_epi64(_mm512_add_epi64(at[h], one), limbs);
        // A shift by 64 gives 0, as the digit that starts a limb needs.
        const __m512i digits = _mm512_or_si512(_mm512_srlv_epi64(lo, shift[h]),
                                               _mm512_sllv_epi64(hi, _mm512_sub_epi64(sixty_four, shift[h])));
        _mm512_storeu_si512(d + 8 * h, _mm512_and_si512(digits, mask));
    }
}

// The columns [c, c + 16) of a * b: the sum of the low halves of a[i] b[j] at
// i + j and of the high halves at i + j + 1. high_in holds the previous
// sweep's high halves of its last eight columns, replaced by this sweep's.
// shifted[s] holds b moved up by s + 16 digits, so that every load is aligned.
inline void sweep_columns(u64* out, std::size_t c, const u64* a, std::size_t na, const u64* const shifted[8],
                          std::size_t nb, __m512i& high_in)
{
    const __m512i zero = _mm512_setzero_si512();
    // Sums for four rows in turn and both vectors of columns: sixteen chains,
    // so that no multiply-add waits on the one before.
    __m512i lo[4][2] = {{zero, zero}, {zero, zero}, {zero, zero}, {zero, zero}},
            hi[4][2] = {{zero, zero}, {zero, zero}, {zero, zero}, {zero, zero}};
    std::size_t i = c + 1 > nb ? c + 1 - nb : 0, end = std::min(na, c + sweep);
    // Row i's windows start at b[c - i]; c + 16 > i, so the offset is never negative.
    auto window = [&](std::size_t row, int v) {
        return _mm512_load_si512(shifted[row & 7] + (c + sweep + (row & 7) - row) + 8 * v);
    };
    auto digit = [&](std::size_t row) { return _mm512_set1_epi64(static_cast<long long>(a[row])); };
    auto add_row = [&](int set, std::size_t row) {
        const __m512i x = digit(row), u0 = window(row, 0), u1 = window(row, 1);
        lo[set][0] = _mm512_madd52lo_epu64(lo[set][0], x, u0);
        hi[set][0] = _mm512_madd52hi_epu64(hi[set][0], x, u0);
        lo[set][1] = _mm512_madd52lo_epu64(lo[set][1], x, u1);
        hi[set][1] = _mm512_madd52hi_epu64(hi[set][1], x, u1);
    };
    for (; i + 3 < end; i += 4) {
        add_row(0, i);
        add_row(1, i + 1);
        add_row(2, i + 2);
        add_row(3, i + 3);
    }
    for (; i < end; ++i)
        add_row(0, i);
    auto sum = [](__m512i (&v)[4][2], int k) {
        return _mm512_add_epi64(_mm512_add_epi64(v[0][k], v[1][k]), _mm512_add_epi64(v[2][k], v[3][k]));
    };
    const __m512i lo0 = sum(lo, 0), lo1 = sum(lo, 1), hi0 = sum(hi, 0), hi1 = sum(hi, 1);
    // Column t takes the high halves of column t - 1.
    _mm512_storeu_si512(out + c, _mm512_add_epi64(lo0, _mm512_alignr_epi64(hi0, high_in, 7)));
    _mm512_storeu_si512(out + c + 8, _mm512_add_epi64(lo1, _mm512_alignr_epi64(hi1, hi0, 7)));
    high_in = hi1;
}

// Carries through the columns out[0..count), count a multiple of 16, and
// their 52-bit digits packed into limbs over the same words: each 16 digits
// make 13 limbs, written only over columns already read.
void carry_and_pack(u64* out, std::size_t count)
{
    u64 carry = 0;
    for (std::size_t g = 0; g < count / 16; ++g) {
        u64 d[17];
#pragma GCC unroll 16
        for (int k = 0; k < 16; ++k) {
            // A column is below 2 min(na, nb) 2^52 < 2^64 - 2^13: no overflow.
            u64 v = out[16 * g + k] + carry;
            carry = v >> 52;
            d[k] = v & digit_mask;
        }
        d[16] = 0;
#pragma GCC unroll 13
        for (int j = 0; j < 13; ++j) {
            const int k = 64 * j / 52, s = 64 * j % 52;
            u64 limb = d[k] >> s | d[k + 1] << (52 - s);
            if (104 - s < 64)
                limb |= d[k + 2] << (104 - s);
            out[13 * g + j] = limb;
        }
    }
}

} // namespace

void schoolbook_digits(std::uint64_t* d, const mp_limb_t* p, std::size_t n)
{
    std::size_t count = schoolbook_digit_count(n), g = 0;
    // Whole groups while the second half's eight loaded limbs are all in p.
    for (; 13 * g + 14 <= n; ++g)
        sixteen_digits(d + 16 * g, p + 13 * g);
    if (16 * g < count) {
        mp_limb_t rest[16] = {};
        std::memcpy(rest, p + 13 * g, (n - 13 * g) * sizeof(mp_limb_t));
        u64 digits[16];
        sixteen_digits(digits, rest);
        std::memcpy(d + 16 * g, digits, (count - 16 * g) * sizeof(u64));
    }
}

void schoolbook_factor::release::operator()(std::uint64_t* p) const
{
    std::free(p);
}

namespace {

// Each shifted copy: a sweep of zeros, up to 7 more, b, and zeros past the last
// window; a multiple of 8 digits, so that all copies stay aligned.
std::size_t copy_stride(std::size_t digits)
{
    return (2 * sweep + 8 + digits + 7) / 8 * 8;
}

// The eight shifted copies of {bp, bn}'s digits at copies, stride apart.
void fill_copies(u64* copies, std::size_t stride, const mp_limb_t* bp, std::size_t bn)
{
    // Zeros first, by whole vectors: memset's short runs became `rep stos`,
    // whose start cost most of a small product's time.
    const __m512i zero = _mm512_setzero_si512();
    for (std::size_t i = 0; i < 8 * stride; i += 8)
        _mm512_store_si512(copies + i, zero);
    std::size_t nb = schoolbook_digit_count(bn);
    schoolbook_digits(copies + sweep, bp, bn);
    for (std::size_t s = 1; s < 8; ++s)
        std::memcpy(copies + s * stride + sweep + s, copies + sweep, nb * sizeof(u64));
}

// The columns of a product of a's an limbs by b's nb digits, cut to rn limbs, and
// the room for a's digits before them.
struct product_room {
    std::size_t an, na, nb, a_room, columns;
    product_room(std::size_t rn, std::size_t a_limbs, std::size_t b_digits) : nb(b_digits)
    {
        // The low rn limbs take the low rn limbs of each operand, and the columns
        // up to their last digit: carries only go up.
        an = std::min(a_limbs, rn);
        na = schoolbook_digit_count(an);
        columns = (std::min(na + nb, schoolbook_digit_count(rn)) + 15) / 16 * 16;
        a_room = (na + 7) / 8 * 8;
    }
    std::size_t words() const { return a_room + columns; }
};

// schoolbook_mul_fixed with b's copies given, in room's words at work.
void multiply_copies(mp_limb_t* rp, std::size_t rn, const mp_limb_t* ap, const product_room& room, const u64* copies,
                     std::size_t stride, std::size_t b_limbs, u64* work)
{
    u64* a = work;
    u64* out = a + room.a_room;
    schoolbook_digits(a, ap, room.an);
    const u64* shifted[8];
    for (std::size_t s = 0; s < 8; ++s)
        shifted[s] = copies + s * stride;
    __m512i high = _mm512_setzero_si512();
    for (std::size_t c = 0; c < room.columns; c += sweep)
        sweep_columns(out, c, a, room.na, shifted, room.nb, high);
    carry_and_pack(out, room.columns);
    std::size_t whole = std::min(rn, room.an + b_limbs);
    std::memcpy(rp, out, whole * sizeof(mp_limb_t));
    std::fill(rp + whole, rp + rn, 0);
}

u64* aligned_words(std::size_t count)
{
    auto* p = static_cast<u64*>(std::aligned_alloc(64, count * sizeof(u64)));
    if (!p)
        throw std::bad_alloc();
    return p;
}

// Products whose copies (if made for them) and room fit in this many words take
// them on the stack: below some 50 limbs the heap's blocks cost as much as the
// product.
constexpr std::size_t stack_words = 2048;

} // namespace

schoolbook_factor schoolbook_prepare(const mp_limb_t* bp, std::size_t bn)
{
    schoolbook_factor f;
    f.limbs = bn;
    f.digits = schoolbook_digit_count(bn);
    f.stride = copy_stride(f.digits);
    f.copies.reset(aligned_words(8 * f.stride));
    fill_copies(f.copies.get(), f.stride, bp, bn);
    return f;
}

void schoolbook_mul_fixed(mp_limb_t* rp, std::size_t rn, const mp_limb_t* ap, std::size_t an,
                          const schoolbook_factor& b)
{
    product_room room(rn, an, b.digits);
    alignas(64) u64 words[stack_words];
    std::unique_ptr<u64, schoolbook_factor::release> heap(room.words() > stack_words ? aligned_words(room.words())
                                                                                      : nullptr);
    multiply_copies(rp, rn, ap, room, b.copies.get(), b.stride, b.limbs, heap ? heap.get() : words);
}

void schoolbook_mul_low(mp_limb_t* rp, std::size_t rn, const mp_limb_t* ap, std::size_t an, const mp_limb_t* bp,
                        std::size_t bn)
{
    an = std::min(an, rn);
    bn = std::min(bn, rn);
    if (an < bn) {
        std::swap(ap, bp);
        std::swap(an, bn);
    }
    product_room room(rn, an, schoolbook_digit_count(bn));
    std::size_t stride = copy_stride(room.nb);
    if (8 * stride + room.words() > stack_words) {
        schoolbook_mul_fixed(rp, rn, ap, an, schoolbook_prepare(bp, bn));
        return;
    }
    alignas(64) u64 words[stack_words];
    fill_copies(words, stride, bp, bn);
    multiply_copies(rp, rn, ap, room, words, stride, bn, words + 8 * stride);
}

void schoolbook_mul(mp_limb_t* rp, const mp_limb_t* ap, std::size_t an, const mp_limb_t* bp, std::size_t bn)
{
    schoolbook_mul_low(rp, an + bn, ap, an, bp, bn);
}
