#include "arith/ntt.h"

#include <gmpxx.h>

#include <algorithm>
#include <array>
#include <barrier>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "arith/ntt_table.h"
#include "common/ending.h"
#include "common/pages.h"
#include "common/threads.h"

namespace {

using u64 = std::uint64_t;
using u128 = unsigned __int128;

constexpr u64 mul_mod(u64 a, u64 b, u64 p)
{
    return static_cast<u64>(static_cast<u128>(a) * b % p);
}

constexpr u64 pow_mod(u64 a, u64 e, u64 p)
{
    u64 r = 1;
    for (; e; e >>= 1, a = mul_mod(a, a, p))
        if (e & 1)
            r = mul_mod(r, a, p);
    return r;
}

// What the transforms need of a prime p = k * 3 * 2^33 + 1 with primitive root g,
// computed once by the compiler: roots of unity of orders 2^i and 3 * 2^i, and
// the inverses of 2^i and 3.
struct prime_constants {
    u64 p;
    u64 root2[34], root3[34], inverse2[34], inverse3;

    constexpr prime_constants(u64 prime, u64 g) : p(prime), root2(), root3(), inverse2(), inverse3()
    {
        for (int i = 0; i < 34; ++i) {
            root2[i] = pow_mod(g, (p - 1) >> i, p);
            root3[i] = pow_mod(g, (p - 1) / 3 >> i, p);
            inverse2[i] = pow_mod((p + 1) / 2, static_cast<u64>(i), p);
        }
        inverse3 = pow_mod(3, p - 2, p);
    }
};

// Two primes below 2^49 with primitive roots 13 and 10.
constexpr prime_constants prime1(562941363486721, 13), prime2(562477507018753, 10);
constexpr u64 prime1_inverse_mod_prime2 = pow_mod(prime1.p % prime2.p, prime2.p - 2, prime2.p);
static_assert(mul_mod(prime1_inverse_mod_prime2, prime1.p, prime2.p) == 1);
// A primitive root is no square: its power (p - 1)/2 is -1.
static_assert(prime1.root2[1] == prime1.p - 1 && prime2.root2[1] == prime2.p - 1);

// The residue v in (-p/2, p/2], as a double.
double centred(u64 v, u64 p)
{
    return v > p / 2 ? -static_cast<double>(p - v) : static_cast<double>(v);
}

// x[0, count) <- w^0, w^1, ... mod p: the first powers one by one (Shoup's
// products by the fixed w), the rest by independent chains of vector products.
void fill_powers(const ntt_kernels& k, double* x, std::size_t count, const ntt_prime& prime, u64 w, u64 p)
{
    std::size_t chunk = 4 * k.lanes < count ? 4 * k.lanes : count;
    u64 w_shoup = static_cast<u64>((static_cast<u128>(w) << 64) / p), v = 1;
    for (std::size_t j = 0; j < chunk; ++j) {
        x[j] = centred(v, p);
        u64 q = static_cast<u64>((static_cast<u128>(v) * w_shoup) >> 64);
        v = v * w - q * p;
        if (v >= p)
            v -= p;
    }
    k.powers(x, count, chunk, centred(v, p), prime);
}

unsigned log2_of(std::size_t power_of_two)
{
    return static_cast<unsigned>(std::countr_zero(power_of_two));
}

// Roots are tabulated up to this power of two; the levels above take theirs
// as products of two table entries, which spares a table as large as the data.
constexpr std::size_t table_limit = std::size_t(1) << 16;
constexpr std::size_t least_stride = 1024;

// The largest power of two that divides n (n itself, or n / 3).
std::size_t power_of_two_part(std::size_t n)
{
    return n & (n - 1) ? n / 3 : n;
}

// What a transform of size n needs besides the shared table: the fine roots of
// the levels above it, and for n = 3m the twiddles of the radix-3 pass.
struct root_layout {
    std::size_t top, stride, fine_levels, stride3, doubles;
};

root_layout layout_for(std::size_t n)
{
    root_layout r{};
    std::size_t m = power_of_two_part(n);
    r.top = m < table_limit ? m : table_limit;
    r.stride = m / r.top > least_stride ? m / r.top : least_stride;
    while ((r.top << r.fine_levels) < m)
        ++r.fine_levels;
    r.doubles = r.fine_levels * r.stride;
    if (m != n) {
        r.stride3 = m / 2 < least_stride ? m / 2 : least_stride;
        r.doubles += 2 * (r.stride3 + m / r.stride3);
    }
    return r;
}

// w_m^j at [m/2 + j] for the powers of two m <= table_limit and j < m/2, of
// prime c. The entries do not depend on the transform's size, so the table is
// made once for each prime and read by every transform: remade for each
// product, it cost a few percent of a run.
const double* shared_roots(const prime_constants& c)
{
    auto make = [](const prime_constants& c) {
        std::vector<double> t(table_limit);
        u64 w = c.root2[log2_of(table_limit)], v = 1;
        for (std::size_t j = 0; j < table_limit / 2; ++j) {
            t[table_limit / 2 + j] = centred(v, c.p);
            v = mul_mod(v, w, c.p);
        }
        // w_j^i = w_2j^2i.
        for (std::size_t j = table_limit / 2; j >= 2; j /= 2)
            for (std::size_t i = 0; i < j / 2; ++i)
                t[j / 2 + i] = t[j + 2 * i];
        return t;
    };
    static const std::vector<double> first = make(prime1), second = make(prime2);
    return c.p == prime1.p ? first.data() : second.data();
}

// The roots of prime c for transforms of size n: the shared table, and what
// else size n needs in table (layout_for(n).doubles of them); see ntt_prime.
ntt_prime prime_for(const ntt_kernels& k, double* table, std::size_t n, const prime_constants& c)
{
    root_layout r = layout_for(n);
    u64 p = c.p;
    ntt_prime prime{static_cast<double>(p), 1.0 / static_cast<double>(p), shared_roots(c), r.top, table, r.stride,
                    nullptr, r.stride3, 0};
    std::size_t m = power_of_two_part(n);
    unsigned lm = log2_of(m);
    if (m != n) {
        // w_n^j and w_n^2j, each as fine powers and coarse powers of w^stride3.
        double* t = table + r.fine_levels * r.stride;
        prime.twiddles3 = t;
        unsigned ls = log2_of(r.stride3);
        for (unsigned twice = 0; twice < 2; ++twice) {
            fill_powers(k, t, r.stride3, prime, c.root3[lm - twice], p);
            fill_powers(k, t + r.stride3, m / r.stride3, prime, c.root3[lm - twice - ls], p);
            t += r.stride3 + m / r.stride3;
        }
        prime.omega = centred(c.root3[0], p);
    }
    // The fine roots of the levels above the table.
    for (std::size_t level = 0; level < r.fine_levels; ++level)
        fill_powers(k, table + level * r.stride, r.stride, prime, c.root2[log2_of(r.top) + level + 1], p);
    return prime;
}

// 1/n mod p, in [0, p).
u64 inverse_mod(std::size_t n, const prime_constants& c)
{
    std::size_t m = power_of_two_part(n);
    u64 v = c.inverse2[log2_of(m) % 34];
    return m != n ? mul_mod(v, c.inverse3, c.p) : v;
}

// The same in (-p/2, p/2].
double inverse_of(std::size_t n, const prime_constants& c)
{
    return centred(inverse_mod(n, c), c.p);
}

const ntt_kernels& kernels(ntt_path path)
{
    switch (path) {
    case ntt_path::avx512:
        return ntt_kernels_avx512;
    case ntt_path::avx2:
        return ntt_kernels_avx2;
    default:
        return ntt_kernels_generic;
    }
}

// The significant bits of {a, an}, an >= 1.
u64 bit_length(const mp_limb_t* a, std::size_t an)
{
    u64 top = a[an - 1];
    return 64 * static_cast<u64>(an) - (top ? static_cast<u64>(std::countl_zero(top)) : 64);
}

// Coefficient width and transform size for a product of operands of these many bits.
// n below the count of coefficients la + lb - 1 makes the product wrap (see wrap_top).
struct plan {
    unsigned w;
    std::size_t la, lb, n;
    // Wanted modulo x^n - 1, as the transforms make it: nothing to unwrap.
    bool cyclic = false;
};

// The coefficients of a wrapped product beyond its length, 0 for others.
std::size_t excess(const plan& s)
{
    std::size_t count = s.la + s.lb - 1;
    return count > s.n && !s.cyclic ? count - s.n : 0;
}

// Entries for the recombination of a product of length n whose top e
// coefficients wrapped: n, and e rounded up to whole groups of the kernels'
// lanes and halves.
std::size_t stored_entries(std::size_t n, std::size_t e)
{
    return n + (e + 63) / 64 * 64;
}

// The entries a product's residues take for the recombination.
std::size_t stored_length(const plan& s)
{
    return stored_entries(s.n, excess(s));
}

// Of a number of limbs limbs, those that hold its first pieces of w bits.
std::size_t limbs_of(std::size_t pieces, std::size_t limbs, unsigned w)
{
    return std::min(limbs, static_cast<std::size_t>((static_cast<u64>(pieces) * w + 63) / 64));
}

// The smallest power of two, or three times one, that holds count coefficients.
std::size_t transform_length(std::size_t count)
{
    std::size_t n = std::bit_ceil(count < 64 ? 64 : count);
    return n / 4 * 3 >= count && n / 4 >= 64 ? n / 4 * 3 : n;
}

plan plan_for(u64 abits, u64 bbits)
{
    const u128 modulus = static_cast<u128>(prime1.p) * prime2.p;
    plan s{};
    // Each coefficient of the product is a sum of at most min(la, lb) products of
    // two w-bit pieces and must stay below p1 p2.
    for (s.w = 48;; --s.w) {
        s.la = (abits + s.w - 1) / s.w;
        s.lb = (bbits + s.w - 1) / s.w;
        u128 piece = (static_cast<u128>(1) << s.w) - 1;
        if (static_cast<u128>(s.la < s.lb ? s.la : s.lb) < modulus / (piece * piece))
            break;
    }
    s.n = transform_length(s.la + s.lb - 1);
    return s;
}

// The length of the small product that makes the first e coefficients of a
// product wrapped by e: those coefficients, unwrapped.
std::size_t small_length(std::size_t e)
{
    return transform_length(2 * e - 1);
}

// The cost of a transform of length n, in units of its points' passes.
double transform_cost(std::size_t n)
{
    return static_cast<double>(n) * std::log2(static_cast<double>(n));
}

// Lengths step by 4/3 and 3/2, and a product's count of coefficients falls
// anywhere between two of them. Just above one, L, the product is cheaper
// modulo x^L - 1, where its top e = count - L coefficients fall onto its first e,
// with those first e alone made by a product of the operands' first e pieces
// (no higher piece reaches them) on a transform of about 2e: one subtraction
// then sets both apart. A tenth of a run's transform work went into lengths
// beyond what such a pair costs. Returns L, or 0 where the plain length is
// cheaper or an operand of longest pieces would not fit in L.
std::size_t wrapped_length(std::size_t count, std::size_t longest)
{
    std::size_t below = std::bit_floor(count - 1);
    std::size_t length = below / 2 >= 64 && below / 2 * 3 < count ? below / 2 * 3 : below;
    if (length < (std::size_t(1) << 12) || longest > length)
        return 0;
    std::size_t small = small_length(count - length);
    // The margin stands for the moves and the subtraction, and the longer recombination.
    if (1.08 * (transform_cost(length) + transform_cost(small)) >= transform_cost(transform_length(count)))
        return 0;
    return length;
}

void wrap_top(plan& s)
{
    if (std::size_t length = wrapped_length(s.la + s.lb - 1, std::max(s.la, s.lb)))
        s.n = length;
}

// Coefficients c_i = r1 + p1 v, read from index (n - i) mod n of x (r1) and y (v),
// for i in [i0, i1), added at bits i w into r from limb o0 (64 o0 <= i0 w) on:
// the limbs [o0, o1) are written and the rest of the sum, from limb o1 on, is
// left in carry (three words). o1 = rn writes everything. y is overwritten.
void recombine(const ntt_kernels& k, mp_limb_t* r, std::size_t o0, std::size_t o1, const double* x, double* y,
               std::size_t n, unsigned w, std::size_t i0, std::size_t i1, u64 carry[3])
{
    // Each c_i is cut into three w-bit parts, and the parts that fall in each
    // column of base 2^w summed (on the vector paths, eight at a time), so that
    // the sum is carried one column at a time in a single word. The digits are
    // packed into two words, the low one stored at each step (at or past o1, into
    // a sink). Every shift is of one word by less than 64 (w <= 48). Where the
    // kernels have vector carries and packing (a tenth of a product's time in
    // this loop), the columns become digits first and most limbs are packed
    // eight at a time.
    u64 tail[3];
    k.columns(x, y, n, i0, i1, w, prime1.p, tail);
    const u64 mask = (u64(1) << w) - 1;
    u64 carry_w = 0, low = 0, high = 0, carried = 0;
    unsigned bits = static_cast<unsigned>(static_cast<u64>(i0) * w - 64 * static_cast<u64>(o0));
    std::size_t o = o0, i = i0;
    mp_limb_t sink;
    auto pack_to = [&](std::size_t end) {
        for (; i < end; ++i) {
            u64 column;
            std::memcpy(&column, &y[i ? n - i : 0], sizeof column);
            column += carry_w;
            carry_w = column >> w;
            u64 digit = column & mask;
            low |= digit << bits;
            high |= (digit >> 1) >> (63 - bits);
            *(o < o1 ? r + o : &sink) = low;
            bits += w;
            bool full = bits >= 64;
            low = full ? high : low;
            high = full ? 0 : high;
            o += full;
            bits &= 63;
        }
    };
    if (k.carries && k.pack) {
        // The carries first, all of them, and then whole limbs by the vector kernel:
        // from the first that starts past column i0's first bit to the last that
        // ends below column i1's, the digits before and after one at a time.
        carried = k.carries(y, n, i0, i1, w, 0);
        std::size_t qa = std::max<std::size_t>(1, static_cast<std::size_t>((static_cast<u64>(i0) * w + 63) / 64));
        std::size_t qb = std::min(o1, static_cast<std::size_t>(static_cast<u64>(i1) * w / 64));
        if (qa < qb) {
            pack_to(static_cast<std::size_t>((64 * static_cast<u64>(qa) + w - 1) / w));
            std::size_t q = k.pack(r, qa, qb, y, n, i1, w);
            if (q > qa) {
                // On from the digit that holds limb q's first bit, with the limb it
                // starts in as far as the digits before it filled it.
                i = static_cast<std::size_t>(64 * static_cast<u64>(q) / w);
                u64 start = static_cast<u64>(i) * w;
                o = static_cast<std::size_t>(start / 64);
                bits = static_cast<unsigned>(start % 64);
                low = bits ? r[o] & ((u64(1) << bits) - 1) : 0;
                high = 0;
            }
        }
    }
    pack_to(i1);
    u128 packed = (static_cast<u128>(high) << 64) | low;
    // Above the last column: the carry, the parts still due in the next column,
    // and c_(i1-1)'s top part one column higher.
    u128 above = static_cast<u128>(carry_w) + carried + tail[0] + tail[1] + (static_cast<u128>(tail[2]) << w);
    // What is left from limb o on: packed + above 2^bits, in three words.
    u64 lo = static_cast<u64>(above), hi = static_cast<u64>(above >> 64);
    u64 a0 = lo << bits, a1 = bits ? (lo >> (64 - bits)) | (hi << bits) : hi, a2 = bits ? hi >> (64 - bits) : 0;
    u128 t = static_cast<u128>(a0) + static_cast<u64>(packed);
    a0 = static_cast<u64>(t);
    t = static_cast<u128>(a1) + static_cast<u64>(packed >> 64) + static_cast<u64>(t >> 64);
    a1 = static_cast<u64>(t);
    a2 += static_cast<u64>(t >> 64);
    while (o < o1) {
        r[o++] = a0;
        a0 = a1;
        a1 = a2;
        a2 = 0;
    }
    carry[0] = a0;
    carry[1] = a1;
    carry[2] = a2;
}

// {rp, rn}: the low half's carry (three words) added where the high half began, at
// limb.
void add_carry(mp_limb_t* rp, std::size_t rn, std::size_t limb, const u64 carry[3])
{
    std::size_t words = rn - limb < 3 ? rn - limb : 3;
    if (mpn_add_n(rp + limb, rp + limb, carry, static_cast<mp_size_t>(words)) && limb + words < rn)
        mpn_add_1(rp + limb + words, rp + limb + words, static_cast<mp_size_t>(rn - limb - words), 1);
}

// A mapping of huge pages and a tail of small ones; base is null when there is none.
struct mapping {
    void* base = nullptr;
    std::size_t bytes = 0;
};

// The block a thread keeps between products while keep_transform_scratch(true)
// holds; given back when the thread ends.
struct kept_mapping {
    mapping m;
    bool keep = false;
    ~kept_mapping()
    {
        if (m.base)
            unmap_pages(m.base, m.bytes);
    }
};
thread_local kept_mapping thread_block;

// Blocks kept are at most this large: the products that make most of the faults
// are many and middling, and a kept block counts in the run's peak.
constexpr std::size_t largest_kept = std::size_t(64) << 20;

// Scratch doubles for one product, given back when it ends (or kept for the
// thread's next one). Large blocks are mapped on huge pages: with 4 KiB pages,
// faulting in fresh memory for every product took longer than the transforms
// themselves.
class scratch {
public:
    explicit scratch(std::size_t count)
    {
        std::size_t bytes = count * sizeof(double);
        if (bytes < huge) {
            data_ = static_cast<double*>(std::malloc(bytes));
            if (!data_)
                end_out_of_memory(bytes);
            return;
        }
        // Its tail on small pages: rounded up to a whole huge page, each scratch
        // held up to 2 MiB more than it wrote, which is how a 10^7 run's peak
        // passed 100 MB when huge pages were plentiful.
        std::size_t need = (bytes + 4095) / 4096 * 4096;
        // A kept block too small for this product goes back first: held beside
        // the new one, it added to the peak.
        mapping kept = std::exchange(thread_block.m, mapping());
        if (kept.base && kept.bytes >= need) {
            map_ = kept;
        } else {
            if (kept.base)
                unmap_pages(kept.base, kept.bytes);
            map_ = {map_huge_pages(need), need};
        }
        data_ = static_cast<double*>(map_.base);
    }
    ~scratch()
    {
        if (!map_.base) {
            std::free(data_);
            return;
        }
        // The kept block, if any, is smaller than this one.
        if (thread_block.keep && map_.bytes <= largest_kept) {
            if (thread_block.m.base)
                unmap_pages(thread_block.m.base, thread_block.m.bytes);
            thread_block.m = map_;
            return;
        }
        unmap_pages(map_.base, map_.bytes);
    }
    scratch(const scratch&) = delete;
    scratch& operator=(const scratch&) = delete;
    double* get() const { return data_; }

private:
    static constexpr std::size_t huge = huge_page_bytes;
    mapping map_;
    double* data_ = nullptr;
};

// x[0, n) <- the forward transform mod p of {ap, an} cut into pieces of w bits.
void transform_pieces(const ntt_kernels& k, const ntt_prime& p, double* x, std::size_t n, const mp_limb_t* ap,
                      std::size_t an, unsigned w, std::size_t pieces)
{
    k.split(x, n, ap, an, w, pieces);
    k.forward(x, n, p);
}

// The transforms of one prime: x <- n * (a * b) mod p (read back as for inverse),
// y used as scratch; one thread.
void product_mod(const ntt_kernels& k, const ntt_prime& p, double* x, double* y, const mp_limb_t* ap,
                 std::size_t an, const mp_limb_t* bp, std::size_t bn, const plan& s)
{
    transform_pieces(k, p, x, s.n, ap, an, s.w, s.la);
    transform_pieces(k, p, y, s.n, bp, bn, s.w, s.lb);
    k.pointwise(x, y, s.n, p);
    k.inverse(x, s.n, p);
}

// The same, as thread t of two that meet at sync between the steps: each
// transforms one operand, then takes half of the pointwise products and of
// every pass of the inverse.
void product_mod_half(unsigned t, std::barrier<>& sync, const ntt_kernels& k, const ntt_prime& p, double* x,
                      double* y, const mp_limb_t* ap, std::size_t an, const mp_limb_t* bp, std::size_t bn,
                      const plan& s)
{
    if (t == 0)
        transform_pieces(k, p, x, s.n, ap, an, s.w, s.la);
    else
        transform_pieces(k, p, y, s.n, bp, bn, s.w, s.lb);
    sync.arrive_and_wait();
    std::size_t half = s.n / 2;
    k.pointwise(x + t * half, y + t * half, half, p);
    sync.arrive_and_wait();
    // One power of two, or three of them for n = 3m; each is r parts, then a last pass.
    bool thirds = s.n & (s.n - 1);
    std::size_t m = thirds ? s.n / 3 : s.n, blocks = thirds ? 3 : 1;
    std::size_t r = k.top_radix(m), part = m / r, parts = blocks * r;
    for (std::size_t i = t * parts / 2; i < (t + 1) * parts / 2; ++i)
        k.inverse_power_of_two(x + i * part, part, p);
    sync.arrive_and_wait();
    for (std::size_t b = 0; b < blocks; ++b)
        k.inverse_top(x + b * m, m, t * part / 2, (t + 1) * part / 2, p);
    sync.arrive_and_wait();
    if (thirds) {
        k.radix3_inverse(x, m, t * m / 2, (t + 1) * m / 2, p);
        sync.arrive_and_wait();
    }
}

// Where two threads' halves of a recombination of count coefficients meet: the
// low half ends at coefficient count / 2, inside this limb.
std::size_t meeting_limb(std::size_t count, unsigned w)
{
    return static_cast<std::size_t>(static_cast<u64>(count / 2) * w / 64);
}

// Thread t of two, once both primes' inverses are in x1 and x2: Garner on its half
// of them, then its half of the limbs {rp, rn} of the product's count
// coefficients. The low half's carry is left in carry[0], for add_carry at
// meeting_limb once both are done.
void recombine_half(unsigned t, std::barrier<>& sync, const ntt_kernels& k, const ntt_prime& p1, const ntt_prime& p2,
                    double* x1, double* x2, const plan& s, std::size_t count, mp_limb_t* rp, std::size_t rn,
                    u64 carry[2][3])
{
    std::size_t stored = stored_length(s), half = stored / 2;
    k.garner(x1 + t * half, x2 + t * half, half, p1, p2, inverse_of(s.n, prime1), inverse_of(s.n, prime2),
             centred(prime1_inverse_mod_prime2, prime2.p));
    sync.arrive_and_wait();
    std::size_t mid = count / 2, limb = meeting_limb(count, s.w);
    if (t == 0)
        recombine(k, rp, 0, limb, x1, x2, stored, s.w, 0, mid, carry[0]);
    else
        recombine(k, rp, limb, rn, x1, x2, stored, s.w, mid, count, carry[1]);
}

// {rp, rn} <- the count coefficients whose residues, scaled by length, the inverses
// of both primes left in the n entries of x and y (Garner, then the carries), on
// one thread; y is overwritten.
void recombine_whole(const ntt_kernels& k, const ntt_prime& p1, const ntt_prime& p2, double* x, double* y,
                     std::size_t n, std::size_t length, unsigned w, std::size_t count, mp_limb_t* rp,
                     std::size_t rn)
{
    k.garner(x, y, n, p1, p2, inverse_of(length, prime1), inverse_of(length, prime2),
             centred(prime1_inverse_mod_prime2, prime2.p));
    u64 carry[3];
    recombine(k, rp, 0, rn, x, y, n, w, 0, count, carry);
}

// x <- the residues mod c.p of a product of length n whose top e coefficients
// wrapped onto its first e, laid out for recombination in stored_entries(n, e)
// entries: from the cyclic residues in x and those of the first e coefficients
// in small, as the inverse of length m left them. offset (n 2^t mod p, or 0),
// added once to every coefficient, is in each cyclic sum and small residue;
// the top coefficients get it as well.
// A coefficient's residue needs no more than its own bound:
// c_(n+i) = (c_i + c_(n+i)) - c_i modulo p.
void unwrap_residues(const prime_constants& c, double* x, std::size_t n, std::size_t e, const double* small,
                     std::size_t m, std::int64_t offset)
{
    // c_i of the cycle at (n - i) mod n, to (stored - i) mod stored, clear of the
    // top coefficients' entries [extra - e + 1, extra]; the rest between is unused.
    std::size_t stored = stored_entries(n, e), extra = stored - n;
    std::memmove(x + extra + 1, x + 1, (n - 1) * sizeof(double));
    for (std::size_t j = 1; j + e <= extra; ++j)
        x[j] = 0;
    // The small product's scale to n's, by n / m (centred): its residues, within
    // 4p, come within 1.5p (the rounded quotient is off by at most one), and the
    // differences within 5.5p, as Garner takes them.
    auto ratio = static_cast<std::int64_t>(centred(mul_mod(n % c.p, inverse_mod(m, c), c.p), c.p));
    auto prime = static_cast<std::int64_t>(c.p);
    double scale = static_cast<double>(ratio) / static_cast<double>(c.p), shift = static_cast<double>(offset) / c.p;
    auto reduced = [&](double v, std::int64_t minus, double minus_scaled) {
        auto quotient = static_cast<std::int64_t>(std::nearbyint(v * scale - minus_scaled));
        return static_cast<std::int64_t>(static_cast<__int128>(static_cast<std::int64_t>(v)) * ratio - minus -
                                         static_cast<__int128>(quotient) * prime);
    };
    for (std::size_t i = 0; i < e; ++i) {
        std::size_t at = i ? stored - i : 0;
        double v = small[i ? m - i : 0];
        std::int64_t low = reduced(v, offset, shift);
        x[extra - i] = x[at] - static_cast<double>(low);
        x[at] = static_cast<double>(offset ? reduced(v, 0, 0) : low);
    }
}

// One prime's share of a wrapped product: x <- its residues laid out for
// recombination in stored_length(s) entries, from the cyclic ones that product_mod
// left in x and the first coefficients' ones made here, in small
// (small_length(excess(s)) entries and the roots of that length).
void unwrap_mod(const ntt_kernels& k, const prime_constants& c, double* x, double* small, const mp_limb_t* ap,
                std::size_t an, const mp_limb_t* bp, std::size_t bn, const plan& s)
{
    std::size_t e = excess(s), m = small_length(e);
    // The first e pieces of each operand, from the limbs that hold them.
    plan first{s.w, std::min(s.la, e), std::min(s.lb, e), m};
    ntt_prime p = prime_for(k, small + 2 * m, m, c);
    product_mod(k, p, small, small + m, ap, limbs_of(first.la, an, s.w), bp, limbs_of(first.lb, bn, s.w), first);
    unwrap_residues(c, x, s.n, e, small, m, 0);
}

// The scratch of unwrap_mod.
std::size_t unwrap_scratch(const plan& s)
{
    std::size_t e = excess(s);
    return e ? 2 * small_length(e) + layout_for(small_length(e)).doubles : 0;
}

} // namespace

