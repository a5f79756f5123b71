// The transforms of one prime below 2^49, written once over a lane type L and
// compiled by each ntt_<isa>.cpp for its instruction set; included nowhere else.
//
// Residues are doubles holding exact integers. A product x*w is split exactly
// into h + l by a fused multiply-add, and the quotient by p is rounded from
// h * (1/p); with |x| <= 2^52 and |w| <= 0.55p the remainder x*w - q*p is exact
// and lies within 1.35 p (within 0.93p for |x| <= 4p). Transform data stay
// within 2p (forward) or 4p (inverse) between passes; sums that would outgrow
// that are reduced.
//
// L provides: V, W (lanes), load, store, set1, add, sub, mulmod(x, w, k),
// reduce(x, k) and transpose(V*) of a W x W block; k is the prime's lanes. It
// may provide split_vector, which cuts the first pieces of an integer, and
// columns_vector, which sums the first columns of a recombination.
#pragma once
#include <cstddef>
#include <cstdint>

#include "arith/ntt_table.h"

namespace NTT_ISA {

// x[i - i0] <- the w-bit piece i of {a, an} as a double, for i in [i0, i1). A
// piece takes its high bits from the next limb, read as zero past the top; pieces
// are below 2^63, so they convert as signed words.
inline void split_pieces(double* x, const std::uint64_t* a, std::size_t an, unsigned w, std::size_t i0,
                         std::size_t i1)
{
    const std::uint64_t mask = (std::uint64_t(1) << w) - 1;
    for (std::size_t i = i0; i < i1; ++i) {
        std::uint64_t bit = static_cast<std::uint64_t>(i) * w;
        std::size_t limb = bit / 64;
        unsigned shift = bit % 64;
        std::size_t next = limb + 1 < an ? limb + 1 : limb;
        std::uint64_t high = next != limb ? a[next] : 0;
        std::uint64_t v = (a[limb] >> shift) | ((high << 1) << (63 - shift));
        x[i - i0] = static_cast<double>(static_cast<std::int64_t>(v & mask));
    }
}

// Where a recombination's column sums stand before coefficient i: the parts of
// c_(i-1) and c_(i-2) that fall in column i and above.
struct column_parts {
    std::uint64_t mid;      // d1(c_(i-1)), due in column i
    std::uint64_t top;      // d2(c_(i-2)), due in column i
    std::uint64_t top_next; // d2(c_(i-1)), due in column i + 1
};

// For i in [i0, i1): c_i = x[at] + p1 y[at] at at = (n - i) mod n (x and y exact
// integers below p1 and p2), cut into w-bit parts c_i = d0 + d1 2^w + d2 2^2w;
// y[at] <- the bits of the sum d0(c_i) + d1(c_(i-1)) + d2(c_(i-2)) of column i.
inline void columns_scalar(const double* x, double* y, std::size_t n, std::size_t i0, std::size_t i1, unsigned w,
                           std::uint64_t p1, column_parts& parts)
{
    using u128 = unsigned __int128;
    const std::uint64_t mask = (std::uint64_t(1) << w) - 1;
    for (std::size_t i = i0; i < i1; ++i) {
        std::size_t at = i ? n - i : 0;
        u128 c = static_cast<u128>(p1) * static_cast<std::uint64_t>(static_cast<std::int64_t>(y[at])) +
                 static_cast<std::uint64_t>(static_cast<std::int64_t>(x[at]));
        std::uint64_t c0 = static_cast<std::uint64_t>(c), c1 = static_cast<std::uint64_t>(c >> 64);
        std::uint64_t column = (c0 & mask) + parts.mid + parts.top;
        __builtin_memcpy(&y[at], &column, sizeof column);
        parts.mid = ((c0 >> w) | (c1 << (64 - w))) & mask;
        parts.top = parts.top_next;
        parts.top_next = 2 * w >= 64 ? c1 >> (2 * w - 64) : (c0 >> (2 * w)) | (c1 << (64 - 2 * w));
    }
}

// The column sums of coefficients [i0, i1) at y[at], at = (n - i) mod n, become
// digits of base 2^w, carry going in; returns the carry out.
inline std::uint64_t carries_scalar(double* y, std::size_t n, std::size_t i0, std::size_t i1, unsigned w,
                                    std::uint64_t carry)
{
    const std::uint64_t mask = (std::uint64_t(1) << w) - 1;
    for (std::size_t i = i0; i < i1; ++i) {
        double* at = &y[i ? n - i : 0];
        std::uint64_t column;
        __builtin_memcpy(&column, at, sizeof column);
        column += carry;
        carry = column >> w;
        column &= mask;
        __builtin_memcpy(at, &column, sizeof column);
    }
    return carry;
}

template <class L>
struct transforms {
    using V = typename L::V;
    static constexpr std::size_t W = L::W;
    using K = typename L::prime;

