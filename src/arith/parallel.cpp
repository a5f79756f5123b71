#include "arith/parallel.h"

#include <bit>
#include <cstring>
#include <functional>

#include "arith/mul.h"
#include "arith/ntt.h"
#include "common/threads.h"

namespace {

// How a product of xn by yn limbs (xn <= yn) is cut: x into chunks, each
// transformed once, and y into pieces, each multiplied by every chunk.
struct cuts {
    std::size_t chunk, piece;
};

// Of the cuts whose transforms stay within cap, the one that costs the fewest
// transformed points (each chunk's once, then each piece's and its product's),
// then the smallest pieces: lengths step by 4/3 or 3/2, so that a few more
// pieces often fill their transforms better. A whole x leaves the most room in
// its transforms, but a long one leaves so little that halves or thirds of it
// cost fewer points, within a lower cap. When nothing fits, the shortest
// transforms.
cuts cuts_for(std::size_t xn, std::size_t yn, std::size_t cap)
{
    cuts best{xn, yn}, shortest{xn, yn};
    std::size_t work = SIZE_MAX, shortest_length = SIZE_MAX;
    for (std::size_t chunks = 1; chunks <= 4 && chunks <= xn; ++chunks) {
        std::size_t chunk = (xn + chunks - 1) / chunks, least = yn / chunk > 1 ? yn / chunk : 1;
        bool fits = false;
        for (std::size_t p = least; p <= 4 * least && p <= least + 256 && p <= yn; ++p) {
            std::size_t len = (yn + p - 1) / p, length = ntt_length(chunk, len);
            std::size_t points = chunks * (2 * p + 1) * length;
            if (length <= cap) {
                fits = true;
                if (points < work || (points == work && chunk == best.chunk)) {
                    work = points;
                    best = {chunk, len};
                }
            } else if (work == SIZE_MAX && length < shortest_length) {
                shortest_length = length;
                shortest = {chunk, len};
            }
            if (fits && p >= 2 * least)
                break;
        }
    }
    return work == SIZE_MAX ? shortest : best;
}

// Calls take(at, part) for x cut into chunks and y into pieces (cuts_for), part
// = a chunk times a piece, at = the sum of their offsets in limbs: the products
// are made one after the other, each on both cores, each chunk's transform made
// once for all pieces, so that the scratch is that of a product within cap
// points, not of the whole. x and y are not 0.
void for_each_piece(mpz_srcptr x, mpz_srcptr y, std::size_t cap,
                    const std::function<void(std::size_t, mpz_srcptr)>& take)
{
    std::size_t xn = mpz_size(x), yn = mpz_size(y);
    cuts c = cuts_for(xn, yn, cap);
    if (c.chunk >= xn && c.piece >= yn) {
        // Uncut: the plain product's scratch is a quarter smaller than that of
        // a product by pieces.
        mpz_class part;
        multiply(part.get_mpz_t(), x, y, 2);
        take(0, part.get_mpz_t());
        return;
    }
    const mp_limb_t* limbs = mpz_limbs_read(x);
    for (std::size_t from = 0; from < xn; from += c.chunk) {
        std::size_t len = from + c.chunk < xn ? c.chunk : xn - from;
        while (len > 0 && limbs[from + len - 1] == 0)
            --len;
        // A chunk of zeros adds nothing.
        if (len == 0)
            continue;
        mpz_t chunk_view;
        multiply_pieces(mpz_roinit_n(chunk_view, limbs + from, static_cast<mp_size_t>(len)), y, c.piece,
                        [&take, from](std::size_t at, mpz_srcptr part) { take(from + at, part); });
    }
}

// r <- x * y for |y| >= |x| > 0 in limbs, piece by piece; r is neither x nor y.
void multiply_by_pieces(mpz_class& r, mpz_srcptr x, mpz_srcptr y, std::size_t cap)
{
    std::size_t n = mpz_size(x) + mpz_size(y), half = n / 2;
    mp_limb_t* out = mpz_limbs_write(r.get_mpz_t(), static_cast<mp_size_t>(n));
    // Megabytes of fresh pages: both cores fault them in.
    both([out, half] { std::memset(out, 0, half * sizeof(mp_limb_t)); },
         [out, half, n] { std::memset(out + half, 0, (n - half) * sizeof(mp_limb_t)); });
    for_each_piece(x, y, cap, [out, n](std::size_t at, mpz_srcptr part) {
        if (std::size_t pn = mpz_size(part))
            mpn_add(out + at, out + at, n - at, mpz_limbs_read(part), static_cast<mp_size_t>(pn));
    });
    mpz_limbs_finish(r.get_mpz_t(), mpz_sgn(x) * mpz_sgn(y) * static_cast<mp_size_t>(n));
}

} // namespace