void keep_transform_scratch(bool keep)
{
    thread_block.keep = keep;
    if (!keep && thread_block.m.base) {
        mapping m = std::exchange(thread_block.m, mapping());
        unmap_pages(m.base, m.bytes);
    }
}

bool ntt_path_supported(ntt_path path)
{
    switch (path) {
    case ntt_path::avx512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq");
    case ntt_path::avx2:
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    default:
        return true;
    }
}

std::size_t ntt_length(std::size_t an, std::size_t bn)
{
    return plan_for(u64(64) * an, u64(64) * bn).n;
}

ntt_path ntt_best_path()
{
    for (ntt_path path : {ntt_path::avx512, ntt_path::avx2})
        if (ntt_path_supported(path))
            return path;
    return ntt_path::generic;
}

namespace {

// {rp, rn} <- the first count coefficients of the product that s plans (all n of
// a cyclic one), carried, on up to threads threads; rn holds their sum.
void multiply_planned(mp_limb_t* rp, std::size_t rn, const mp_limb_t* ap, std::size_t an, const mp_limb_t* bp,
                      std::size_t bn, const plan& s, std::size_t count, const ntt_kernels& k, unsigned threads)
{
    // Below this a second thread costs more than it saves (and the parts of the
    // split inverse must each hold whole groups of the lanes' transposition).
    if (s.n < (std::size_t(1) << 12))
        threads = 1;
    // Residues of both primes, the second operand's transform (then each thread's
    // small product, if wrapped), the roots (of each prime at once on two threads).
    std::size_t table = layout_for(s.n).doubles, small = unwrap_scratch(s);
    std::size_t y_size = std::max(s.n, (threads < 2 ? 1 : 2) * small);
    std::size_t stored = stored_length(s);
    scratch space(2 * stored + y_size + (threads < 2 ? 1 : 2) * table);
    double *x1 = space.get(), *x2 = x1 + stored, *y = x2 + stored, *roots = y + y_size;

    if (threads < 2) {
        ntt_prime p1 = prime_for(k, roots, s.n, prime1);
        product_mod(k, p1, x1, y, ap, an, bp, bn, s);
        if (excess(s))
            unwrap_mod(k, prime1, x1, y, ap, an, bp, bn, s);
        ntt_prime p2 = prime_for(k, roots, s.n, prime2);
        product_mod(k, p2, x2, y, ap, an, bp, bn, s);
        if (excess(s))
            unwrap_mod(k, prime2, x2, y, ap, an, bp, bn, s);
        recombine_whole(k, p1, p2, x1, x2, stored, s.n, s.w, count, rp, rn);
        return;
    }
    // Two threads started once, meeting at a barrier between the steps; the
    // roots of both primes are made at the start, one prime on each thread.
    double* roots2 = roots + table;
    ntt_prime p1, p2;
    std::barrier<> sync(2);
    u64 carry[2][3];
    auto work = [&](unsigned t) {
        if (t == 0)
            p1 = prime_for(k, roots, s.n, prime1);
        else
            p2 = prime_for(k, roots2, s.n, prime2);
        sync.arrive_and_wait();
        product_mod_half(t, sync, k, p1, x1, y, ap, an, bp, bn, s);
        product_mod_half(t, sync, k, p2, x2, y, ap, an, bp, bn, s);
        if (excess(s)) {
            unwrap_mod(k, t == 0 ? prime1 : prime2, t == 0 ? x1 : x2, y + t * small, ap, an, bp, bn, s);
            sync.arrive_and_wait();
        }
        recombine_half(t, sync, k, p1, p2, x1, x2, s, count, rp, rn, carry);
    };
    both([&] { work(0); }, [&] { work(1); });
    add_carry(rp, rn, meeting_limb(count, s.w), carry[0]);
}

} // namespace

