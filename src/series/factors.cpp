#include "series/factors.h"

#include <algorithm>
#include <cmath>
#include <span>

#include "arith/divide.h"
#include "arith/mul.h"
#include "common/pages.h"
#include "series/shape.h"

namespace {

// The primes up to limit, by the sieve of Eratosthenes.
std::vector<uint64_t> primes_up_to(uint64_t limit)
{
    std::vector<bool> composite(limit + 1, false);
    std::vector<uint64_t> primes;
    for (uint64_t i = 2; i <= limit; ++i) {
        if (composite[i])
            continue;
        primes.push_back(i);
        for (uint64_t j = i * i; j <= limit; j += i)
            composite[j] = true;
    }
    return primes;
}

void append(factor_list& list, uint64_t prime, uint32_t exponent)
{
    if (!list.empty() && list.back().prime == prime)
        list.back().exponent += exponent;
    else
        list.push_back({prime, exponent});
}

// Exact division by an odd p without a divide: x is a multiple of p exactly when
// x * p^-1 (mod 2^64) is at most (2^64 - 1) / p, and that product is then x / p.
struct odd_divisor {
    uint64_t inverse, limit;
};

odd_divisor divisor_of(uint64_t p)
{
    uint64_t inverse = p; // right to 3 bits; each step doubles them
    for (int i = 0; i < 5; ++i)
        inverse *= 2 - p * inverse;
    return {inverse, UINT64_MAX / p};
}

// Sorts words below 2^bits by a radix sort on bytes: a block's large primes are
// sorted in a few passes, with no comparison to mispredict.
void sort_words(std::vector<uint64_t>& v, std::vector<uint64_t>& scratch, int bits)
{
    scratch.resize(v.size());
    for (int shift = 0; shift < bits; shift += 8) {
        size_t start[257] = {};
        for (uint64_t x : v)
            ++start[((x >> shift) & 255) + 1];
        for (int d = 0; d < 256; ++d)
            start[d + 1] += start[d];
        for (uint64_t x : v)
            scratch[start[(x >> shift) & 255]++] = x;
        v.swap(scratch);
    }
}

// Factors the count values first, first + step, ... into lists[k / block_length]
// (each term owns block_length consecutive values). Small primes come in increasing
// order, so each list grows sorted; what is left of a value after them is one prime
// above every small prime, and at most one value of a term has it (small primes reach 503,
// and a term's values span less than 2 * 509). Those up to largest are sorted in; those
// above it, which no merge will look for, go last as they come.
void sieve_values(uint64_t first, uint64_t step, size_t count, std::span<const uint64_t> small, uint64_t largest,
                  std::vector<factor_list>& lists)
{
    std::vector<uint64_t> rest(count);
    for (size_t k = 0; k < count; ++k)
        rest[k] = first + step * k;
    for (uint64_t p : small) {
        if (step == p)
            continue;
        // The first k with first + step*k divisible by p (step is 1 or 2): p - r
        // for step 1; for step 2 half of p - r or of 2p - r, whichever is even.
        // One division a prime: most primes hit one value or none.
        uint64_t r = first % p, k0 = r ? p - r : 0;
        if (step == 2)
            k0 = k0 % 2 ? (k0 + p) / 2 : k0 / 2;
        if (p == 2) {
            for (size_t k = k0; k < count; k += 2) {
                int e = __builtin_ctzll(rest[k]);
                rest[k] >>= e;
                append(lists[k / block_length], 2, static_cast<uint32_t>(e));
            }
            continue;
        }
        odd_divisor d = divisor_of(p);
        for (size_t k = k0; k < count; k += p) {
            uint64_t x = rest[k] * d.inverse;
            uint32_t e = 1;
            while (x * d.inverse <= d.limit) {
                x *= d.inverse;
                ++e;
            }
            rest[k] = x;
            append(lists[k / block_length], p, e);
        }
    }
    // The large primes up to largest, keyed by term and prime, sorted all at once
    // (a sort for each term paid its buckets for a hundred-odd values); those
    // above largest go last in each term's list, in the values' order.
    uint64_t top = count ? std::min(first + step * (count - 1), largest) : 0;
    int bits = top ? 64 - __builtin_clzll(top) : 0;
    size_t terms = (count + block_length - 1) / block_length;
    int term_bits = terms > 1 ? 64 - __builtin_clzll(terms - 1) : 0;
    std::vector<uint64_t> keys(count), scratch, above(block_length);
    size_t kept = 0;
    for (size_t k = 0; k < count; ++k) {
        uint64_t v = rest[k];
        keys[kept] = (static_cast<uint64_t>(k / block_length) << bits) | v;
        kept += static_cast<size_t>(v > 1) & static_cast<size_t>(v <= largest);
    }
    keys.resize(kept);
    sort_words(keys, scratch, bits + term_bits);
    const uint64_t mask = (uint64_t(1) << bits) - 1;
    for (uint64_t key : keys)
        lists[key >> bits].push_back({key & mask, 1});
    for (size_t t = 0; t < terms; ++t) {
        size_t n = 0;
        for (size_t k = t * block_length; k < (t + 1) * block_length && k < count; ++k) {
            above[n] = rest[k];
            n += rest[k] > largest;
        }
        for (size_t i = 0; i < n; ++i)
            lists[t].push_back({above[i], 1});
    }
}

// The largest prime that can be a value's smaller factor for the terms below hi:
// the square root of their largest integer, and every prime up to 503 whatever it is.
uint64_t sieve_limit(unsigned long hi)
{
    uint64_t top = 2 * block_length * static_cast<uint64_t>(hi) + first_odd;
    return std::max<uint64_t>(static_cast<uint64_t>(std::sqrt(static_cast<double>(top))) + 1, first_odd);
}

} // namespace

