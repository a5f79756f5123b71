// Exact products of large natural numbers by number-theoretic transforms over two
// primes, on the widest vector instructions the processor has.
#pragma once
#include <gmp.h>

#include <cstddef>
#include <functional>
#include <memory>

// The instruction sets the transforms are written for; generic runs anywhere.
enum class ntt_path { generic, avx2, avx512 };

// Whether this processor can run path.
bool ntt_path_supported(ntt_path path);
// The fastest path this processor can run.
ntt_path ntt_best_path();

// While keep holds, the calling thread keeps its transforms' scratch (blocks of
// up to 64 MiB) from one product to the next instead of faulting fresh pages in
// each time; false gives it back.
void keep_transform_scratch(bool keep);

// The transform length of a product of an by bn limbs; its scratch is at most
// three doubles for each (fewer where the product wraps, see ntt_mul).
std::size_t ntt_length(std::size_t an, std::size_t bn);

// {rp, an + bn} <- {ap, an} * {bp, bn}, for an, bn >= 1 and operands of fewer than
// 2^37 limbs, on up to threads threads (1 or 2); rp overlaps neither operand. A
// product just longer than a transform length is made modulo x^L - 1 at the
// length below, its first coefficients by a small product apart.
void ntt_mul(mp_limb_t* rp, const mp_limb_t* ap, std::size_t an, const mp_limb_t* bp, std::size_t bn, ntt_path path,
             unsigned threads);

// r <- a b modulo 2^L - 1, in [0, 2^L - 1), and returns L: the bits of the
// shortest transform of these operands whose n pieces of w bits hold at least
// bits and each operand whole (L = n w >= bits). Its cost is that of a product
// of about L bits, whatever a b's length. a, b > 0; r is neither.
std::size_t ntt_mul_cyclic(mpz_ptr r, mpz_srcptr a, mpz_srcptr b, std::size_t bits, ntt_path path, unsigned threads);
// Its transform length for operands of at most an and bn limbs; the scratch is
// about three doubles a point.
std::size_t ntt_cyclic_length(std::size_t an, std::size_t bn, std::size_t bits);

// x <- x modulo 2^bits - 1, in [0, 2^bits - 1), for x >= 0 and bits >= 1.
void fold_modulo(mpz_ptr x, std::size_t bits);

// For b cut into pieces of piece limbs from its low end (the last one shorter),
// calls take(at, rp, rn) with {rp, rn} = {ap, an} times the piece that starts at
// limb at, rn = an + its length, pieces of zeros left out. a is transformed once
// for all pieces; two threads work one prime each (scratch: four doubles a
// transform point). an, bn, piece >= 1, and {ap, an} is not all zeros.
void ntt_mul_pieces(const mp_limb_t* ap, std::size_t an, const mp_limb_t* bp, std::size_t bn, std::size_t piece,
                    ntt_path path, const std::function<void(std::size_t, const mp_limb_t*, std::size_t)>& take);

// Runs two tasks, at once where it can (on two threads, or one taken by an idle one).
using run_both = std::function<void(const std::function<void()>&, const std::function<void()>&)>;

// The products of a composition P o Q of maps x -> (a + b x) / c, with p = (a, b, c)
// of P and q of Q, none of them 0: a <- pa qc + pb qa, b <- pb qb, c <- pc qc.
// The transforms of pb and qc are made once, and a's two products are summed before
// one inverse. Each prime's transforms are one of two tasks given to run, and then
// the recombinations (a; b and c) are. Just longer than a transform length, all
// three wrap as ntt_mul's products do. Outputs may be inputs.
void ntt_compose(mpz_ptr a, mpz_ptr b, mpz_ptr c, const mpz_srcptr p[3], const mpz_srcptr q[3], ntt_path path,
                 const run_both& run);

// A factor transformed once, for many products with factors of up to a given size
// (the exact divisions' blocks times one inverse, and times one divisor).
struct ntt_fixed {
    ntt_path path;
    std::size_t limbs;
    unsigned w;
    std::size_t pieces, n;
    std::unique_ptr<double[]> transforms; // both primes'
};

// The transforms of {ap, an} (not all zeros) for products with up to other limbs.
ntt_fixed ntt_transform_fixed(const mp_limb_t* ap, std::size_t an, std::size_t other, ntt_path path);

// {rp, a.limbs + bn} <- a times {bp, bn}, 1 <= bn <= the other's size a was made
// for; rp overlaps neither. One thread.
void ntt_mul_fixed(mp_limb_t* rp, const ntt_fixed& a, const mp_limb_t* bp, std::size_t bn);

// The transforms of {ap, an} for its products modulo 2^L - 1 with up to other limbs,
// L = n w >= bits as ntt_mul_cyclic chooses it.
ntt_fixed ntt_transform_fixed_cyclic(const mp_limb_t* ap, std::size_t an, std::size_t other, std::size_t bits,
                                     ntt_path path);

// r <- a times {bp, bn} modulo 2^L - 1, in [0, 2^L - 1), for a made by
// ntt_transform_fixed_cyclic and 1 <= bn <= its other size; returns L. One thread.
std::size_t ntt_mul_fixed_cyclic(mpz_ptr r, const ntt_fixed& a, const mp_limb_t* bp, std::size_t bn);