    // The roots w_m^j of one level m, read from the table or, for the levels
    // above it, as the product of a fine root (j mod stride) and a coarse one
    // (j / stride) from the table. The product is within 0.55p.
    struct level_roots {
        const double *table, *fine, *coarse;
        std::size_t stride;

        level_roots(const ntt_prime& p, std::size_t m)
            : table(p.roots + m / 2), fine(nullptr), coarse(nullptr), stride(p.stride)
        {
            if (m > p.table_top) {
                std::size_t level = 0;
                while ((p.table_top << (level + 1)) < m)
                    ++level;
                fine = p.fine + level * stride;
                coarse = p.roots + m / stride / 2;
            }
        }
        // w_m^j, ..., w_m^(j+W-1); j is a multiple of W.
        V at(std::size_t j, const K& k) const
        {
            if (!fine)
                return L::load(table + j);
            return L::mulmod(L::load(fine + j % stride), L::set1(coarse[j / stride]), k);
        }
    };

    // Decimation in frequency, one level: butterflies j in [j0, j1) of each block
    // of size m over [x, x + len) (j1 <= m/2).
    static void dif2(double* x, std::size_t len, std::size_t m, std::size_t j0, std::size_t j1, const ntt_prime& p,
                     const K& k)
    {
        std::size_t h = m / 2;
        level_roots t(p, m);
        for (std::size_t b = 0; b < len; b += m)
            for (std::size_t j = j0; j < j1; j += W) {
                V u = L::load(x + b + j), v = L::load(x + b + j + h);
                L::store(x + b + j, L::reduce(L::add(u, v), k));
                L::store(x + b + j + h, L::mulmod(L::sub(u, v), t.at(j, k), k));
            }
    }

    // Two levels at once, for butterflies j in [j0, j1) of each block (j1 <= m/4).
    static void dif4(double* x, std::size_t len, std::size_t m, std::size_t j0, std::size_t j1, const ntt_prime& p,
                     const K& k)
    {
        std::size_t q = m / 4;
        level_roots t1(p, m), t2(p, m / 2);
        for (std::size_t b = 0; b < len; b += m) {
            double* y = x + b;
            for (std::size_t j = j0; j < j1; j += W) {
                V x0 = L::load(y + j), x1 = L::load(y + j + q), x2 = L::load(y + j + 2 * q),
                  x3 = L::load(y + j + 3 * q);
                V a0 = L::add(x0, x2), a1 = L::add(x1, x3);
                V a2 = L::mulmod(L::sub(x0, x2), t1.at(j, k), k);
                V a3 = L::mulmod(L::sub(x1, x3), t1.at(j + q, k), k);
                V w = t2.at(j, k);
                L::store(y + j, L::reduce(L::add(a0, a1), k));
                L::store(y + j + q, L::mulmod(L::sub(a0, a1), w, k));
                L::store(y + j + 2 * q, L::add(a2, a3));
                L::store(y + j + 3 * q, L::mulmod(L::sub(a2, a3), w, k));
            }
        }
    }

    // Decimation in time with the forward roots: the mirror of dif2.
    static void dit2(double* x, std::size_t len, std::size_t m, std::size_t j0, std::size_t j1, const ntt_prime& p,
                     const K& k)
    {
        std::size_t h = m / 2;
        level_roots t(p, m);
        for (std::size_t b = 0; b < len; b += m)
            for (std::size_t j = j0; j < j1; j += W) {
                V u = L::reduce(L::load(x + b + j), k);
                V v = L::mulmod(L::load(x + b + j + h), t.at(j, k), k);
                L::store(x + b + j, L::add(u, v));
                L::store(x + b + j + h, L::sub(u, v));
            }
    }

