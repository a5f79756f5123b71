// What the transform driver needs of one instruction set: its kernels, as a
// table of plain functions, and the description of one prime they work with.
#pragma once
#include <cstddef>
#include <cstdint>

// A prime below 2^49 with its reciprocal and its roots of unity, each held in
// [-p/2, p/2] up to a few units; w_m is a primitive m-th root.
// - roots[m/2 + j] = w_m^j for the powers of two m <= table_top and j < m/2.
// - Above: w_m^j = fine_m[j mod stride] * w_(m/stride)^(j / stride), with fine_m
//   at fine + stride * (log2(m / table_top) - 1); m / stride <= table_top.
// - Sizes n = 3m: w_n^j = t[j mod s] * t[s + j / s] and w_n^2j = u[j mod s] *
//   u[s + j / s], with t = twiddles3, s = stride3, u = t + s + m / s; omega = w_n^m.
struct ntt_prime {
    double p;
    double inverse; // 1/p, rounded
    const double* roots;
    std::size_t table_top;
    const double* fine;
    std::size_t stride;
    const double* twiddles3;
    std::size_t stride3;
    double omega;
};

// Transforms of size n, a power of two or three times one, with n >= lanes^2
// (3 lanes^2 for the latter). The forward transform leaves its values in an order
// of its own that the inverse takes back; the inverse, run on forward(x) *
// forward(y), leaves n * (x * y)[i] mod p at index (n - i) mod n, so that it
// needs no table of inverse roots.
struct ntt_kernels {
    std::size_t lanes;
    // For a power of two n, 2 or 4: before the last pass of its inverse, the data
    // are this many independent transforms of size n / top_radix(n).
    std::size_t (*top_radix)(std::size_t n);
    void (*forward)(double* x, std::size_t n, const ntt_prime& p);
    void (*inverse)(double* x, std::size_t n, const ntt_prime& p);
    // The inverse of a power-of-two size alone (a third of a size 3m).
    void (*inverse_power_of_two)(double* x, std::size_t n, const ntt_prime& p);
    // Butterflies [j0, j1) of the last pass of inverse_power_of_two (j1 <= n / top_radix(n)).
    void (*inverse_top)(double* x, std::size_t n, std::size_t j0, std::size_t j1, const ntt_prime& p);
    // x <- x * y mod p, elementwise (n a multiple of lanes).
    void (*pointwise)(double* x, const double* y, std::size_t n, const ntt_prime& p);
    // x <- z + x * y mod p, or z - x * y when subtract: x and y within 2p, z within
    // 1.25p (a pointwise product); the result within 1.25p.
    void (*pointwise_add)(double* x, const double* y, const double* z, std::size_t n, bool subtract,
                          const ntt_prime& p);
    // Residues x mod p1 and y mod p2 of n * c, c < p1 p2, become r1 = c mod p1 in x
    // and v in y, both in [0, p), with c = r1 + p1 * v; p1_inv2 = 1/p1 mod p2.
    void (*garner)(double* x, double* y, std::size_t n, const ntt_prime& p1, const ntt_prime& p2, double n_inv1,
                   double n_inv2, double p1_inv2);
    // x[i] <- x[i - chunk] * step mod p for chunk <= i < count (chunk and count
    // multiples of lanes), each within (-p/2, p/2] up to rounding.
    void (*powers)(double* x, std::size_t count, std::size_t chunk, double step, const ntt_prime& p);
    // Butterflies [j0, j1) of the last inverse pass of a size 3m, after the
    // inverses of its thirds.
    void (*radix3_inverse)(double* x, std::size_t m, std::size_t j0, std::size_t j1, const ntt_prime& p);
    // x[0, count) <- the w-bit pieces of {a, an} (w <= 48), low first, as doubles;
    // x[count, n) <- 0.
    void (*split)(double* x, std::size_t n, const std::uint64_t* a, std::size_t an, unsigned w, std::size_t count);
    // For i in [i0, i1), i0 < n: c_i = x[at] + p1 y[at] at at = (n - i) mod n, as
    // garner leaves them, cut into w-bit parts c_i = d0 + d1 2^w + d2 2^2w;
    // y[at] <- the bits of the sum d0(c_i) + d1(c_(i-1)) + d2(c_(i-2)) of column
    // i, the parts of coefficients below i0 taken as zero. tail <- d1(c_(i1-1)),
    // d2(c_(i1-2)) and d2(c_(i1-1)), the parts that fall above column i1 - 1.
    void (*columns)(const double* x, double* y, std::size_t n, std::size_t i0, std::size_t i1, unsigned w,
                    std::uint64_t p1, std::uint64_t tail[3]);
    // Null where the recombination carries and packs the columns in one scalar
    // pass. For i in [i0, i1), i0 < n, the column sums (below 2^62) at y[at], at =
    // (n - i) mod n, become the digits of base 2^w that their carries leave, carry
    // going into column i0; returns the carry out of column i1 - 1.
    std::uint64_t (*carries)(double* y, std::size_t n, std::size_t i0, std::size_t i1, unsigned w,
                             std::uint64_t carry);
    // With digits d_j at y[n - j] for j in [1, end): r[q] <- bits [64q, 64q + 64)
    // of the sum of the d_j 2^(jw), for q from q0 on in whole groups of lanes,
    // while q < q1 and it reads no digit from end on (the limbs before q1 lie
    // within the digits). Returns where it stopped (q0 for a w it does not take);
    // null where carries is, and the recombination takes both or neither.
    std::size_t (*pack)(std::uint64_t* r, std::size_t q0, std::size_t q1, const double* y, std::size_t n,
                        std::size_t end, unsigned w);
};

// The kernels of each instruction set; the vector ones only run where the
// processor has the instructions.
extern const ntt_kernels ntt_kernels_generic;
extern const ntt_kernels ntt_kernels_avx2;
extern const ntt_kernels ntt_kernels_avx512;