std::vector<uint64_t> sieving_primes(unsigned long hi)
{
    return primes_up_to(sieve_limit(hi));
}

void term_factors(unsigned long lo, unsigned long hi, const std::vector<uint64_t>& primes, std::vector<factor_list>& p,
                  std::vector<factor_list>& q, uint64_t largest)
{
    size_t terms = hi - lo, count = block_length * terms;
    // Only the primes up to this range's own limit: each one above it would cost
    // a pass over the values for at most one of them.
    auto end = std::upper_bound(primes.begin(), primes.end(), sieve_limit(hi));
    std::span<const uint64_t> small(primes.begin(), end);
    p.assign(terms, {});
    q.assign(terms, {});
    // A term's lists end with 150 to 380 primes (up to 10^10 decimals): room for
    // them at once, where growing them copied a tenth of the sieve's time away.
    for (size_t t = 0; t < terms; ++t) {
        p[t].reserve(2 * block_length);
        q[t].reserve(2 * block_length);
    }
    // p: the integers i = 252n+1 .. 252n+252; q: the odd 2i+503 for the same i, times 2^378.
    sieve_values(block_length * static_cast<uint64_t>(lo) + 1, 1, count, small, largest, p);
    for (auto& list : q)
        list.push_back({2, b_twos});
    sieve_values(2 * (block_length * static_cast<uint64_t>(lo) + 1) + first_odd, 2, count, small, largest, q);
    for (size_t t = 0; t < terms; ++t)
        take_common(p[t], q[t], largest_shared_prime(1));
}

factor_list take_common(factor_list& x, factor_list& y, uint64_t largest)
{
    factor_list g;
    size_t i = 0, j = 0, xi = 0, yj = 0;
    // Large primes come in random turns from the two lists, each turn a branch
    // mispredicted: a term's lists hold hundreds of them, none shared.
    while (i < x.size() && j < y.size() && x[i].prime <= largest && y[j].prime <= largest) {
        if (x[i].prime < y[j].prime) {
            x[xi++] = x[i++];
        } else if (y[j].prime < x[i].prime) {
            y[yj++] = y[j++];
        } else {
            uint32_t e = std::min(x[i].exponent, y[j].exponent);
            g.push_back({x[i].prime, e});
            if (x[i].exponent > e)
                x[xi++] = {x[i].prime, x[i].exponent - e};
            if (y[j].exponent > e)
                y[yj++] = {y[j].prime, y[j].exponent - e};
            ++i;
            ++j;
        }
    }
    // The rest moves down over what was taken out.
    x.erase(x.begin() + static_cast<std::ptrdiff_t>(xi), x.begin() + static_cast<std::ptrdiff_t>(i));
    y.erase(y.begin() + static_cast<std::ptrdiff_t>(yj), y.begin() + static_cast<std::ptrdiff_t>(j));
    return g;
}

factor_list common(const factor_list& x, const factor_list& y)
{
    factor_list g;
    size_t i = 0, j = 0;
    while (i < x.size() && j < y.size()) {
        if (x[i].prime < y[j].prime)
            ++i;
        else if (y[j].prime < x[i].prime)
            ++j;
        else
            g.push_back({x[i].prime, std::min(x[i].exponent, y[j].exponent)}), ++i, ++j;
    }
    return g;
}

void drop_above(factor_list& x, uint64_t largest)
{
    auto end = std::upper_bound(x.begin(), x.end(), largest,
                                [](uint64_t v, const prime_power& pp) { return v < pp.prime; });
    x.erase(end, x.end());
}

