#include "arith/parallel.h"

#include <cstring>
#include <functional>

#include "arith/mul.h"
#include "arith/ntt.h"
#include "common/threads.h"

namespace {

// Calls take(at, part) for y cut into pieces of |x| limbs or fewer (at least one),
// part = |x| times the piece that starts at limb at: the products are made one
// after the other, each on both cores, x's transform made once for all, so that
// the scratch is that of a product of x's size, not of the whole. x and y are not 0.
void for_each_piece(const mpz_class& x, const mpz_class& y, std::size_t cap,
                    const std::function<void(std::size_t, mpz_srcptr)>& take)
{
    std::size_t xn = mpz_size(x.get_mpz_t()), yn = mpz_size(y.get_mpz_t());
    // Of the piece counts from yn / xn up, those whose transforms stay within cap,
    // and of those the one that costs the fewest transformed points (x's once,
    // then each piece's and its product's), then the smallest: lengths step by
    // 4/3 or 3/2, so that a few more pieces often fill their transforms better.
    // When none fits, the shortest transforms.
    std::size_t least = yn / xn > 1 ? yn / xn : 1, piece = yn, work = SIZE_MAX, shortest = SIZE_MAX;
    bool fits = false;
    for (std::size_t p = least; p <= 4 * least && p <= least + 256 && p <= yn; ++p) {
        std::size_t len = (yn + p - 1) / p, length = ntt_length(xn, len), points = (2 * p + 1) * length;
        if (length <= cap && (!fits || points <= work)) {
            fits = true;
            work = points;
            piece = len;
        } else if (!fits && length <= shortest) {
            shortest = length;
            piece = len;
        }
        if (fits && p >= 2 * least)
            break;
    }
    mpz_t x_view;
    multiply_pieces(mpz_roinit_n(x_view, mpz_limbs_read(x.get_mpz_t()), static_cast<mp_size_t>(xn)), y.get_mpz_t(),
                    piece, take);
}

// r <- x * y for |y| >= |x| > 0 in limbs, piece by piece; r is neither x nor y.
void multiply_by_pieces(mpz_class& r, const mpz_class& x, const mpz_class& y, std::size_t cap)
{
    std::size_t n = mpz_size(x.get_mpz_t()) + mpz_size(y.get_mpz_t());
    mp_limb_t* out = mpz_limbs_write(r.get_mpz_t(), static_cast<mp_size_t>(n));
    std::memset(out, 0, n * sizeof(mp_limb_t));
    for_each_piece(x, y, cap, [out, n](std::size_t at, mpz_srcptr part) {
        if (std::size_t pn = mpz_size(part))
            mpn_add(out + at, out + at, n - at, mpz_limbs_read(part), static_cast<mp_size_t>(pn));
    });
    mpz_limbs_finish(r.get_mpz_t(), mpz_sgn(x.get_mpz_t()) * mpz_sgn(y.get_mpz_t()) * static_cast<mp_size_t>(n));
}

} // namespace

void multiply_on_two_threads(mpz_class& r, const mpz_class& x, const mpz_class& y, std::size_t cap)
{
    std::size_t xn = mpz_size(x.get_mpz_t()), yn = mpz_size(y.get_mpz_t());
    if (xn >= one_at_a_time_limbs && yn >= one_at_a_time_limbs) {
        // Unbalanced, or too long for one transform: the longer factor in pieces.
        bool x_shorter = xn <= yn;
        if (2 * (x_shorter ? xn : yn) <= (x_shorter ? yn : xn) || ntt_length(xn, yn) > cap)
            multiply_by_pieces(r, x_shorter ? x : y, x_shorter ? y : x, cap);
        else
            multiply(r, x, y, 2);
        return;
    }
    // y = high * 2^(half limbs) + low, both parts read in place from y's limbs.
    mp_size_t n = static_cast<mp_size_t>(mpz_size(y.get_mpz_t()));
    mp_size_t half = n / 2;
    int sign = mpz_sgn(y.get_mpz_t());
    const mp_limb_t* limbs = mpz_limbs_read(y.get_mpz_t());
    mpz_t low_view, high_view;
    mpz_srcptr low = mpz_roinit_n(low_view, limbs, sign * half);
    mpz_srcptr high = mpz_roinit_n(high_view, limbs + half, sign * (n - half));
    mpz_class lower;
    both([&] { multiply(r.get_mpz_t(), x.get_mpz_t(), high); },
         [&] { multiply(lower.get_mpz_t(), x.get_mpz_t(), low); });
    mpz_mul_2exp(r.get_mpz_t(), r.get_mpz_t(), static_cast<mp_bitcnt_t>(half) * GMP_NUMB_BITS);
    r += lower;
}

void subtract_product(mpz_class& x, const mpz_class& y, const mpz_class& z, std::size_t cap)
{
    if (sgn(y) == 0 || sgn(z) == 0)
        return;
    bool y_shorter = mpz_size(y.get_mpz_t()) <= mpz_size(z.get_mpz_t());
    std::size_t old = mpz_size(x.get_mpz_t()), yz = mpz_size(y.get_mpz_t()) + mpz_size(z.get_mpz_t());
    // One limb more than either side, so that a negative result shows as one borrow.
    std::size_t n = (old > yz ? old : yz) + 1;
    mp_limb_t* out = mpz_limbs_modify(x.get_mpz_t(), static_cast<mp_size_t>(n));
    std::memset(out + old, 0, (n - old) * sizeof(mp_limb_t));
    mp_limb_t borrow = 0;
    for_each_piece(y_shorter ? y : z, y_shorter ? z : y, cap, [out, n, &borrow](std::size_t at, mpz_srcptr part) {
        if (std::size_t pn = mpz_size(part))
            borrow += mpn_sub(out + at, out + at, n - at, mpz_limbs_read(part), static_cast<mp_size_t>(pn));
    });
    // The limbs hold x - yz modulo 2^(64 n), and |x - yz| < 2^(64 n - 64).
    if (borrow)
        mpn_neg(out, out, static_cast<mp_size_t>(n));
    mpz_limbs_finish(x.get_mpz_t(), borrow ? -static_cast<mp_size_t>(n) : static_cast<mp_size_t>(n));
}