void ntt_mul(mp_limb_t* rp, const mp_limb_t* ap, std::size_t an, const mp_limb_t* bp, std::size_t bn, ntt_path path,
             unsigned threads)
{
    plan s = plan_for(bit_length(ap, an), bit_length(bp, bn));
    if (s.la == 0 || s.lb == 0) {
        for (std::size_t i = 0; i < an + bn; ++i)
            rp[i] = 0;
        return;
    }
    wrap_top(s);
    multiply_planned(rp, an + bn, ap, an, bp, bn, s, s.la + s.lb - 1, kernels(path), threads);
}

namespace {

// The plan of a product modulo 2^(n w) - 1 with n w >= bits, and each operand
// within one turn, so that its pieces never overlap.
plan cyclic_plan(u64 abits, u64 bbits, std::size_t bits)
{
    plan s = plan_for(abits, bbits);
    s.n = transform_length(std::max({(bits + s.w - 1) / s.w, s.la, s.lb}));
    s.cyclic = true;
    return s;
}

// r <- the sum of a cyclic product's n coefficients, which sum(rp, rn) carries
// into rn limbs, folded modulo 2^length - 1; returns length.
template <class carried_sum>
std::size_t folded_sum(mpz_ptr r, std::size_t length, carried_sum&& sum)
{
    // Each coefficient is below p1 p2 < 2^98: the sum is below 2^(length + 98 - w).
    std::size_t rn = length / 64 + 3;
    mpz_class total;
    sum(mpz_limbs_write(total.get_mpz_t(), static_cast<mp_size_t>(rn)), rn);
    mpz_limbs_finish(total.get_mpz_t(), static_cast<mp_size_t>(rn));
    fold_modulo(total.get_mpz_t(), length);
    mpz_swap(r, total.get_mpz_t());
    return length;
}

} // namespace

