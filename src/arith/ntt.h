// Exact products of large natural numbers by number-theoretic transforms over two
// primes, on the widest vector instructions the processor has.
#pragma once
#include <gmp.h>

#include <cstddef>

// The instruction sets the transforms are written for; generic runs anywhere.
enum class ntt_path { generic, avx2, avx512 };

// Whether this processor can run path.
bool ntt_path_supported(ntt_path path);
// The fastest path this processor can run.
ntt_path ntt_best_path();

// The transform length of a product of an by bn limbs; its scratch is three
// doubles for each.
std::size_t ntt_length(std::size_t an, std::size_t bn);

// {rp, an + bn} <- {ap, an} * {bp, bn}, for an, bn >= 1 and operands of fewer than
// 2^37 limbs, on up to threads threads (1 or 2); rp overlaps neither operand.
void ntt_mul(mp_limb_t* rp, const mp_limb_t* ap, std::size_t an, const mp_limb_t* bp, std::size_t bn, ntt_path path,
             unsigned threads);