    // The mirror of dif4.
    static void dit4(double* x, std::size_t len, std::size_t m, std::size_t j0, std::size_t j1, const ntt_prime& p,
                     const K& k)
    {
        std::size_t q = m / 4;
        level_roots t1(p, m), t2(p, m / 2);
        for (std::size_t b = 0; b < len; b += m) {
            double* y = x + b;
            for (std::size_t j = j0; j < j1; j += W) {
                V w = t2.at(j, k);
                V y0 = L::reduce(L::load(y + j), k), y2 = L::reduce(L::load(y + j + 2 * q), k);
                V t = L::mulmod(L::load(y + j + q), w, k);
                V u = L::mulmod(L::load(y + j + 3 * q), w, k);
                V a0 = L::add(y0, t), a1 = L::sub(y0, t), a2 = L::add(y2, u), a3 = L::sub(y2, u);
                V s = L::mulmod(a2, t1.at(j, k), k);
                V r = L::mulmod(a3, t1.at(j + q, k), k);
                L::store(y + j, L::add(a0, s));
                L::store(y + j + 2 * q, L::sub(a0, s));
                L::store(y + j + q, L::add(a1, r));
                L::store(y + j + 3 * q, L::sub(a1, r));
            }
        }
    }

    // The forward levels of sizes M, M/2, ..., 4 across the vectors c of a
    // transposed group; the sizes are constants, so that every loop unrolls whole.
    template <std::size_t M>
    [[gnu::always_inline]] static void lane_levels_forward(V* c, const V* roots, const K& k)
    {
#pragma GCC unroll 16
        for (std::size_t b = 0; b < W; b += M)
#pragma GCC unroll 16
            for (std::size_t j = 0; j < M / 2; ++j) {
                V u = c[b + j], v = c[b + j + M / 2];
                c[b + j] = L::reduce(L::add(u, v), k);
                c[b + j + M / 2] = j ? L::mulmod(L::sub(u, v), roots[M / 2 + j], k) : L::reduce(L::sub(u, v), k);
            }
        if constexpr (M > 4)
            lane_levels_forward<M / 2>(c, roots, k);
    }

    // The inverse levels of sizes M, 2M, ..., W.
    template <std::size_t M>
    [[gnu::always_inline]] static void lane_levels_inverse(V* c, const V* roots, const K& k)
    {
        if constexpr (M <= W) {
#pragma GCC unroll 16
            for (std::size_t b = 0; b < W; b += M)
#pragma GCC unroll 16
                for (std::size_t j = 0; j < M / 2; ++j) {
                    V u = L::reduce(c[b + j], k);
                    V v = j ? L::mulmod(c[b + j + M / 2], roots[M / 2 + j], k) : L::reduce(c[b + j + M / 2], k);
                    c[b + j] = L::add(u, v);
                    c[b + j + M / 2] = L::sub(u, v);
                }
            lane_levels_inverse<2 * M>(c, roots, k);
        }
    }

    // The last log2(W) forward levels, inside blocks of W: W blocks at a time are
    // transposed so that each lane holds one block, and left so; the inverse
    // starts from that layout and transposes back.
    static void bottom_forward(double* x, std::size_t len, const double* tw, const K& k)
    {
        if constexpr (W > 1) {
            // The lanes' roots are the same for every group: broadcast once.
            V roots[W];
#pragma GCC unroll 16
            for (std::size_t i = 2; i < W; ++i)
                roots[i] = L::set1(tw[i]);
            for (std::size_t g = 0; g < len; g += W * W) {
                V c[W];
#pragma GCC unroll 16
                for (std::size_t i = 0; i < W; ++i)
                    c[i] = L::load(x + g + i * W);
                L::transpose(c);
                // The first root of each block is 1: a reduction instead of a
                // product. Every level but the last leaves its values within 0.93p,
                // so that the last, whose roots are all 1, needs neither and ends
                // within 1.86p. Unrolled whole, so that c stays in registers.
                lane_levels_forward<W>(c, roots, k);
#pragma GCC unroll 16
                for (std::size_t b = 0; b < W; b += 2) {
                    V u = c[b], v = c[b + 1];
                    c[b] = L::add(u, v);
                    c[b + 1] = L::sub(u, v);
                }
#pragma GCC unroll 16
                for (std::size_t i = 0; i < W; ++i)
                    L::store(x + g + i * W, c[i]);
            }
        }
    }

    static void bottom_inverse(double* x, std::size_t len, const double* tw, const K& k)
    {
        if constexpr (W > 1) {
            V roots[W];
#pragma GCC unroll 16
            for (std::size_t i = 2; i < W; ++i)
                roots[i] = L::set1(tw[i]);
            for (std::size_t g = 0; g < len; g += W * W) {
                V c[W];
#pragma GCC unroll 16
                for (std::size_t i = 0; i < W; ++i)
                    c[i] = L::load(x + g + i * W);
                // The mirror: the first level (roots all 1) takes the pointwise
                // products, within 1.25p, as they are and leaves them within 2.5p;
                // the first root of each later block is 1, a reduction.
#pragma GCC unroll 16
                for (std::size_t b = 0; b < W; b += 2) {
                    V u = c[b], v = c[b + 1];
                    c[b] = L::add(u, v);
                    c[b + 1] = L::sub(u, v);
                }
                lane_levels_inverse<4>(c, roots, k);
                L::transpose(c);
#pragma GCC unroll 16
                for (std::size_t i = 0; i < W; ++i)
                    L::store(x + g + i * W, c[i]);
            }
        }
    }