std::size_t ntt_cyclic_length(std::size_t an, std::size_t bn, std::size_t bits)
{
    return cyclic_plan(u64(64) * an, u64(64) * bn, bits).n;
}

std::size_t ntt_mul_cyclic(mpz_ptr r, mpz_srcptr a, mpz_srcptr b, std::size_t bits, ntt_path path, unsigned threads)
{
    std::size_t an = mpz_size(a), bn = mpz_size(b);
    const mp_limb_t *ap = mpz_limbs_read(a), *bp = mpz_limbs_read(b);
    plan s = cyclic_plan(bit_length(ap, an), bit_length(bp, bn), bits);
    return folded_sum(r, s.n * s.w, [&](mp_limb_t* rp, std::size_t rn) {
        multiply_planned(rp, rn, ap, an, bp, bn, s, s.n, kernels(path), threads);
    });
}

void fold_modulo(mpz_ptr x, std::size_t bits)
{
    // 2^bits = 1 modulo 2^bits - 1: the bits above fold onto the bottom.
    mpz_class high;
    while (mpz_sizeinbase(x, 2) > bits) {
        mpz_tdiv_q_2exp(high.get_mpz_t(), x, bits);
        mpz_tdiv_r_2exp(x, x, bits);
        mpz_add(x, x, high.get_mpz_t());
    }
    if (mpz_scan0(x, 0) == bits)
        mpz_set_ui(x, 0);
}

