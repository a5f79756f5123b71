#include "arith/decimal.h"

#include <malloc.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

#include "arith/divide.h"
#include "arith/mul.h"
#include "common/pages.h"
#include "common/threads.h"

namespace {

// The leaf's width digits of i < 10^width at out, with leading zeros.
void write_leaf(char* out, const mpz_class& i, std::size_t width)
{
    std::string digits = i.get_str(10);
    std::size_t zeros = width - (sgn(i) ? digits.size() : 0);
    std::memset(out, '0', zeros);
    if (sgn(i))
        std::memcpy(out + zeros, digits.data(), digits.size());
}

// The decimal digits of x, exactly width of them with leading zeros, written at
// out: x < 10^width, width = leaf * 2^level, powers[j] prepared for 10^(leaf 2^j).
// The top cuts run their halves on two threads; threads is what this call has.
void write_digits(char* out, const mpz_class& x, std::size_t leaf, unsigned level, const std::vector<divisor>& powers,
                  unsigned threaded_levels, unsigned threads)
{
    if (level == 0) {
        write_leaf(out, x, leaf);
        return;
    }
    mpz_class high, low;
    divide(high, low, x, powers[level - 1], threads);
    std::size_t half = leaf << (level - 1);
    if (threaded_levels > 0)
        both([&] { write_digits(out, high, leaf, level - 1, powers, threaded_levels - 1, 1); },
             [&] { write_digits(out + half, low, leaf, level - 1, powers, threaded_levels - 1, 1); });
    else {
        write_digits(out, high, leaf, level - 1, powers, 0, threads);
        write_digits(out + half, low, leaf, level - 1, powers, 0, threads);
    }
}

// Guard bits of the fractions below: their errors grow by a bit or two a level,
// and a cut is undecided only where the digits there run into the guard.
constexpr mp_bitcnt_t fraction_guard = 128;

// The bits of a fraction that gives w digits: w log2(10), one for rounding, and
// the guard.
mp_bitcnt_t fraction_bits(std::size_t w)
{
    return static_cast<mp_bitcnt_t>(static_cast<double>(w) * 3.3219280948873626) + 1 + fraction_guard;
}

// A real y in [0, 1) known by f within e units of 2^-p: |y 2^p - f| < e. Its first
// leaf 2^level digits go to out: the low half's from frac(y 10^half), one product
// by a power of ten, the high half's from y itself. Each cut checks that the bound
// keeps y 10^k off an integer, so that its floor is known; where it does not (a
// long run of zeros or nines at the cut), failed is set and the digits are void.
void fraction_digits(char* out, mpz_class f, mp_bitcnt_t p, unsigned long e, std::size_t leaf, unsigned level,
                     const std::vector<mpz_class>& powers, unsigned threaded_levels, unsigned threads,
                     std::atomic<bool>& failed)
{
    if (failed.load(std::memory_order_relaxed))
        return;
    const mpz_class& power = powers[level > 0 ? level - 1 : 0];
    // f 10^k = i 2^p + r: floor(y 10^k) = i when e 10^k <= r and r + e 10^k < 2^p.
    // Only the leaves' i are needed: at a leaf, and the high leaf one level up.
    // Above them r alone is: the product modulo 2^L - 1, L >= p + 64, costs a
    // third less, and moves the part above L (below 10^k 2^-63) onto r's low end:
    // r then stands for r + h (mod 2^p), 0 <= h < 10^k, taken as one unit more of e.
    mpz_class r, i, bound;
    bool folded = level > 1;
    if (folded)
        multiply_cyclic(r.get_mpz_t(), f.get_mpz_t(), power.get_mpz_t(), p + 64, threads);
    else
        multiply(r, f, power, threads);
    if (level <= 1)
        mpz_tdiv_q_2exp(i.get_mpz_t(), r.get_mpz_t(), p);
    mpz_tdiv_r_2exp(r.get_mpz_t(), r.get_mpz_t(), p);
    e += folded;
    mpz_mul_ui(bound.get_mpz_t(), power.get_mpz_t(), e);
    bool undecided = r < bound;
    r += bound;
    undecided = undecided || mpz_sizeinbase(r.get_mpz_t(), 2) > p;
    r -= bound;
    if (undecided) {
        failed = true;
        return;
    }
    if (level == 0) {
        write_leaf(out, i, leaf);
        return;
    }
    std::size_t half = leaf << (level - 1);
    mp_bitcnt_t q = fraction_bits(half), cut = p - q;
    // The high half's y is y itself, the low half's frac(y 10^half) = r / 2^p
    // within bound / 2^p; each cut to q bits is off by one unit more.
    mpz_tdiv_q_2exp(r.get_mpz_t(), r.get_mpz_t(), cut);
    mpz_tdiv_q_2exp(bound.get_mpz_t(), bound.get_mpz_t(), cut);
    if (!mpz_fits_ulong_p(bound.get_mpz_t()) || bound.get_ui() > (1ul << 40)) {
        failed = true;
        return;
    }
    // r + h, cut, may stand one unit above r's own bits.
    unsigned long low_e = 2 + folded + bound.get_ui(), high_e = 2 + (cut < 64 ? e >> cut : 0);
    bound = 0;
    if (level > 1)
        mpz_tdiv_q_2exp(f.get_mpz_t(), f.get_mpz_t(), cut);
    else
        f = 0;
    // With one level left, the high leaf's digits are i = floor(y 10^leaf).
    auto high_half = [&](unsigned t, unsigned th) {
        if (level == 1)
            write_leaf(out, i, leaf);
        else
            fraction_digits(out, std::move(f), q, high_e, leaf, level - 1, powers, t, th, failed);
    };
    auto low_half = [&](unsigned t, unsigned th) {
        fraction_digits(out + half, std::move(r), q, low_e, leaf, level - 1, powers, t, th, failed);
    };
    if (threaded_levels > 0) {
        both([&] { high_half(threaded_levels - 1, 1); }, [&] { low_half(threaded_levels - 1, 1); });
    } else {
        high_half(0, threads);
        low_half(0, threads);
    }
}

// The digits of x (0 <= x < 10^width, width = leaf 2^levels, levels >= 1) by
// products alone below the first cut (a scaled remainder tree). The first cut
// divides x by 10^half exactly; each half h then becomes the fraction y = (h +
// 1/2) / 10^half, whose digits do not end at half digits (the half unit keeps the
// last cut off an integer), by one product with the same reciprocal. Returns false
// where a cut is undecided (a long run of zeros or nines there); the digits at out
// are then void.
bool digits_by_fraction(char* out, const mpz_class& x, std::size_t leaf, unsigned levels,
                        const std::vector<mpz_class>& powers)
{
    std::size_t half = leaf << (levels - 1);
    mp_bitcnt_t p = fraction_bits(half);
    // 10^half has fewer than p bits: the fractions' quotients need no remainder.
    divisor top = prepare_divisor(powers[levels - 1], p, 2);
    mpz_class halves[2];
    divide(halves[0], halves[1], x, top, 2);
    // f within 2 of y 2^p = (2h + 1) 2^(p - 1) / 10^half.
    mpz_class fractions[2];
    for (int i = 0; i < 2; ++i) {
        halves[i] = 2 * halves[i] + 1;
        fractions[i] = scaled_quotient(halves[i], p - 1, top, 2);
        halves[i] = 0;
    }
    top = divisor();
    std::atomic<bool> failed{false};
    both([&] { fraction_digits(out, std::move(fractions[0]), p, 2, leaf, levels - 1, powers, 1, 1, failed); },
         [&] { fraction_digits(out + half, std::move(fractions[1]), p, 2, leaf, levels - 1, powers, 1, 1, failed); });
    return !failed;
}

} // namespace