    // Levels above the lanes: log2(m / W).
    static unsigned vector_levels(std::size_t m)
    {
        unsigned v = 0;
        while ((W << v) < m)
            ++v;
        return v;
    }

    // A whole transform of the block x[0, m), cache resident.
    static void forward_block(double* x, std::size_t m, const ntt_prime& p, const K& k)
    {
        std::size_t s = m;
        if (vector_levels(m) % 2) {
            dif2(x, m, s, 0, s / 2, p, k);
            s /= 2;
        }
        for (; s >= 4 * W; s /= 4)
            dif4(x, m, s, 0, s / 4, p, k);
        bottom_forward(x, m, p.roots, k);
    }

    static void inverse_block(double* x, std::size_t m, const ntt_prime& p, const K& k)
    {
        bottom_inverse(x, m, p.roots, k);
        unsigned v = vector_levels(m);
        std::size_t s = 4 * W;
        for (unsigned i = 0; i < v / 2; ++i, s *= 4)
            dit4(x, m, s, 0, s / 4, p, k);
        if (v % 2)
            dit2(x, m, m, 0, m / 2, p, k);
    }

    // Blocks of this many residues are transformed whole in the caches.
    static constexpr std::size_t block = std::size_t(1) << 13;

    // For a power of two m: the top pass is one level (2) or two (4) so that the
    // levels above the lanes come in pairs below it.
    static std::size_t top_radix(std::size_t m)
    {
        return vector_levels(m) % 2 ? 2 : 4;
    }

    // The top pass of a power-of-two size m, butterflies [j0, j1) of m / top_radix(m);
    // the parts are then independent transforms of size m / top_radix(m).
    static void forward_top(double* x, std::size_t m, std::size_t j0, std::size_t j1, const ntt_prime& p,
                            const K& k)
    {
        if (top_radix(m) == 2)
            dif2(x, m, m, j0, j1, p, k);
        else
            dif4(x, m, m, j0, j1, p, k);
    }

    // Its mirror, the last pass of an inverse, after the inverses of the parts.
    static void inverse_top(double* x, std::size_t m, std::size_t j0, std::size_t j1, const ntt_prime& p,
                            const K& k)
    {
        if (top_radix(m) == 2)
            dit2(x, m, m, j0, j1, p, k);
        else
            dit4(x, m, m, j0, j1, p, k);
    }

    // Transforms of a power-of-two size m.
    static void forward2(double* x, std::size_t m, const ntt_prime& p, const K& k)
    {
        if (m <= block) {
            forward_block(x, m, p, k);
            return;
        }
        std::size_t part = m / top_radix(m);
        forward_top(x, m, 0, part, p, k);
        for (std::size_t i = 0; i < m; i += part)
            forward2(x + i, part, p, k);
    }

    static void inverse2(double* x, std::size_t m, const ntt_prime& p, const K& k)
    {
        if (m <= block) {
            inverse_block(x, m, p, k);
            return;
        }
        std::size_t part = m / top_radix(m);
        for (std::size_t i = 0; i < m; i += part)
            inverse2(x + i, part, p, k);
        inverse_top(x, m, 0, part, p, k);
    }

    // The twiddles w_3m^j and w_3m^2j of the radix-3 pass, each the product of a
    // fine and a coarse root (see ntt_prime).
    struct thirds {
        const double* t;
        std::size_t stride, coarse;

        thirds(const ntt_prime& p, std::size_t m) : t(p.twiddles3), stride(p.stride3), coarse(m / p.stride3) {}
        V once(std::size_t j, const K& k) const
        {
            return L::mulmod(L::load(t + j % stride), L::set1(t[stride + j / stride]), k);
        }
        V twice(std::size_t j, const K& k) const
        {
            const double* u = t + stride + coarse;
            return L::mulmod(L::load(u + j % stride), L::set1(u[stride + j / stride]), k);
        }
    };

