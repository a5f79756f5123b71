// The transforms of one prime below 2^49, written once over a lane type L and
// compiled by each ntt_<isa>.cpp for its instruction set; included nowhere else.
//
// Residues are doubles holding exact integers. A product x*w is split exactly
// into h + l by a fused multiply-add, and the quotient by p is rounded from
// h * (1/p); with |x| <= 2^52 and |w| <= p/2 the remainder x*w - q*p is exact
// and lies within 1.25 p. Transform data stay within 2p (forward) or 4p
// (inverse) between passes; sums that would outgrow that are reduced.
//
// L provides: V, W (lanes), load, store, set1, add, sub, mulmod(x, w, k),
// reduce(x, k) and transpose(V*) of a W x W block; k is the prime's lanes.
#pragma once
#include <cstddef>

#include "arith/ntt_table.h"

namespace NTT_ISA {

template <class L>
struct transforms {
    using V = typename L::V;
    static constexpr std::size_t W = L::W;
    using K = typename L::prime;

    // Decimation in frequency, one level: butterflies j in [j0, j1) of each block
    // of size m over [x, x + len) (j1 <= m/2).
    static void dif2(double* x, std::size_t len, std::size_t m, std::size_t j0, std::size_t j1, const double* tw,
                     const K& k)
    {
        std::size_t h = m / 2;
        const double* t = tw + h;
        for (std::size_t b = 0; b < len; b += m)
            for (std::size_t j = j0; j < j1; j += W) {
                V u = L::load(x + b + j), v = L::load(x + b + j + h);
                L::store(x + b + j, L::reduce(L::add(u, v), k));
                L::store(x + b + j + h, L::mulmod(L::sub(u, v), L::load(t + j), k));
            }
    }

    // Two levels at once, for butterflies j in [j0, j1) of each block (j1 <= m/4).
    static void dif4(double* x, std::size_t len, std::size_t m, std::size_t j0, std::size_t j1, const double* tw,
                     const K& k)
    {
        std::size_t q = m / 4;
        const double* t1 = tw + m / 2; // w_m^j
        const double* t2 = tw + q;     // w_{m/2}^j
        for (std::size_t b = 0; b < len; b += m) {
            double* y = x + b;
            for (std::size_t j = j0; j < j1; j += W) {
                V x0 = L::load(y + j), x1 = L::load(y + j + q), x2 = L::load(y + j + 2 * q),
                  x3 = L::load(y + j + 3 * q);
                V a0 = L::add(x0, x2), a1 = L::add(x1, x3);
                V a2 = L::mulmod(L::sub(x0, x2), L::load(t1 + j), k);
                V a3 = L::mulmod(L::sub(x1, x3), L::load(t1 + j + q), k);
                V w = L::load(t2 + j);
                L::store(y + j, L::reduce(L::add(a0, a1), k));
                L::store(y + j + q, L::mulmod(L::sub(a0, a1), w, k));
                L::store(y + j + 2 * q, L::add(a2, a3));
                L::store(y + j + 3 * q, L::mulmod(L::sub(a2, a3), w, k));
            }
        }
    }

    // Decimation in time with the forward roots: the mirror of dif2.
    static void dit2(double* x, std::size_t len, std::size_t m, std::size_t j0, std::size_t j1, const double* tw,
                     const K& k)
    {
        std::size_t h = m / 2;
        const double* t = tw + h;
        for (std::size_t b = 0; b < len; b += m)
            for (std::size_t j = j0; j < j1; j += W) {
                V u = L::reduce(L::load(x + b + j), k);
                V v = L::mulmod(L::load(x + b + j + h), L::load(t + j), k);
                L::store(x + b + j, L::add(u, v));
                L::store(x + b + j + h, L::sub(u, v));
            }
    }

    // The mirror of dif4.
    static void dit4(double* x, std::size_t len, std::size_t m, std::size_t j0, std::size_t j1, const double* tw,
                     const K& k)
    {
        std::size_t q = m / 4;
        const double* t1 = tw + m / 2;
        const double* t2 = tw + q;
        for (std::size_t b = 0; b < len; b += m) {
            double* y = x + b;
            for (std::size_t j = j0; j < j1; j += W) {
                V w = L::load(t2 + j);
                V y0 = L::reduce(L::load(y + j), k), y2 = L::reduce(L::load(y + j + 2 * q), k);
                V t = L::mulmod(L::load(y + j + q), w, k);
                V u = L::mulmod(L::load(y + j + 3 * q), w, k);
                V a0 = L::add(y0, t), a1 = L::sub(y0, t), a2 = L::add(y2, u), a3 = L::sub(y2, u);
                V s = L::mulmod(a2, L::load(t1 + j), k);
                V r = L::mulmod(a3, L::load(t1 + j + q), k);
                L::store(y + j, L::add(a0, s));
                L::store(y + j + 2 * q, L::sub(a0, s));
                L::store(y + j + q, L::add(a1, r));
                L::store(y + j + 3 * q, L::sub(a1, r));
            }
        }
    }

