// Products of mid-size integers by the schoolbook method on 52-bit vector
// multiply-adds (AVX-512 IFMA), where they beat GMP's own below the transforms.
#pragma once
#include <gmp.h>

#include <cstddef>
#include <cstdint>
#include <memory>

// Whether this processor has those multiply-adds.
bool schoolbook_supported();

// The smaller operand's size bound, in limbs: below it no column of the
// product can outgrow its 64-bit sum.
constexpr std::size_t schoolbook_limit = 1500;

// {rp, an + bn} <- {ap, an} * {bp, bn}, for an >= bn >= 1 and bn below
// schoolbook_limit; rp may overlap the operands. Only where schoolbook_supported().
void schoolbook_mul(mp_limb_t* rp, const mp_limb_t* ap, std::size_t an, const mp_limb_t* bp, std::size_t bn);

// {rp, rn} <- {ap, an} * {bp, bn} mod 2^(64 rn), for an, bn, rn >= 1 and
// min(an, bn, rn) below schoolbook_limit; the same otherwise.
void schoolbook_mul_low(mp_limb_t* rp, std::size_t rn, const mp_limb_t* ap, std::size_t an, const mp_limb_t* bp,
                        std::size_t bn);

// The 52-bit digits of n limbs.
constexpr std::size_t schoolbook_digit_count(std::size_t n)
{
    return (n * 64 + 51) / 52;
}
// {p, n} into d as its schoolbook_digit_count(n) digits of 52 bits, lowest first.
void schoolbook_digits(std::uint64_t* d, const mp_limb_t* p, std::size_t n);

// A factor held as the schoolbook's digits, for many products by it.
struct schoolbook_factor {
    struct release {
        void operator()(std::uint64_t* p) const;
    };
    std::size_t limbs = 0, digits = 0, stride = 0;
    std::unique_ptr<std::uint64_t, release> copies;
};
schoolbook_factor schoolbook_prepare(const mp_limb_t* bp, std::size_t bn);

// {rp, rn} <- {ap, an} * b mod 2^(64 rn), for an, rn >= 1 and min(an, b's limbs,
// rn) below schoolbook_limit.
void schoolbook_mul_fixed(mp_limb_t* rp, std::size_t rn, const mp_limb_t* ap, std::size_t an,
                          const schoolbook_factor& b);