std::string decimal_string(const mpz_class& x, size_t split_digits)
{
    // The digit count of x or one more.
    size_t bound = mpz_sizeinbase(x.get_mpz_t(), 10);
    if (bound < split_digits || bound < 64)
        return x.get_str(10);
    // Cut in 2^levels pieces of leaf digits, each of at most split_digits / 2
    // digits (at least 32), converted by GMP.
    std::size_t most = split_digits / 2 > 32 ? split_digits / 2 : 32;
    unsigned levels = 0;
    while ((most << levels) < bound)
        ++levels;
    std::size_t leaf = (bound + (std::size_t(1) << levels) - 1) >> levels;
    // The width leaf 2^levels pads x with up to 2^levels - 1 zeros on top. A cut
    // among them meets a run of zeros that no fraction decides, and the whole
    // conversion would go by exact divisions: the zeros stay within the top leaf.
    while (levels > 1 && (leaf << levels) - bound >= leaf) {
        --levels;
        leaf = (bound + (std::size_t(1) << levels) - 1) >> levels;
    }
    // 10^(leaf 2^j) for j < levels, by squares, each on both cores, which the
    // conversion's top cut also has.
    std::vector<mpz_class> powers(levels);
    mpz_ui_pow_ui(powers[0].get_mpz_t(), 10, leaf);
    for (unsigned j = 1; j < levels; ++j)
        multiply(powers[j], powers[j - 1], powers[j - 1], 2);

    std::size_t sign = sgn(x) < 0 ? 1 : 0, width = leaf << levels;
    // The digits' pages are faulted in only as the leaves write them, not while
    // the top cuts' products are made; asked for large pages before any write.
    std::unique_ptr<char[]> digits(new char[width]);
    advise_huge_pages(digits.get(), width);
    // A copy only for a negative x.
    mpz_class negated;
    if (sign)
        negated = -x;
    const mpz_class& magnitude = sign ? negated : x;
    if (!digits_by_fraction(digits.get(), magnitude, leaf, levels, powers)) {
        // Exact divisions decide where the fractions could not.
        std::vector<divisor> prepared;
        for (mpz_class& power : powers) {
            prepared.push_back(prepare_divisor(power, mpz_sizeinbase(power.get_mpz_t(), 2), 2));
            power = 0;
        }
        // Their Newton steps left free pages in the heap, beside the top cuts' products.
        malloc_trim(0);
        write_digits(digits.get(), magnitude, leaf, levels, prepared, 2, 2);
    }
    powers.clear();
    // Past the sign, the zeros that lead the padded width.
    std::size_t first = 0;
    while (first + 1 < width && digits[first] == '0')
        ++first;
    std::string s;
    s.reserve(sign + width - first);
    advise_huge_pages(s.data(), sign + width - first);
    if (sign)
        s.push_back('-');
    s.append(digits.get() + first, width - first);
    return s;
}