    // Sizes 3m: a radix-3 pass over thirds x0, x1, x2 (butterflies [j0, j1)),
    // y_r = w^(j r) sum_t omega^(t r) x_t, omega = w^m, with omega^2 = -1 - omega;
    // each third is then a transform of size m.
    static void radix3_forward(double* x, std::size_t m, std::size_t j0, std::size_t j1, const ntt_prime& p,
                               const K& k)
    {
        thirds w(p, m);
        V omega = L::set1(p.omega);
        for (std::size_t j = j0; j < j1; j += W) {
            V x0 = L::load(x + j), x1 = L::load(x + j + m), x2 = L::load(x + j + 2 * m);
            V t = L::mulmod(L::sub(x1, x2), omega, k);
            L::store(x + j, L::reduce(L::add(L::add(x0, x1), x2), k));
            L::store(x + j + m, L::mulmod(L::add(L::sub(x0, x2), t), w.once(j, k), k));
            L::store(x + j + 2 * m, L::mulmod(L::sub(L::sub(x0, x1), t), w.twice(j, k), k));
        }
    }

    // Its mirror, after the inverse transforms of the thirds.
    static void radix3_inverse(double* x, std::size_t m, std::size_t j0, std::size_t j1, const ntt_prime& p,
                               const K& k)
    {
        thirds w(p, m);
        V omega = L::set1(p.omega);
        for (std::size_t j = j0; j < j1; j += W) {
            V u0 = L::reduce(L::load(x + j), k);
            V u1 = L::mulmod(L::load(x + j + m), w.once(j, k), k);
            V u2 = L::mulmod(L::load(x + j + 2 * m), w.twice(j, k), k);
            V t = L::mulmod(L::sub(u1, u2), omega, k);
            L::store(x + j, L::add(L::add(u0, u1), u2));
            L::store(x + j + m, L::add(L::sub(u0, u2), t));
            L::store(x + j + 2 * m, L::sub(L::sub(u0, u1), t));
        }
    }

    static void forward(double* x, std::size_t n, const ntt_prime& p)
    {
        K k(p);
        if (n & (n - 1)) {
            std::size_t m = n / 3;
            radix3_forward(x, m, 0, m, p, k);
            for (int r = 0; r < 3; ++r)
                forward2(x + r * m, m, p, k);
        } else {
            forward2(x, n, p, k);
        }
    }

    static void inverse(double* x, std::size_t n, const ntt_prime& p)
    {
        K k(p);
        if (n & (n - 1)) {
            std::size_t m = n / 3;
            for (int r = 0; r < 3; ++r)
                inverse2(x + r * m, m, p, k);
            radix3_inverse(x, m, 0, m, p, k);
        } else {
            inverse2(x, n, p, k);
        }
    }

    // x <- x * y, both within 2p; the result is within 1.25p.
    static void pointwise(double* x, const double* y, std::size_t n, const K& k)
    {
        for (std::size_t i = 0; i < n; i += W)
            L::store(x + i, L::mulmod(L::load(x + i), L::load(y + i), k));
    }

    // x <- z +- x * y: the sum within 2.5p, reduced.
    static void pointwise_add(double* x, const double* y, const double* z, std::size_t n, bool subtract,
                              const K& k)
    {
        for (std::size_t i = 0; i < n; i += W) {
            V m = L::mulmod(L::load(x + i), L::load(y + i), k), u = L::load(z + i);
            L::store(x + i, L::reduce(subtract ? L::sub(u, m) : L::add(u, m), k));
        }
    }

    // x <- x mod p in [0, p), x within 4p.
    static V normalise(V x, const K& k)
    {
        return L::nonnegative(L::reduce(x, k), k);
    }

    // From the inverse transforms of both primes, scaled by n: x <- r1 in [0, p1),
    // y <- v in [0, p2) with r1 + p1 * v the coefficient mod p1 p2.
    static void garner(double* x, double* y, std::size_t n, const K& k1, const K& k2, double n_inv1, double n_inv2,
                       double p1_inv2)
    {
        V s1 = L::set1(n_inv1), s2 = L::set1(n_inv2), c = L::set1(p1_inv2);
        for (std::size_t i = 0; i < n; i += W) {
            V r1 = normalise(L::mulmod(L::load(x + i), s1, k1), k1);
            V r2 = L::mulmod(L::load(y + i), s2, k2);
            V v = normalise(L::mulmod(L::sub(r2, r1), c, k2), k2);
            L::store(x + i, r1);
            L::store(y + i, v);
        }
    }

