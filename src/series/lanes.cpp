#include "series/lanes.h"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <stdexcept>

#include "arith/schoolbook.h"
#include "series/poly.h"
#include "series/shape.h"

namespace {

using u64 = std::uint64_t;
using u128 = unsigned __int128;

constexpr u64 digit_mask = (u64(1) << 52) - 1;

// Room for a coefficient in 52-bit digits (the largest, of 41 limbs, takes 51), after a
// zero digit that stands for the digit below the lowest.
constexpr int coefficient_digits = 52;
// Room for a(n) with n < 2^52: 2578 + 251 * 52 bits, and a digit of slack.
constexpr int value_digits = 304;

using digits = std::array<u64, coefficient_digits + 1>;

// The coefficients in 52-bit digits, lowest first, each after one zero digit.
const std::array<digits, block_length>& coefficients()
{
    static const auto table = [] {
        std::array<digits, block_length> t{};
        for (unsigned long i = 0; i < block_length; ++i) {
            std::size_t limbs = mpz_size(poly[i].get_mpz_t());
            if (schoolbook_digit_count(limbs) > coefficient_digits)
                throw std::logic_error("a coefficient outgrows its 52-bit digits");
            schoolbook_digits(t[i].data() + 1, mpz_limbs_read(poly[i].get_mpz_t()), limbs);
        }
        return t;
    }();
    return table;
}

// Lane l of the digits r[0..len) as a GMP integer.
void unpack(const __m512i* r, int len, int lane, mpz_class& out)
{
    std::size_t limbs = (static_cast<std::size_t>(len) * 52 + 63) / 64;
    mp_limb_t* p = mpz_limbs_write(out.get_mpz_t(), static_cast<mp_size_t>(limbs));
    std::fill(p, p + limbs, 0);
    for (int d = 0; d < len; ++d) {
        u64 v = reinterpret_cast<const u64*>(&r[d])[lane];
        std::size_t bit = static_cast<std::size_t>(d) * 52, at = bit / 64, shift = bit % 64;
        p[at] |= v << shift;
        if (shift > 12)
            p[at + 1] |= v >> (64 - shift);
    }
    mpz_limbs_finish(out.get_mpz_t(), static_cast<mp_size_t>(limbs));
}

} // namespace

// Horner's rule on chunks of j coefficients, all lanes at once:
// r <- r n^j + sum_t poly[i+t] n^(j-1-t), with n^j below 2^52 in every lane.
// Each digit of r takes a low and a high half of its product by n^j; the
// carries are passed on digit by digit within the same sweep, so r's digits
// are always below 2^52, as the products need.
void a_eight(const unsigned long n[8], mpz_class out[8])
{
    const auto& coef = coefficients();
    unsigned long largest = *std::max_element(n, n + 8);
    // The chunk: the most coefficients whose power of n stays below 2^52.
    unsigned k = 1;
    for (u128 power = largest; k < 8 && power * largest < (u128(1) << 52); power *= largest)
        ++k;

    alignas(64) __m512i r[value_digits];
    const __m512i mask = _mm512_set1_epi64(digit_mask), zero = _mm512_setzero_si512();
    int len = 0;
    for (int d = 0; d < coefficient_digits; ++d) {
        r[d] = _mm512_set1_epi64(static_cast<long long>(coef[0][d + 1]));
        if (coef[0][d + 1])
            len = d + 1;
    }
    const __m512i lanes = _mm512_loadu_si512(n);
    for (unsigned long i = 1; i < block_length;) {
        unsigned j = static_cast<unsigned>(std::min<unsigned long>(k, block_length - i));
        // power[t] = n^t, exact in 64 bits as n^j < 2^52.
        __m512i power[9];
        power[0] = _mm512_set1_epi64(1);
        for (unsigned t = 1; t <= j; ++t)
            power[t] = _mm512_mullo_epi64(power[t - 1], lanes);
        const __m512i x = power[j];
        __m512i high = zero, carry = zero;
        for (int d = 0; d <= len; ++d) {
            __m512i digit = d < len ? r[d] : zero;
            __m512i v = _mm512_madd52lo_epu64(high, digit, x);
            high = _mm512_madd52hi_epu64(zero, digit, x);
            if (d <= coefficient_digits) {
                for (unsigned t = 0; t + 1 < j; ++t) {
                    const digits& c = coef[i + t];
                    if (d < coefficient_digits)
                        v = _mm512_madd52lo_epu64(v, _mm512_set1_epi64(static_cast<long long>(c[d + 1])),
                                                  power[j - 1 - t]);
                    v = _mm512_madd52hi_epu64(v, _mm512_set1_epi64(static_cast<long long>(c[d])), power[j - 1 - t]);
                }
                if (d < coefficient_digits)
                    v = _mm512_add_epi64(v, _mm512_set1_epi64(static_cast<long long>(coef[i + j - 1][d + 1])));
            }
            // v < (2j + 1) 2^52 and carry <= 2j + 1: no overflow.
            v = _mm512_add_epi64(v, carry);
            r[d] = _mm512_and_si512(v, mask);
            carry = _mm512_srli_epi64(v, 52);
        }
        r[len + 1] = carry;
        len += 2;
        while (len > 0 && !_mm512_test_epi64_mask(r[len - 1], r[len - 1]))
            --len;
        i += j;
    }
    for (int lane = 0; lane < 8; ++lane)
        unpack(r, len, lane, out[lane]);
}