    // The last log2(W) forward levels, inside blocks of W: W blocks at a time are
    // transposed so that each lane holds one block, and left so; the inverse
    // starts from that layout and transposes back.
    static void bottom_forward(double* x, std::size_t len, const double* tw, const K& k)
    {
        if constexpr (W > 1) {
            for (std::size_t g = 0; g < len; g += W * W) {
                V c[W];
                for (std::size_t i = 0; i < W; ++i)
                    c[i] = L::load(x + g + i * W);
                L::transpose(c);
                for (std::size_t m = W; m >= 2; m /= 2)
                    for (std::size_t b = 0; b < W; b += m)
                        for (std::size_t j = 0; j < m / 2; ++j) {
                            V u = c[b + j], v = c[b + j + m / 2];
                            c[b + j] = L::reduce(L::add(u, v), k);
                            c[b + j + m / 2] = L::mulmod(L::sub(u, v), L::set1(tw[m / 2 + j]), k);
                        }
                for (std::size_t i = 0; i < W; ++i)
                    L::store(x + g + i * W, c[i]);
            }
        }
    }

    static void bottom_inverse(double* x, std::size_t len, const double* tw, const K& k)
    {
        if constexpr (W > 1) {
            for (std::size_t g = 0; g < len; g += W * W) {
                V c[W];
                for (std::size_t i = 0; i < W; ++i)
                    c[i] = L::load(x + g + i * W);
                for (std::size_t m = 2; m <= W; m *= 2)
                    for (std::size_t b = 0; b < W; b += m)
                        for (std::size_t j = 0; j < m / 2; ++j) {
                            V u = L::reduce(c[b + j], k);
                            V v = L::mulmod(c[b + j + m / 2], L::set1(tw[m / 2 + j]), k);
                            c[b + j] = L::add(u, v);
                            c[b + j + m / 2] = L::sub(u, v);
                        }
                L::transpose(c);
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
    static void forward_block(double* x, std::size_t m, const double* tw, const K& k)
    {
        std::size_t s = m;
        if (vector_levels(m) % 2) {
            dif2(x, m, s, 0, s / 2, tw, k);
            s /= 2;
        }
        for (; s >= 4 * W; s /= 4)
            dif4(x, m, s, 0, s / 4, tw, k);
        bottom_forward(x, m, tw, k);
    }

    static void inverse_block(double* x, std::size_t m, const double* tw, const K& k)
    {
        bottom_inverse(x, m, tw, k);
        unsigned v = vector_levels(m);
        std::size_t s = 4 * W;
        for (unsigned i = 0; i < v / 2; ++i, s *= 4)
            dit4(x, m, s, 0, s / 4, tw, k);
        if (v % 2)
            dit2(x, m, m, 0, m / 2, tw, k);
    }

    // Blocks of this many residues are transformed whole in the caches.
    static constexpr std::size_t block = std::size_t(1) << 13;

    // Transforms of a power-of-two size m.
    static void forward2(double* x, std::size_t m, const double* tw, const K& k)
    {
        if (m <= block) {
            forward_block(x, m, tw, k);
        } else if (vector_levels(m) % 2) {
            dif2(x, m, m, 0, m / 2, tw, k);
            forward2(x, m / 2, tw, k);
            forward2(x + m / 2, m / 2, tw, k);
        } else {
            dif4(x, m, m, 0, m / 4, tw, k);
            for (int i = 0; i < 4; ++i)
                forward2(x + i * (m / 4), m / 4, tw, k);
        }
    }

    static void inverse2(double* x, std::size_t m, const double* tw, const K& k)
    {
        if (m <= block) {
            inverse_block(x, m, tw, k);
        } else if (vector_levels(m) % 2) {
            inverse2(x, m / 2, tw, k);
            inverse2(x + m / 2, m / 2, tw, k);
            dit2(x, m, m, 0, m / 2, tw, k);
        } else {
            for (int i = 0; i < 4; ++i)
                inverse2(x + i * (m / 4), m / 4, tw, k);
            dit4(x, m, m, 0, m / 4, tw, k);
        }
    }

    // Sizes 3m: a radix-3 pass over thirds x0, x1, x2 (butterflies [j0, j1)),
    // y_r = w^(j r) sum_t omega^(t r) x_t, omega = w^m, with omega^2 = -1 - omega;
    // each third is then a transform of size m.
    static void radix3_forward(double* x, std::size_t m, std::size_t j0, std::size_t j1, const ntt_prime& p,
                               const K& k)
    {
        const double *w1 = p.twiddles3, *w2 = p.twiddles3 + m;
        V omega = L::set1(p.omega);
        for (std::size_t j = j0; j < j1; j += W) {
            V x0 = L::load(x + j), x1 = L::load(x + j + m), x2 = L::load(x + j + 2 * m);
            V t = L::mulmod(L::sub(x1, x2), omega, k);
            L::store(x + j, L::reduce(L::add(L::add(x0, x1), x2), k));
            L::store(x + j + m, L::mulmod(L::add(L::sub(x0, x2), t), L::load(w1 + j), k));
            L::store(x + j + 2 * m, L::mulmod(L::sub(L::sub(x0, x1), t), L::load(w2 + j), k));
        }
    }

    // Its mirror, after the inverse transforms of the thirds.
    static void radix3_inverse(double* x, std::size_t m, std::size_t j0, std::size_t j1, const ntt_prime& p,
                               const K& k)
    {
        const double *w1 = p.twiddles3, *w2 = p.twiddles3 + m;
        V omega = L::set1(p.omega);
        for (std::size_t j = j0; j < j1; j += W) {
            V u0 = L::reduce(L::load(x + j), k);
            V u1 = L::mulmod(L::load(x + j + m), L::load(w1 + j), k);
            V u2 = L::mulmod(L::load(x + j + 2 * m), L::load(w2 + j), k);
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
                forward2(x + r * m, m, p.roots, k);
        } else {
            forward2(x, n, p.roots, k);
        }
    }

    static void inverse(double* x, std::size_t n, const ntt_prime& p)
    {
        K k(p);
        if (n & (n - 1)) {
            std::size_t m = n / 3;
            for (int r = 0; r < 3; ++r)
                inverse2(x + r * m, m, p.roots, k);
            radix3_inverse(x, m, 0, m, p, k);
        } else {
            inverse2(x, n, p.roots, k);
        }
    }

    // x <- x * y, both within 2p; the result is within 1.25p.
    static void pointwise(double* x, const double* y, std::size_t n, const K& k)
    {
        for (std::size_t i = 0; i < n; i += W)
            L::store(x + i, L::mulmod(L::load(x + i), L::load(y + i), k));
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

    // The last pass of an inverse transform of a power-of-two size n, butterflies
    // [j0, j1) of n / top_radix(n), after the transforms of its halves or quarters.
    static void inverse_top(double* x, std::size_t n, std::size_t j0, std::size_t j1, const double* tw, const K& k)
    {
        if (vector_levels(n) % 2)
            dit2(x, n, n, j0, j1, tw, k);
        else
            dit4(x, n, n, j0, j1, tw, k);
    }
};

// The kernel table of this instruction set.
template <class L>
constexpr ntt_kernels kernels_of()
{
    using T = transforms<L>;
    using K = typename L::prime;
    return ntt_kernels{
        L::W,
        [](std::size_t n) -> std::size_t { return T::vector_levels(n) % 2 ? 2 : 4; },
        [](double* x, std::size_t n, const ntt_prime& p) { T::forward(x, n, p); },
        [](double* x, std::size_t n, const ntt_prime& p) { T::inverse(x, n, p); },
        [](double* x, std::size_t n, const ntt_prime& p) { T::inverse2(x, n, p.roots, K(p)); },
        [](double* x, std::size_t n, std::size_t j0, std::size_t j1, const ntt_prime& p) {
            T::inverse_top(x, n, j0, j1, p.roots, K(p));
        },
        [](double* x, const double* y, std::size_t n, const ntt_prime& p) { T::pointwise(x, y, n, K(p)); },
        [](double* x, double* y, std::size_t n, const ntt_prime& p1, const ntt_prime& p2, double n_inv1,
           double n_inv2, double p1_inv2) { T::garner(x, y, n, K(p1), K(p2), n_inv1, n_inv2, p1_inv2); },
        [](double* x, std::size_t count, std::size_t chunk, double step, const ntt_prime& p) {
            T::powers(x, count, chunk, step, K(p));
        },
        [](double* x, std::size_t m, std::size_t j0, std::size_t j1, const ntt_prime& p) {
            T::radix3_inverse(x, m, j0, j1, p, K(p));
        },
    };
}

} // namespace NTT_ISA