void multiply_into(factor_list& x, const factor_list& y)
{
    factor_list r(x.size() + y.size());
    // The largest lists are many megabytes, and new at every merge.
    advise_huge_pages(r.data(), r.size() * sizeof(prime_power));
    prime_power* out = r.data();
    const prime_power *i = x.data(), *i_end = i + x.size(), *j = y.data(), *j_end = j + y.size();
    while (i != i_end && j != j_end) {
        if (i->prime < j->prime)
            *out++ = *i++;
        else if (j->prime < i->prime)
            *out++ = *j++;
        else
            *out++ = {i->prime, i->exponent + j->exponent}, ++i, ++j;
    }
    out = std::copy(i, i_end, out);
    out = std::copy(j, j_end, out);
    r.resize(static_cast<std::size_t>(out - r.data()));
    x.swap(r);
}

namespace {

// {rp, returned size} <- the product of the n > 0 nonzero words w, with rp and tp
// (scratch) of n limbs each: a balanced tree on GMP's low-level products, which
// allocates nothing (the leaves' lists are made by the hundred thousand).
std::size_t product_of_words(mp_limb_t* rp, mp_limb_t* tp, const uint64_t* w, std::size_t n)
{
    if (n <= 8) {
        rp[0] = w[0];
        std::size_t rn = 1;
        for (std::size_t i = 1; i < n; ++i)
            if (mp_limb_t carry = mpn_mul_1(rp, rp, static_cast<mp_size_t>(rn), w[i]))
                rp[rn++] = carry;
        return rn;
    }
    std::size_t h = n / 2;
    std::size_t an = product_of_words(tp, rp, w, h);
    std::size_t bn = product_of_words(tp + h, rp + h, w + h, n - h);
    const mp_limb_t *a = tp, *b = tp + h;
    if (an < bn) {
        std::swap(a, b);
        std::swap(an, bn);
    }
    multiply_limbs(rp, a, an, b, bn);
    return an + bn - (rp[an + bn - 1] == 0);
}

} // namespace

mpz_class product(const factor_list& x)
{
    // Powers of two become a shift, high powers a power each; the other prime
    // powers are packed into machine words and multiplied by a balanced tree.
    std::vector<uint64_t> words;
    unsigned __int128 word = 1;
    unsigned long twos = 0;
    mpz_class powers = 1, power;
    for (const prime_power& pp : x) {
        if (pp.prime == 2) {
            twos = pp.exponent;
        } else if (pp.exponent > 8) {
            mpz_ui_pow_ui(power.get_mpz_t(), pp.prime, pp.exponent);
            powers *= power;
        } else {
            for (uint32_t e = 0; e < pp.exponent; ++e) {
                if ((word * pp.prime) >> 64) {
                    words.push_back(static_cast<uint64_t>(word));
                    word = 1;
                }
                word *= pp.prime;
            }
        }
    }
    words.push_back(static_cast<uint64_t>(word));
    mpz_class r;
    std::vector<mp_limb_t> scratch(words.size());
    mp_limb_t* rp = mpz_limbs_write(r.get_mpz_t(), static_cast<mp_size_t>(words.size()));
    std::size_t rn = product_of_words(rp, scratch.data(), words.data(), words.size());
    mpz_limbs_finish(r.get_mpz_t(), static_cast<mp_size_t>(rn));
    if (powers != 1)
        r *= powers;
    return r << twos;
}

