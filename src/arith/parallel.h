// Big-integer products cut in parts that run on two threads.
#pragma once
#include <gmpxx.h>

#include <cstdint>

// r <- x * y, the product cut in two along y, or for large operands cut in pieces
// of the shorter's size or less (and the shorter too, within a low cap), made one
// after the other on both cores, each with a transform of at most cap points; r is
// neither x nor y.
void multiply_on_two_threads(mpz_class& r, mpz_srcptr x, mpz_srcptr y, std::size_t cap = SIZE_MAX);
inline void multiply_on_two_threads(mpz_class& r, const mpz_class& x, const mpz_class& y, std::size_t cap = SIZE_MAX)
{
    multiply_on_two_threads(r, x.get_mpz_t(), y.get_mpz_t(), cap);
}

// x <- x + y * z, in x's own limbs: the longer of y and z is cut into pieces
// of the shorter's size or less (the shorter too, when its own transform would
// pass cap points), whose products are made one by one on both cores and added.
void add_product(mpz_class& x, mpz_srcptr y, mpz_srcptr z, std::size_t cap = SIZE_MAX);
inline void add_product(mpz_class& x, const mpz_class& y, const mpz_class& z, std::size_t cap = SIZE_MAX)
{
    add_product(x, y.get_mpz_t(), z.get_mpz_t(), cap);
}
// x <- x - y * z, the same way.
void subtract_product(mpz_class& x, mpz_srcptr y, mpz_srcptr z, std::size_t cap = SIZE_MAX);
inline void subtract_product(mpz_class& x, const mpz_class& y, const mpz_class& z, std::size_t cap = SIZE_MAX)
{
    subtract_product(x, y.get_mpz_t(), z.get_mpz_t(), cap);
}

// r <- 10^n, its large squarings on both cores.
void power_of_ten(mpz_class& r, unsigned long n);
