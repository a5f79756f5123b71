#include "arith/ntt.h"

#include <bit>
#include <cstdint>
#include <memory>
#include <thread>

#include "arith/ntt_table.h"

namespace {

using u64 = std::uint64_t;
using u128 = unsigned __int128;

// Two primes below 2^49 of the form k * 3 * 2^33 + 1 with a primitive root of each.
constexpr u64 prime1 = 562941363486721, root1 = 13;
constexpr u64 prime2 = 562477507018753, root2 = 10;

u64 mul_mod(u64 a, u64 b, u64 p)
{
    return static_cast<u64>(static_cast<u128>(a) * b % p);
}

u64 pow_mod(u64 a, u64 e, u64 p)
{
    u64 r = 1;
    for (; e; e >>= 1, a = mul_mod(a, a, p))
        if (e & 1)
            r = mul_mod(r, a, p);
    return r;
}

// The residue v in (-p/2, p/2], as a double.
double centred(u64 v, u64 p)
{
    return v > p / 2 ? -static_cast<double>(p - v) : static_cast<double>(v);
}

// roots[m/2 + j] = w_m^j for m = n, n/2, ..., 2 (see ntt_prime).
void fill_roots(const ntt_kernels& k, double* roots, const ntt_prime& prime, std::size_t n, u64 p, u64 g)
{
    u64 w = pow_mod(g, (p - 1) / n, p);
    // The first powers one by one, the rest by independent chains of products.
    std::size_t chunk = 4 * k.lanes < n / 2 ? 4 * k.lanes : n / 2;
    u64 x = 1;
    for (std::size_t j = 0; j < chunk; ++j, x = mul_mod(x, w, p))
        roots[n / 2 + j] = centred(x, p);
    k.powers(roots + n / 2, n / 2, chunk, centred(x, p), prime);
    // w_m^j = w_2m^2j.
    for (std::size_t m = n / 2; m >= 2; m /= 2)
        for (std::size_t j = 0; j < m / 2; ++j)
            roots[m / 2 + j] = roots[m + 2 * j];
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
struct plan {
    unsigned w;
    std::size_t la, lb, n;
};

plan plan_for(u64 abits, u64 bbits)
{
    const u128 modulus = static_cast<u128>(prime1) * prime2;
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
    s.n = std::bit_ceil(s.la + s.lb - 1);
    if (s.n < 64)
        s.n = 64;
    return s;
}

// x[0, count) <- the w-bit pieces of {a, an}, low first; x[count, n) <- 0.
void split(double* x, std::size_t n, const mp_limb_t* a, std::size_t an, unsigned w, std::size_t count)
{
    const u64 mask = (u64(1) << w) - 1;
    for (std::size_t i = 0; i < count; ++i) {
        u64 bit = static_cast<u64>(i) * w;
        std::size_t limb = bit / 64;
        unsigned shift = bit % 64;
        u64 v = a[limb] >> shift;
        if (shift + w > 64 && limb + 1 < an)
            v |= a[limb + 1] << (64 - shift);
        x[i] = static_cast<double>(v & mask);
    }
    for (std::size_t i = count; i < n; ++i)
        x[i] = 0;
}

// {r, rn} <- sum of c_i 2^(i w) for i < count, with c_i = r1 + p1 v read from
// index (n - i) mod n of x (r1) and y (v).
void recombine(mp_limb_t* r, std::size_t rn, const double* x, const double* y, std::size_t n, unsigned w,
               std::size_t count)
{
    // The sum so far above the limbs already written, in three words.
    u64 a0 = 0, a1 = 0, a2 = 0;
    std::size_t o = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t at = (n - i) & (n - 1);
        u128 c = static_cast<u128>(prime1) * static_cast<u64>(y[at]) + static_cast<u64>(x[at]);
        u64 bit = static_cast<u64>(i) * w;
        while (bit - 64 * static_cast<u64>(o) >= 64) {
            r[o++] = a0;
            a0 = a1;
            a1 = a2;
            a2 = 0;
        }
        unsigned s = static_cast<unsigned>(bit - 64 * static_cast<u64>(o));
        u64 lo = static_cast<u64>(c), hi = static_cast<u64>(c >> 64);
        u64 w0 = lo << s, w1 = s ? (lo >> (64 - s)) | (hi << s) : hi, w2 = s ? hi >> (64 - s) : 0;
        u128 t = static_cast<u128>(a0) + w0;
        a0 = static_cast<u64>(t);
        t = static_cast<u128>(a1) + w1 + static_cast<u64>(t >> 64);
        a1 = static_cast<u64>(t);
        a2 += w2 + static_cast<u64>(t >> 64);
    }
    while (o < rn) {
        r[o++] = a0;
        a0 = a1;
        a1 = a2;
        a2 = 0;
    }
}

// Runs first(0) here and, with two threads, first(1) beside it; joins.
template <class F>
void on_threads(unsigned threads, F body)
{
    if (threads < 2) {
        body(0u, 1u);
        return;
    }
    std::thread other([&body] { body(1u, 2u); });
    body(0u, 2u);
    other.join();
}

struct prime_context {
    ntt_prime p;
    u64 value;
};

// The transforms of one prime: x <- n * (a * b) mod p (read back as for inverse),
// y used as scratch.
void product_mod(const ntt_kernels& k, const ntt_prime& p, double* x, double* y, const mp_limb_t* ap,
                 std::size_t an, const mp_limb_t* bp, std::size_t bn, const plan& s, unsigned threads)
{
    if (threads < 2) {
        split(x, s.n, ap, an, s.w, s.la);
        k.forward(x, s.n, p);
        split(y, s.n, bp, bn, s.w, s.lb);
        k.forward(y, s.n, p);
        k.pointwise(x, y, s.n, p);
        k.inverse(x, s.n, p);
        return;
    }
    on_threads(2, [&](unsigned t, unsigned) {
        if (t == 0) {
            split(x, s.n, ap, an, s.w, s.la);
            k.forward(x, s.n, p);
        } else {
            split(y, s.n, bp, bn, s.w, s.lb);
            k.forward(y, s.n, p);
        }
    });
    std::size_t half = s.n / 2;
    on_threads(2, [&](unsigned t, unsigned) { k.pointwise(x + t * half, y + t * half, half, p); });
    // The inverse: its independent parts on both threads, then its last pass split.
    std::size_t r = k.top_radix(s.n), part = s.n / r, span = part / 2;
    on_threads(2, [&](unsigned t, unsigned) {
        for (std::size_t i = t * r / 2; i < (t + 1) * r / 2; ++i)
            k.inverse(x + i * part, part, p);
    });
    on_threads(2, [&](unsigned t, unsigned) { k.inverse_top(x, s.n, t * span, (t + 1) * span, p); });
}

} // namespace

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

