// Products of big integers: GMP's own below the sizes where the transforms win,
// the transforms above; the same integers either way.
#pragma once
#include <gmpxx.h>

#include <functional>

#include "arith/ntt.h"

// From this many limbs in both operands on, a product's scratch is tens of
// megabytes: such products are best made one at a time, each on both cores.
constexpr std::size_t one_at_a_time_limbs = std::size_t(1) << 16;

// The smaller operand's size in limbs from which products go through the
// transforms on this processor; SIZE_MAX where they never do.
std::size_t transform_threshold();

// A bound on transform lengths for the products of a run whose largest factor has
// limbs limbs: the length of a product of its own size (two halves of it), whose
// scratch by pieces is about eight times that factor. Where GMP makes every
// product, no bound.
std::size_t transform_cap(std::size_t limbs);

// {rp, an + bn} <- {ap, an} * {bp, bn}, an >= bn >= 1, for operands below the
// transforms' sizes: GMP's product or the schoolbook on vector multiply-adds,
// whichever is faster at these sizes. rp overlaps neither operand.
void multiply_limbs(mp_limb_t* rp, const mp_limb_t* ap, std::size_t an, const mp_limb_t* bp, std::size_t bn);

// r <- x * y; r may be x or y. With threads = 2 a large product uses both cores.
void multiply(mpz_ptr r, mpz_srcptr x, mpz_srcptr y, unsigned threads = 1);
inline void multiply(mpz_class& r, const mpz_class& x, const mpz_class& y, unsigned threads = 1)
{
    multiply(r.get_mpz_t(), x.get_mpz_t(), y.get_mpz_t(), threads);
}

// r <- x y modulo 2^L - 1, in [0, 2^L - 1), for x, y >= 0; returns L >= bits.
// Through the transforms it costs a product of about L bits, however long x y
// is (see ntt_mul_cyclic); below their sizes it is GMP's whole product, folded
// at L = bits. r may be x or y.
std::size_t multiply_cyclic(mpz_ptr r, mpz_srcptr x, mpz_srcptr y, std::size_t bits, unsigned threads = 1);

// a <- pa qc + pb qa, b <- pb qb, c <- pc qc, with p = {pa, pb, pc} and q likewise:
// the products of the composition P o Q of maps x -> (a + b x) / c. Where all four
// products are large, through the transforms with those of pb and qc made once,
// each prime's work a task given to run; otherwise a, and then b and c, are the two
// tasks. a, b and c may be pa, pb and pc.
void multiply_composition(mpz_ptr a, mpz_ptr b, mpz_ptr c, const mpz_srcptr p[3], const mpz_srcptr q[3],
                          const run_both& run);

// Calls take(at, part) for y cut into pieces of piece limbs from its low end,
// part = |x| times the piece that starts at limb at (pieces of zeros may be left
// out), each product on both cores; through the transforms, x is transformed
// once for all pieces. x and y are not 0.
void multiply_pieces(mpz_srcptr x, mpz_srcptr y, std::size_t piece,
                     const std::function<void(std::size_t, mpz_srcptr)>& take);

// The same through a given path of the transforms for every size from
// min_limbs on, for the tests.
void multiply_by(mpz_ptr r, mpz_srcptr x, mpz_srcptr y, ntt_path path, std::size_t min_limbs, unsigned threads);
inline void multiply_by(mpz_class& r, const mpz_class& x, const mpz_class& y, ntt_path path, std::size_t min_limbs,
                        unsigned threads)
{
    multiply_by(r.get_mpz_t(), x.get_mpz_t(), y.get_mpz_t(), path, min_limbs, threads);
}
std::size_t multiply_cyclic_by(mpz_ptr r, mpz_srcptr x, mpz_srcptr y, std::size_t bits, ntt_path path,
                               std::size_t min_limbs, unsigned threads);
void multiply_composition_by(mpz_ptr a, mpz_ptr b, mpz_ptr c, const mpz_srcptr p[3], const mpz_srcptr q[3],
                             ntt_path path, std::size_t min_limbs, const run_both& run);
void multiply_pieces_by(mpz_srcptr x, mpz_srcptr y, std::size_t piece, ntt_path path, std::size_t min_limbs,
                        const std::function<void(std::size_t, mpz_srcptr)>& take);