void ntt_mul_pieces(const mp_limb_t* ap, std::size_t an, const mp_limb_t* bp, std::size_t bn, std::size_t piece,
                    ntt_path path, const std::function<void(std::size_t, const mp_limb_t*, std::size_t)>& take)
{
    const ntt_kernels& k = kernels(path);
    plan s = plan_for(bit_length(ap, an), 64 * static_cast<u64>(piece));
    // Every product's limbs are written whole: no need to clear them first.
    std::unique_ptr<mp_limb_t[]> buffer(new mp_limb_t[an + piece]);
    advise_huge_pages(buffer.get(), (an + piece) * sizeof(mp_limb_t));
    mp_limb_t* out = buffer.get();
    // a's transforms for both primes, kept; a piece's, which become its product.
    std::size_t table = layout_for(s.n).doubles;
    scratch space(4 * s.n + 2 * table);
    double* kept[2] = {space.get(), space.get() + s.n};
    double* piece_mod[2] = {kept[1] + s.n, kept[1] + 2 * s.n};
    double* roots[2] = {piece_mod[1] + s.n, piece_mod[1] + s.n + table};
    const prime_constants* constants[2] = {&prime1, &prime2};
    ntt_prime primes[2];
    std::barrier<> sync(2);
    u64 carry[2][3];
    // Each thread works one prime throughout, then half of each recombination.
    auto work = [&](unsigned t) {
        primes[t] = prime_for(k, roots[t], s.n, *constants[t]);
        transform_pieces(k, primes[t], kept[t], s.n, ap, an, s.w, s.la);
        for (std::size_t at = 0; at < bn; at += piece) {
            std::size_t len = at + piece < bn ? piece : bn - at, rn = an + len, used = len;
            while (used > 0 && bp[at + used - 1] == 0)
                --used;
            if (used == 0)
                continue;
            std::size_t lb = static_cast<std::size_t>((bit_length(bp + at, used) + s.w - 1) / s.w);
            transform_pieces(k, primes[t], piece_mod[t], s.n, bp + at, used, s.w, lb);
            k.pointwise(piece_mod[t], kept[t], s.n, primes[t]);
            k.inverse(piece_mod[t], s.n, primes[t]);
            sync.arrive_and_wait();
            std::size_t count = s.la + lb - 1;
            recombine_half(t, sync, k, primes[0], primes[1], piece_mod[0], piece_mod[1], s, count, out, rn, carry);
            sync.arrive_and_wait();
            // The other thread goes on with the next piece's transforms meanwhile:
            // out and the carries are written again only after the next meeting.
            if (t == 0) {
                add_carry(out, rn, meeting_limb(count, s.w), carry[0]);
                take(at, out, rn);
            }
        }
    };
    both([&] { work(0); }, [&] { work(1); });
}

