// Products of mid-size integers by the schoolbook method on 52-bit vector
// multiply-adds (AVX-512 IFMA), where they beat GMP's own below the transforms.
#pragma once
#include <gmp.h>

#include <cstddef>

// Whether this processor has those multiply-adds.
bool schoolbook_supported();

// The smaller operand's size bound, in limbs: below it no column of the
// product can outgrow its 64-bit sum.
constexpr std::size_t schoolbook_limit = 1500;

// {rp, an + bn} <- {ap, an} * {bp, bn}, for an >= bn >= 1 and bn below
// schoolbook_limit; rp may overlap the operands. Only where schoolbook_supported().
void schoolbook_mul(mp_limb_t* rp, const mp_limb_t* ap, std::size_t an, const mp_limb_t* bp, std::size_t bn);