ntt_path ntt_best_path()
{
    for (ntt_path path : {ntt_path::avx512, ntt_path::avx2})
        if (ntt_path_supported(path))
            return path;
    return ntt_path::generic;
}

void ntt_mul(mp_limb_t* rp, const mp_limb_t* ap, std::size_t an, const mp_limb_t* bp, std::size_t bn, ntt_path path,
             unsigned threads)
{
    const ntt_kernels& k = kernels(path);
    plan s = plan_for(bit_length(ap, an), bit_length(bp, bn));
    // Below this a second thread costs more than it saves (and the parts of the
    // split inverse must each hold whole groups of the lanes' transposition).
    if (s.n < (std::size_t(1) << 12))
        threads = 1;
    if (s.la == 0 || s.lb == 0) {
        for (std::size_t i = 0; i < an + bn; ++i)
            rp[i] = 0;
        return;
    }
    // Residues of both primes, the second operand's transform, the roots.
    std::unique_ptr<double[]> space(new double[4 * s.n]);
    double *x1 = space.get(), *x2 = x1 + s.n, *y = x2 + s.n, *roots = y + s.n;

    ntt_prime p1{static_cast<double>(prime1), 1.0 / static_cast<double>(prime1), roots};
    fill_roots(k, roots, p1, s.n, prime1, root1);
    product_mod(k, p1, x1, y, ap, an, bp, bn, s, threads);
    ntt_prime p2{static_cast<double>(prime2), 1.0 / static_cast<double>(prime2), roots};
    fill_roots(k, roots, p2, s.n, prime2, root2);
    product_mod(k, p2, x2, y, ap, an, bp, bn, s, threads);

    double n_inv1 = centred(pow_mod(s.n % prime1, prime1 - 2, prime1), prime1);
    double n_inv2 = centred(pow_mod(s.n % prime2, prime2 - 2, prime2), prime2);
    double p1_inv2 = centred(pow_mod(prime1 % prime2, prime2 - 2, prime2), prime2);
    std::size_t half = s.n / 2;
    on_threads(threads, [&](unsigned t, unsigned parts) {
        std::size_t lo = parts == 1 ? 0 : t * half, len = parts == 1 ? s.n : half;
        k.garner(x1 + lo, x2 + lo, len, p1, p2, n_inv1, n_inv2, p1_inv2);
    });
    recombine(rp, an + bn, x1, x2, s.n, s.w, s.la + s.lb - 1);
}