namespace {

// The operands of a composition, in this order.
enum operand { pa, pb, pc, qa, qb, qc };

// One coefficient width and one transform length for all six operands of a
// composition, and for a difference the 2^t added to each of its coefficients,
// which keeps them positive for the recombination; t = 0 for a sum. n below the
// largest output's count of coefficients makes them wrap (see wrapped_length).
struct composition_plan {
    unsigned w;
    std::size_t pieces[6], n;
    unsigned t;
};

// The coefficients of a's, b's and c's products.
std::array<std::size_t, 3> composition_counts(const composition_plan& s)
{
    return {std::max(s.pieces[pa] + s.pieces[qc], s.pieces[pb] + s.pieces[qa]) - 1,
            s.pieces[pb] + s.pieces[qb] - 1, s.pieces[pc] + s.pieces[qc] - 1};
}

// The largest output's coefficients, which the length is chosen for.
std::size_t largest_count(const composition_plan& s)
{
    auto counts = composition_counts(s);
    return std::max({counts[0], counts[1], counts[2]});
}

// Those beyond the length, 0 where none wrapped.
std::size_t composition_excess(const composition_plan& s)
{
    std::size_t count = largest_count(s);
    return count > s.n ? count - s.n : 0;
}

// The entries each output's residues take, and the doubles of one prime's share:
// four of those, the roots, and a wrapped composition's small one.
std::size_t composition_stored(const composition_plan& s)
{
    return stored_entries(s.n, composition_excess(s));
}
std::size_t composition_share(const composition_plan& s)
{
    std::size_t e = composition_excess(s), small = e ? small_length(e) : 0;
    return 4 * composition_stored(s) + layout_for(s.n).doubles + (e ? 4 * small + layout_for(small).doubles : 0);
}

composition_plan plan_composition(const u64 bits[6], bool subtract)
{
    const u128 modulus = static_cast<u128>(prime1.p) * prime2.p;
    composition_plan s{};
    for (s.w = 48;; --s.w) {
        for (int i = 0; i < 6; ++i)
            s.pieces[i] = (bits[i] + s.w - 1) / s.w;
        // A product's coefficients are sums of at most terms(x, y) products of two
        // w-bit pieces, each below 2^2w.
        auto terms = [&s](operand x, operand y) { return std::min(s.pieces[x], s.pieces[y]); };
        u128 most = modulus >> (2 * s.w);
        if (terms(pb, qb) >= most || terms(pc, qc) >= most)
            continue;
        if (!subtract) {
            if (terms(pa, qc) + terms(pb, qa) < most)
                break;
            continue;
        }
        // pa qc - pb qa + 2^t, with pb qa's coefficients below 2^t.
        s.t = static_cast<unsigned>(std::bit_width(terms(pb, qa))) + 2 * s.w;
        if (s.t < 96 && terms(pa, qc) < (modulus - (static_cast<u128>(1) << s.t)) >> (2 * s.w))
            break;
    }
    std::size_t count = largest_count(s);
    s.n = transform_length(count);
    if (std::size_t length = wrapped_length(count, *std::max_element(s.pieces, s.pieces + 6)))
        s.n = length;
    return s;
}

// n 2^t mod p, centred: 2^t added to each of the n coefficients of a length n.
double offset_residue(std::size_t n, unsigned t, const prime_constants& c)
{
    return centred(mul_mod(n % c.p, pow_mod(2, t, c.p), c.p), c.p);
}

// One prime's share of a composition, in four buffers of stored entries from
// space (then the prime's roots): leaves n times the coefficients of a, b and c
// mod p, as inverse leaves them, in out.
ntt_prime composition_mod(const ntt_kernels& k, const prime_constants& c, double* space, std::size_t stored,
                          const mp_limb_t* limbs[6], const std::size_t sizes[6], const composition_plan& s,
                          bool subtract, double* out[3])
{
    std::size_t n = s.n;
    ntt_prime p = prime_for(k, space + 4 * stored, n, c);
    auto transform = [&](double* x, operand i) { transform_pieces(k, p, x, n, limbs[i], sizes[i], s.w, s.pieces[i]); };
    double *x1 = space, *x2 = x1 + stored, *x3 = x2 + stored, *x4 = x3 + stored;
    // Each operand's buffer is taken again as soon as its last product is made.
    transform(x1, qc);
    transform(x2, pa);
    k.pointwise(x2, x1, n, p);
    transform(x3, pb);
    transform(x4, qa);
    k.pointwise_add(x4, x3, x2, n, subtract, p);
    if (subtract) {
        // 2^t at every coefficient is n 2^t at frequency 0, where the forward
        // transform leaves the sum of its inputs.
        double v = x4[0] + offset_residue(n, s.t, c);
        x4[0] = v - p.p * std::nearbyint(v * p.inverse);
    }
    transform(x2, pc);
    k.pointwise(x2, x1, n, p);
    transform(x1, qb);
    k.pointwise(x1, x3, n, p);
    for (double* x : {x4, x1, x2})
        k.inverse(x, n, p);
    out[0] = x4;
    out[1] = x1;
    out[2] = x2;
    return p;
}

// The same for a wrapped composition, in composition_share(s) doubles of space:
// each output laid out for recombination (see unwrap_residues) in
// composition_stored(s) entries, those that did not wrap left as they are.
ntt_prime composition_unwrapped(const ntt_kernels& k, const prime_constants& c, double* space,
                                const mp_limb_t* limbs[6], const std::size_t sizes[6], const composition_plan& s,
                                bool subtract, double* out[3])
{
    std::size_t stored = composition_stored(s);
    ntt_prime p = composition_mod(k, c, space, stored, limbs, sizes, s, subtract, out);
    std::size_t e = composition_excess(s);
    if (!e)
        return p;
    // The first e pieces of each operand make the first e coefficients.
    composition_plan first = s;
    first.n = small_length(e);
    std::size_t first_sizes[6];
    for (int i = 0; i < 6; ++i) {
        first.pieces[i] = std::min(s.pieces[i], e);
        first_sizes[i] = limbs_of(first.pieces[i], sizes[i], s.w);
    }
    double* small[3];
    composition_mod(k, c, space + 4 * stored + layout_for(s.n).doubles, first.n, limbs, first_sizes, first, subtract,
                    small);
    auto counts = composition_counts(s);
    auto offset = subtract ? static_cast<std::int64_t>(offset_residue(s.n, s.t, c)) : 0;
    for (int j = 0; j < 3; ++j)
        if (counts[j] > s.n)
            unwrap_residues(c, out[j], s.n, counts[j] - s.n, small[j], first.n, j == 0 ? offset : 0);
    return p;
}

// The same into r's rn limbs, r >= 0.
void recombine_all(const ntt_kernels& k, const ntt_prime& p1, const ntt_prime& p2, double* x, double* y,
                   std::size_t n, std::size_t count, unsigned w, mpz_ptr r, std::size_t rn)
{
    std::size_t entries = count > n ? stored_entries(n, count - n) : n;
    recombine_whole(k, p1, p2, x, y, entries, n, w, count, mpz_limbs_write(r, static_cast<mp_size_t>(rn)), rn);
    mpz_limbs_finish(r, static_cast<mp_size_t>(rn));
}

} // namespace