    // x[i] <- x[i - chunk] * step for chunk <= i < count, reduced; chunk is a
    // multiple of W, so that chunk / W products are in flight at once.
    static void powers(double* x, std::size_t count, std::size_t chunk, double step, const K& k)
    {
        V s = L::set1(step);
        for (std::size_t i = chunk; i < count; i += W)
            L::store(x + i, L::reduce(L::mulmod(L::load(x + i - chunk), s, k), k));
    }
};

// The carries' kernel where L has a vector one, else null.
template <class L>
constexpr auto carries_of() -> decltype(ntt_kernels::carries)
{
    if constexpr (requires(double* y, std::uint64_t& c) { L::carries_vector(y, 1, 1, 1, 1u, c); }) {
        return [](double* y, std::size_t n, std::size_t i0, std::size_t i1, unsigned w, std::uint64_t carry) {
            std::size_t i = i0;
            if (i == 0 && i < i1)
                carry = carries_scalar(y, n, 0, ++i, w, carry);
            i = L::carries_vector(y, n, i, i1, w, carry);
            return carries_scalar(y, n, i, i1, w, carry);
        };
    } else {
        return nullptr;
    }
}

// The packing kernel where L has one, else null.
template <class L>
constexpr auto pack_of() -> decltype(ntt_kernels::pack)
{
    if constexpr (requires(std::uint64_t* r, const double* y) { L::pack_vector(r, 1, 1, y, 1, 1, 1u); })
        return [](std::uint64_t* r, std::size_t q0, std::size_t q1, const double* y, std::size_t n, std::size_t end,
                  unsigned w) { return L::pack_vector(r, q0, q1, y, n, end, w); };
    else
        return nullptr;
}

// The kernel table of this instruction set.
template <class L>
constexpr ntt_kernels kernels_of()
{
    using T = transforms<L>;
    using K = typename L::prime;
    return ntt_kernels{
        L::W,
        [](std::size_t n) { return T::top_radix(n); },
        [](double* x, std::size_t n, const ntt_prime& p) { T::forward(x, n, p); },
        [](double* x, std::size_t n, const ntt_prime& p) { T::inverse(x, n, p); },
        [](double* x, std::size_t n, const ntt_prime& p) { T::inverse2(x, n, p, K(p)); },
        [](double* x, std::size_t n, std::size_t j0, std::size_t j1, const ntt_prime& p) {
            T::inverse_top(x, n, j0, j1, p, K(p));
        },
        [](double* x, const double* y, std::size_t n, const ntt_prime& p) { T::pointwise(x, y, n, K(p)); },
        [](double* x, const double* y, const double* z, std::size_t n, bool subtract, const ntt_prime& p) {
            T::pointwise_add(x, y, z, n, subtract, K(p));
        },
        [](double* x, double* y, std::size_t n, const ntt_prime& p1, const ntt_prime& p2, double n_inv1,
           double n_inv2, double p1_inv2) { T::garner(x, y, n, K(p1), K(p2), n_inv1, n_inv2, p1_inv2); },
        [](double* x, std::size_t count, std::size_t chunk, double step, const ntt_prime& p) {
            T::powers(x, count, chunk, step, K(p));
        },
        [](double* x, std::size_t m, std::size_t j0, std::size_t j1, const ntt_prime& p) {
            T::radix3_inverse(x, m, j0, j1, p, K(p));
        },
        [](double* x, std::size_t n, const std::uint64_t* a, std::size_t an, unsigned w, std::size_t count) {
            std::size_t done = 0;
            if constexpr (requires { L::split_vector(x, a, an, w, count); })
                done = L::split_vector(x, a, an, w, count);
            split_pieces(x + done, a, an, w, done, count);
            for (std::size_t i = count; i < n; ++i)
                x[i] = 0;
        },
        [](const double* x, double* y, std::size_t n, std::size_t i0, std::size_t i1, unsigned w, std::uint64_t p1,
           std::uint64_t tail[3]) {
            column_parts parts{0, 0, 0};
            std::size_t i = i0;
            if (i == 0 && i < i1)
                columns_scalar(x, y, n, 0, ++i, w, p1, parts);
            if constexpr (requires { L::columns_vector(x, y, n, i, i1, w, p1, parts); })
                i = L::columns_vector(x, y, n, i, i1, w, p1, parts);
            columns_scalar(x, y, n, i, i1, w, p1, parts);
            tail[0] = parts.mid;
            tail[1] = parts.top;
            tail[2] = parts.top_next;
        },
        carries_of<L>(),
        pack_of<L>(),
    };
}

} // namespace NTT_ISA