namespace {

// Prime powers grouped into units, each a machine word where their product
// fits one, or a single power of its own.
struct unit {
    mpz_class value;
    std::size_t first, count; // its entries in the list
};

std::vector<unit> units_of(const factor_list& x)
{
    std::vector<unit> units;
    unsigned __int128 word = 1;
    std::size_t first = 0;
    auto close = [&](std::size_t end) {
        if (end > first) {
            units.push_back({mpz_class(), first, end - first});
            mpz_set_ui(units.back().value.get_mpz_t(), static_cast<unsigned long>(word));
        }
        word = 1;
        first = end;
    };
    for (std::size_t i = 0; i < x.size(); ++i) {
        unsigned __int128 power = 1;
        bool fits = true;
        for (uint32_t e = 0; e < x[i].exponent && fits; ++e)
            fits = (power *= x[i].prime) >> 64 == 0;
        if (!fits) {
            close(i);
            units.push_back({mpz_class(), i, 1});
            mpz_ui_pow_ui(units.back().value.get_mpz_t(), x[i].prime, x[i].exponent);
            first = i + 1;
            continue;
        }
        if ((word * power) >> 64)
            close(i);
        word *= power;
    }
    close(x.size());
    return units;
}

// Appends gcd(p^e, r) for each entry p^e of u, given r = a mod u.
void leaf_common(const factor_list& x, const unit& u, const mpz_class& r, factor_list& g)
{
    mpz_class rest;
    for (std::size_t i = u.first; i < u.first + u.count; ++i) {
        uint64_t p = x[i].prime;
        // v_p(r) up to the entry's exponent: r mod p^e = a mod p^e is 0 or has v_p(a) < e.
        uint32_t e = 0;
        if (r == 0) {
            e = x[i].exponent;
        } else {
            rest = r;
            while (e < x[i].exponent && mpz_divisible_ui_p(rest.get_mpz_t(), p)) {
                mpz_divexact_ui(rest.get_mpz_t(), rest.get_mpz_t(), p);
                ++e;
            }
        }
        if (e > 0)
            g.push_back({p, e});
    }
}

// A scaled remainder tree: each node N of product G_N is given y, within
// c 2^-k of 2^k (a mod G_N) / G_N modulo 2^k, with k = bits(G_N) + guard; its
// children's come from products alone, as (a mod G_c) / G_c is the fractional
// part of (a mod G_N) / G_N times G_c's sibling. The root's c is 2, each step
// makes it at most 2 c + 1: with guard above the tree's depth plus three, the
// error at a leaf, times the leaf, stays below 1/2.
mp_bitcnt_t scaled_bits(const mpz_class& product, mp_bitcnt_t guard)
{
    return mpz_sizeinbase(product.get_mpz_t(), 2) + guard;
}

// The common part with a of the units [lo, hi), whose product is tree[level][at],
// given its y with k bits.
void descend(const factor_list& x, const std::vector<unit>& units, const std::vector<std::vector<mpz_class>>& tree,
             std::size_t level, std::size_t at, std::size_t lo, std::size_t hi, const mpz_class& y, mp_bitcnt_t k,
             mp_bitcnt_t guard, factor_list& g)
{
    if (level == 0) {
        // y G / 2^k is within 1/2 of the remainder r, modulo G: rounded, it is
        // r, or G where r = 0.
        const mpz_class& leaf = tree[0][at];
        mpz_class r = y * leaf;
        r += mpz_class(1) << (k - 1);
        mpz_fdiv_q_2exp(r.get_mpz_t(), r.get_mpz_t(), k);
        if (r == leaf)
            r = 0;
        leaf_common(x, units[lo], r, g);
        return;
    }
    std::size_t half = std::size_t(1) << (level - 1), mid = std::min(lo + half, hi);
    if (mid >= hi) {
        // A node without a sibling is its one child.
        descend(x, units, tree, level - 1, 2 * at, lo, hi, y, k, guard, g);
        return;
    }
    for (std::size_t c = 0; c < 2; ++c) {
        const mpz_class& child = tree[level - 1][2 * at + c];
        const mpz_class& sibling = tree[level - 1][2 * at + 1 - c];
        mp_bitcnt_t kc = scaled_bits(child, guard);
        mpz_class t;
        multiply(t, y, sibling);
        mpz_fdiv_r_2exp(t.get_mpz_t(), t.get_mpz_t(), k);
        mpz_fdiv_q_2exp(t.get_mpz_t(), t.get_mpz_t(), k - kc);
        descend(x, units, tree, level - 1, 2 * at + c, c ? mid : lo, c ? hi : mid, t, kc, guard, g);
    }
}

} // namespace

factor_list common_with(const factor_list& x, const mpz_class& a)
{
    factor_list g;
    if (x.empty())
        return g;
    std::vector<unit> units = units_of(x);
    // tree[0] the units, tree[k + 1][i] the product of tree[k][2i] and tree[k][2i + 1].
    std::vector<std::vector<mpz_class>> tree(1);
    for (unit& u : units)
        tree[0].push_back(std::move(u.value));
    while (tree.back().size() > 1) {
        const std::vector<mpz_class>& below = tree.back();
        std::vector<mpz_class> level((below.size() + 1) / 2);
        for (std::size_t i = 0; i < level.size(); ++i) {
            if (2 * i + 1 < below.size())
                multiply(level[i], below[2 * i], below[2 * i + 1]);
            else
                level[i] = below[2 * i];
        }
        tree.push_back(std::move(level));
    }
    const mpz_class& whole = tree.back()[0];
    mp_bitcnt_t guard = 64 + tree.size();
    mp_bitcnt_t k = scaled_bits(whole, guard);
    mpz_class y = scaled_remainder(abs(a), whole, k);
    mpz_fdiv_r_2exp(y.get_mpz_t(), y.get_mpz_t(), k);
    descend(x, units, tree, tree.size() - 1, 0, 0, units.size(), y, k, guard, g);
    return g;
}