void ntt_compose(mpz_ptr a, mpz_ptr b, mpz_ptr c, const mpz_srcptr p[3], const mpz_srcptr q[3], ntt_path path,
                 const run_both& run)
{
    const ntt_kernels& k = kernels(path);
    mpz_srcptr in[6] = {p[0], p[1], p[2], q[0], q[1], q[2]};
    const mp_limb_t* limbs[6];
    std::size_t sizes[6];
    u64 bits[6];
    for (int i = 0; i < 6; ++i) {
        limbs[i] = mpz_limbs_read(in[i]);
        sizes[i] = mpz_size(in[i]);
        bits[i] = bit_length(limbs[i], sizes[i]);
    }
    int first_sign = mpz_sgn(in[pa]) * mpz_sgn(in[qc]);
    bool subtract = first_sign != mpz_sgn(in[pb]) * mpz_sgn(in[qa]);
    composition_plan s = plan_composition(bits, subtract);
    std::size_t share = composition_share(s);
    scratch space(2 * share);
    double* out[2][3];
    ntt_prime primes[2];
    run([&] { primes[0] = composition_unwrapped(k, prime1, space.get(), limbs, sizes, s, subtract, out[0]); },
        [&] { primes[1] = composition_unwrapped(k, prime2, space.get() + share, limbs, sizes, s, subtract, out[1]); });

    // a = first_sign (pa qc + pb qa) as magnitudes, or first_sign (pa qc - pb qa),
    // which the coefficients give plus 2^t times the sum of 2^iw over them.
    auto counts = composition_counts(s);
    std::size_t a_count = counts[0];
    // A difference's coefficients are below p1 p2 < 2^98.
    std::size_t a_limbs = subtract ? ((a_count - 1) * s.w + 99) / 64 + 1
                                   : std::max(sizes[pa] + sizes[qc], sizes[pb] + sizes[qa]) + 1;
    mpz_class ra, rb, rc;
    run(
        [&] {
            recombine_all(k, primes[0], primes[1], out[0][0], out[1][0], s.n, a_count, s.w, ra.get_mpz_t(), a_limbs);
            if (subtract) {
                mpz_class offsets;
                mp_limb_t* op = mpz_limbs_write(offsets.get_mpz_t(), static_cast<mp_size_t>(a_limbs));
                std::memset(op, 0, a_limbs * sizeof(mp_limb_t));
                for (u64 i = 0, bit = s.t; i < a_count; ++i, bit += s.w)
                    op[bit / 64] |= mp_limb_t(1) << (bit % 64);
                mpz_limbs_finish(offsets.get_mpz_t(), static_cast<mp_size_t>(a_limbs));
                ra -= offsets;
            }
            if (first_sign < 0)
                mpz_neg(ra.get_mpz_t(), ra.get_mpz_t());
        },
        [&] {
            recombine_all(k, primes[0], primes[1], out[0][1], out[1][1], s.n, counts[1], s.w, rb.get_mpz_t(),
                          sizes[pb] + sizes[qb]);
            if (mpz_sgn(in[pb]) != mpz_sgn(in[qb]))
                mpz_neg(rb.get_mpz_t(), rb.get_mpz_t());
            recombine_all(k, primes[0], primes[1], out[0][2], out[1][2], s.n, counts[2], s.w, rc.get_mpz_t(),
                          sizes[pc] + sizes[qc]);
            if (mpz_sgn(in[pc]) != mpz_sgn(in[qc]))
                mpz_neg(rc.get_mpz_t(), rc.get_mpz_t());
        });
    mpz_swap(a, ra.get_mpz_t());
    mpz_swap(b, rb.get_mpz_t());
    mpz_swap(c, rc.get_mpz_t());
}