void multiply_on_two_threads(mpz_class& r, mpz_srcptr x, mpz_srcptr y, std::size_t cap)
{
    std::size_t xn = mpz_size(x), yn = mpz_size(y);
    if (xn >= one_at_a_time_limbs && yn >= one_at_a_time_limbs) {
        // Unbalanced, or too long for one transform: the longer factor in pieces.
        bool x_shorter = xn <= yn;
        if (2 * (x_shorter ? xn : yn) <= (x_shorter ? yn : xn) || ntt_length(xn, yn) > cap)
            multiply_by_pieces(r, x_shorter ? x : y, x_shorter ? y : x, cap);
        else
            multiply(r.get_mpz_t(), x, y, 2);
        return;
    }
    // y = high * 2^(half limbs) + low, both parts read in place from y's limbs.
    mp_size_t n = static_cast<mp_size_t>(mpz_size(y));
    mp_size_t half = n / 2;
    int sign = mpz_sgn(y);
    const mp_limb_t* limbs = mpz_limbs_read(y);
    mpz_t low_view, high_view;
    mpz_srcptr low = mpz_roinit_n(low_view, limbs, sign * half);
    mpz_srcptr high = mpz_roinit_n(high_view, limbs + half, sign * (n - half));
    mpz_class lower;
    both([&] { multiply(r.get_mpz_t(), x, high); }, [&] { multiply(lower.get_mpz_t(), x, low); });
    mpz_mul_2exp(r.get_mpz_t(), r.get_mpz_t(), static_cast<mp_bitcnt_t>(half) * GMP_NUMB_BITS);
    r += lower;
}

namespace {

// x <- x + y z (negate: x - y z) in x's own limbs, the product by pieces.
void accumulate(mpz_class& x, mpz_srcptr y, mpz_srcptr z, bool negate, std::size_t cap)
{
    int product_sign = mpz_sgn(y) * mpz_sgn(z) * (negate ? -1 : 1);
    if (product_sign == 0)
        return;
    int x_sign = sgn(x);
    // The magnitudes add when the signs agree; otherwise |yz| is taken off |x|.
    bool adding = x_sign == 0 || x_sign == product_sign;
    bool y_shorter = mpz_size(y) <= mpz_size(z);
    std::size_t old = mpz_size(x.get_mpz_t()), yz = mpz_size(y) + mpz_size(z);
    // One limb more than either side: room for a sum's carry, or for a
    // difference below zero to show as one borrow.
    std::size_t n = (old > yz ? old : yz) + 1;
    mp_limb_t* out = mpz_limbs_modify(x.get_mpz_t(), static_cast<mp_size_t>(n));
    std::memset(out + old, 0, (n - old) * sizeof(mp_limb_t));
    mp_limb_t borrow = 0;
    for_each_piece(y_shorter ? y : z, y_shorter ? z : y, cap, [out, n, adding, &borrow](std::size_t at, mpz_srcptr part) {
        if (std::size_t pn = mpz_size(part)) {
            const mp_limb_t* limbs = mpz_limbs_read(part);
            if (adding)
                mpn_add(out + at, out + at, n - at, limbs, static_cast<mp_size_t>(pn));
            else
                borrow += mpn_sub(out + at, out + at, n - at, limbs, static_cast<mp_size_t>(pn));
        }
    });
    // The limbs hold |x| -+ |yz| modulo 2^(64 n), whose magnitude is below
    // 2^(64 n - 64): a borrow means that |yz| was the larger.
    if (borrow)
        mpn_neg(out, out, static_cast<mp_size_t>(n));
    int sign = adding ? product_sign : borrow ? product_sign : x_sign;
    mpz_limbs_finish(x.get_mpz_t(), sign * static_cast<mp_size_t>(n));
}

} // namespace

void add_product(mpz_class& x, mpz_srcptr y, mpz_srcptr z, std::size_t cap)
{
    accumulate(x, y, z, false, cap);
}

void subtract_product(mpz_class& x, mpz_srcptr y, mpz_srcptr z, std::size_t cap)
{
    accumulate(x, y, z, true, cap);
}

void power_of_ten(mpz_class& r, unsigned long n)
{
    // 10^n = 5^n 2^n: 5^n from its exponent's top bit down, a squaring a bit, a
    // product by 5 for each one.
    r = 1;
    for (int bit = n ? std::bit_width(n) - 1 : -1; bit >= 0; --bit) {
        multiply(r, r, r, 2);
        if ((n >> bit) & 1)
            r *= 5;
    }
    r <<= n;
}