namespace {

ntt_fixed transform_fixed(const mp_limb_t* ap, std::size_t an, const plan& s, ntt_path path)
{
    ntt_fixed f{path, an, s.w, s.la, s.n, std::unique_ptr<double[]>(new double[2 * s.n])};
    advise_huge_pages(f.transforms.get(), 2 * s.n * sizeof(double));
    const ntt_kernels& k = kernels(path);
    std::vector<double> roots(layout_for(s.n).doubles);
    for (int t = 0; t < 2; ++t) {
        ntt_prime p = prime_for(k, roots.data(), s.n, t == 0 ? prime1 : prime2);
        double* x = f.transforms.get() + t * s.n;
        transform_pieces(k, p, x, s.n, ap, an, s.w, s.la);
    }
    return f;
}

// x[t] <- n times both primes' residues of the product of a by the lb pieces of
// {bp, bn}, and primes[t] their primes; x[0] and x[1] are space's first 2n doubles.
void residues_fixed(const ntt_kernels& k, const ntt_fixed& a, const mp_limb_t* bp, std::size_t bn, std::size_t lb,
                    double* x[2], ntt_prime primes[2], const scratch& space)
{
    std::size_t n = a.n;
    x[0] = space.get();
    x[1] = x[0] + n;
    double* roots = x[1] + n;
    for (int t = 0; t < 2; ++t) {
        primes[t] = prime_for(k, roots, n, t == 0 ? prime1 : prime2);
        transform_pieces(k, primes[t], x[t], n, bp, bn, a.w, lb);
        k.pointwise(x[t], a.transforms.get() + t * n, n, primes[t]);
        k.inverse(x[t], n, primes[t]);
    }
}

} // namespace

ntt_fixed ntt_transform_fixed(const mp_limb_t* ap, std::size_t an, std::size_t other, ntt_path path)
{
    return transform_fixed(ap, an, plan_for(bit_length(ap, an), 64 * static_cast<u64>(other)), path);
}

ntt_fixed ntt_transform_fixed_cyclic(const mp_limb_t* ap, std::size_t an, std::size_t other, std::size_t bits,
                                     ntt_path path)
{
    return transform_fixed(ap, an, cyclic_plan(bit_length(ap, an), 64 * static_cast<u64>(other), bits), path);
}

void ntt_mul_fixed(mp_limb_t* rp, const ntt_fixed& a, const mp_limb_t* bp, std::size_t bn)
{
    const ntt_kernels& k = kernels(a.path);
    std::size_t n = a.n, lb = static_cast<std::size_t>((bit_length(bp, bn) + a.w - 1) / a.w);
    if (lb == 0) {
        std::memset(rp, 0, (a.limbs + bn) * sizeof(mp_limb_t));
        return;
    }
    scratch space(2 * n + layout_for(n).doubles);
    double* x[2];
    ntt_prime primes[2];
    residues_fixed(k, a, bp, bn, lb, x, primes, space);
    recombine_whole(k, primes[0], primes[1], x[0], x[1], n, n, a.w, a.pieces + lb - 1, rp, a.limbs + bn);
}

std::size_t ntt_mul_fixed_cyclic(mpz_ptr r, const ntt_fixed& a, const mp_limb_t* bp, std::size_t bn)
{
    const ntt_kernels& k = kernels(a.path);
    std::size_t n = a.n, length = n * a.w, lb = static_cast<std::size_t>((bit_length(bp, bn) + a.w - 1) / a.w);
    if (lb == 0) {
        mpz_set_ui(r, 0);
        return length;
    }
    scratch space(2 * n + layout_for(n).doubles);
    double* x[2];
    ntt_prime primes[2];
    residues_fixed(k, a, bp, bn, lb, x, primes, space);
    return folded_sum(r, length, [&](mp_limb_t* rp, std::size_t rn) {
        recombine_whole(k, primes[0], primes[1], x[0], x[1], n, n, a.w, n, rp, rn);
    });
}
