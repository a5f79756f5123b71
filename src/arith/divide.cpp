#include "arith/divide.h"

#include <malloc.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "arith/mul.h"
#include "arith/ntt.h"
#include "arith/parallel.h"
#include "arith/schoolbook.h"
#include "common/ending.h"
#include "common/pages.h"

namespace {

// Whether blocks of products on the schoolbook beat GMP's exact division of n
// limbs by d limbs (AMD EPYC: 1.5x at 500 by 48 limbs, 1.65x at 300 by 64,
// 2.1x at 400 by 100 and 1000 by 150; 0.85-0.95x where the quotient is as long
// as d).
bool small_division_wins(std::size_t d, std::size_t n)
{
    return schoolbook_supported() && d >= 48 && d < schoolbook_limit && n >= 3 * d;
}

// From this many limbs of the divisor, remainders by pieces beat GMP's (AMD
// EPYC: 1.3x at 4200 limbs, 1.8x at 40000 when x is ten times longer; even at
// 1000).
constexpr std::size_t remainder_pieces_from = 1000;

// Below this many bits GMP's own division is the better reciprocal.
constexpr mp_bitcnt_t newton_from = 20000;
// Bits kept beyond what the quotient needs, so that truncating x and d moves
// the estimate by less than one unit.
constexpr mp_bitcnt_t guard_bits = 64;

// x * 2^-s, truncated; a left shift for s < 0.
mpz_class scaled(const mpz_class& x, long s)
{
    mpz_class r;
    if (s >= 0)
        mpz_fdiv_q_2exp(r.get_mpz_t(), x.get_mpz_t(), static_cast<mp_bitcnt_t>(s));
    else
        mpz_mul_2exp(r.get_mpz_t(), x.get_mpz_t(), static_cast<mp_bitcnt_t>(-s));
    return r;
}

} // namespace

namespace {

// The precision of the reciprocal that one Newton step takes to k bits.
mp_bitcnt_t half_precision(mp_bitcnt_t k)
{
    return (k + 1) / 2 + guard_bits / 2;
}

// 2^L - 1.
mpz_class mersenne(std::size_t L)
{
    mpz_class m = 1;
    m <<= L;
    return m - 1;
}

// x <- the integer of (-2^(L-1), 2^(L-1)) congruent to x modulo 2^L - 1, for
// |x| < 2^L - 1.
void centre_modulo(mpz_class& x, std::size_t L)
{
    if (sgn(x) < 0)
        x += mersenne(L);
    if (mpz_sizeinbase(x.get_mpz_t(), 2) >= L)
        x -= mersenne(L);
}

// From vh, the reciprocal of d's top h = half_precision(k) bits, good to about h
// bits, one Newton step v <- v + v (2^2k - d v) / 2^2k: with 2h >= k + 64 its
// error is below 3. Products on up to threads threads, on two within cap points.
mpz_class newton_step(const mpz_class& d, mp_bitcnt_t k, const mpz_class& vh, unsigned threads, std::size_t cap)
{
    auto product = [threads, cap](mpz_class& r, const mpz_class& x, const mpz_class& y) {
        if (threads < 2)
            multiply(r, x, y);
        else
            multiply_on_two_threads(r, x, y, cap);
    };
    mp_bitcnt_t h = half_precision(k);
    mpz_class e, dv;
    // v0 = vh 2^(k-h): the correction v0 e / 2^2k = vh e / 2^(k+h), with
    // e = 2^2k - d v0, moves by less than 2^-31 when e loses its bits below
    // 2^(k-32). That floor of e / 2^(k-32) is the floor of (2^(k+h) - d vh) /
    // 2^(h-32), made without forming 2^2k: with d's top h bits above 2^(h-1),
    // d vh < 2^(k+h) (1 + 2^(1-h)) + 2^(k+2), below 2^(k+h+1).
    mp_bitcnt_t top = k + h;
    std::size_t dn = mpz_size(d.get_mpz_t()), hn = mpz_size(vh.get_mpz_t());
    if (hn >= transform_threshold() && (threads < 2 || ntt_cyclic_length(dn, hn, k + 65) <= cap)) {
        // |2^(k+h) - d vh| < 2^(k+3): its residue modulo 2^L - 1, L > k + 64,
        // tells it, by a product of about k bits instead of 1.5 k.
        std::size_t length = multiply_cyclic(dv.get_mpz_t(), d.get_mpz_t(), vh.get_mpz_t(), k + 65, threads);
        mpz_setbit(e.get_mpz_t(), top % length);
        e -= dv;
        centre_modulo(e, length);
    } else {
        product(dv, d, vh);
        if (mpz_tstbit(dv.get_mpz_t(), top)) {
            mpz_clrbit(dv.get_mpz_t(), top);
            mpz_neg(e.get_mpz_t(), dv.get_mpz_t());
        } else {
            mpz_neg(e.get_mpz_t(), dv.get_mpz_t());
            mpz_fdiv_r_2exp(e.get_mpz_t(), e.get_mpz_t(), top);
        }
    }
    dv = 0;
    mpz_fdiv_q_2exp(e.get_mpz_t(), e.get_mpz_t(), h - 32);
    mpz_class correction;
    product(correction, vh, e);
    mpz_fdiv_q_2exp(correction.get_mpz_t(), correction.get_mpz_t(), h + 32);
    mpz_class v = vh << (k - h);
    v += correction;
    return v;
}

} // namespace

mpz_class approximate_reciprocal(const mpz_class& d, mp_bitcnt_t k, unsigned threads, std::size_t cap)
{
    if (k <= newton_from) {
        mpz_class top = 1, v;
        top <<= 2 * k;
        mpz_fdiv_q(v.get_mpz_t(), top.get_mpz_t(), d.get_mpz_t());
        return v;
    }
    mp_bitcnt_t h = half_precision(k);
    return newton_step(d, k, approximate_reciprocal(scaled(d, static_cast<long>(k - h)), h, threads, cap), threads,
                       cap);
}

void correct_quotient(mpz_class& q, mpz_class& r, const mpz_class& d)
{
    // The estimates are within a few units; far more steps than that mean a
    // product was wrong, and the loop would run for as long as the error is large.
    constexpr int most_steps = 64;
    for (int steps = 0; sgn(r) < 0 || r >= d; ++steps) {
        if (steps == most_steps)
            throw failure("calcul abandonné : le reste d'une division reste hors de [0, diviseur) après " +
                          std::to_string(most_steps) + " corrections (produit faux : matériel ou logiciel)");
        if (sgn(r) < 0) {
            r += d;
            --q;
        } else {
            r -= d;
            ++q;
        }
    }
}

divisor prepare_divisor(const mpz_class& d, mp_bitcnt_t quotient_bits, unsigned threads)
{
    divisor p;
    p.d = d;
    p.kk = quotient_bits + guard_bits;
    p.shift = static_cast<long>(mpz_sizeinbase(d.get_mpz_t(), 2)) - static_cast<long>(p.kk);
    p.v = approximate_reciprocal(scaled(d, p.shift), p.kk, threads);
    return p;
}

void divide(mpz_class& q, mpz_class& r, const mpz_class& x, const divisor& d, unsigned threads)
{
    // x / d = x' / d' with both scaled by 2^-shift, and x' < 2^(2 kk): x' v /
    // 2^(2 kk) is x v / 2^(2 kk + shift), v being about 2^(2 kk + shift) / d. The
    // quotient needs only x's top bits: without its low `low` bits, 2^low <= d,
    // x v / 2^(2 kk + shift) moves by less than 1, and the remainder below
    // corrects that as it does the estimate's own few units.
    mp_bitcnt_t total = static_cast<mp_bitcnt_t>(2 * static_cast<long>(d.kk) + d.shift);
    mp_bitcnt_t d_bits = mpz_sizeinbase(d.d.get_mpz_t(), 2);
    mp_bitcnt_t low = std::max<mp_bitcnt_t>((d_bits - 1) / 64 * 64, d.shift > 0 ? static_cast<mp_bitcnt_t>(d.shift) : 0);
    mpz_fdiv_q_2exp(q.get_mpz_t(), x.get_mpz_t(), low);
    multiply(q, q, d.v, threads);
    mpz_fdiv_q_2exp(q.get_mpz_t(), q.get_mpz_t(), total - low);
    // x - q d lies within a few d of 0: it is known from its residue modulo
    // 2^L - 1 for L > d's bits + 64, by a product of about L bits instead of q
    // d's whole length. A wrong product leaves a residue past those few d but
    // by chance (2^-64), which the correction refuses.
    std::size_t length = multiply_cyclic(r.get_mpz_t(), q.get_mpz_t(), d.d.get_mpz_t(), d_bits + 65, threads);
    mpz_class folded = x;
    fold_modulo(folded.get_mpz_t(), length);
    r = folded - r;
    centre_modulo(r, length);
    correct_quotient(q, r, d.d);
}

mpz_class scaled_remainder(const mpz_class& x, const mpz_class& d, mp_bitcnt_t k)
{
    std::size_t dn = mpz_size(d.get_mpz_t()), xn = mpz_size(x.get_mpz_t());
    mpz_class r;
    if (dn < remainder_pieces_from) {
        mpz_tdiv_r(r.get_mpz_t(), x.get_mpz_t(), d.get_mpz_t());
        r <<= k;
        mpz_fdiv_q(r.get_mpz_t(), r.get_mpz_t(), d.get_mpz_t());
        return r;
    }
    // Quotients of a piece's 64 dn bits, and the fraction's k.
    divisor prepared = prepare_divisor(d, std::max<mp_bitcnt_t>(k, 64 * static_cast<mp_bitcnt_t>(dn)));
    mpz_class q, next, part;
    mpz_t view;
    // r < d before each piece, so r 2^(64 len) + piece < d 2^(64 dn).
    for (std::size_t top = xn; top > 0;) {
        std::size_t len = std::min(dn, top);
        top -= len;
        mpz_mul_2exp(part.get_mpz_t(), r.get_mpz_t(), 64 * static_cast<mp_bitcnt_t>(len));
        part += mpz_class(mpz_roinit_n(view, mpz_limbs_read(x.get_mpz_t()) + top, static_cast<mp_size_t>(len)));
        divide(q, next, part, prepared);
        r.swap(next);
    }
    return scaled_quotient(r, k, prepared);
}

void divide_in_place(mpz_class& q, mpz_class& x, const mpz_class& d, std::size_t cap)
{
    mp_bitcnt_t x_bits = mpz_sizeinbase(x.get_mpz_t(), 2), d_bits = mpz_sizeinbase(d.get_mpz_t(), 2);
    if (x < d) {
        q = 0;
        return;
    }
    mp_bitcnt_t q_bits = x_bits - d_bits + 1;
    if (q_bits < newton_from || d_bits < newton_from) {
        mpz_tdiv_qr(q.get_mpz_t(), x.get_mpz_t(), x.get_mpz_t(), d.get_mpz_t());
        return;
    }
    // x / d = (x 2^-shift) / (d 2^-shift), the divisor's top kk bits, whose
    // reciprocal v is within 3 of 2^(2 kk) / (d 2^-shift). The bits of x below
    // 2^(shift + kk - guard_bits) move the estimate by less than 2^-62.
    mp_bitcnt_t kk = q_bits + guard_bits;
    long shift = static_cast<long>(d_bits) - static_cast<long>(kk);
    long cut = shift + static_cast<long>(kk - guard_bits);
    {
        mpz_class top_of_d = scaled(d, shift), v;
        {
            mp_bitcnt_t h = half_precision(kk);
            mpz_class vh = approximate_reciprocal(scaled(top_of_d, static_cast<long>(kk - h)), h, 2, cap);
            // Newton's smaller steps left free pages in the heap, beside the
            // products of the last and largest step.
            malloc_trim(0);
            v = newton_step(top_of_d, kk, vh, 2, cap);
        }
        top_of_d = 0;
        // The same for the last step's blocks, beside the two largest products.
        malloc_trim(0);
        // x's limbs from the one that holds bit cut, read in place: the bits
        // of that limb below cut only sharpen the estimate.
        std::size_t skipped = static_cast<std::size_t>(cut) / GMP_NUMB_BITS;
        mpz_t top_view;
        mpz_srcptr top = mpz_roinit_n(top_view, mpz_limbs_read(x.get_mpz_t()) + skipped,
                                      static_cast<mp_size_t>(mpz_size(x.get_mpz_t()) - skipped));
        multiply_on_two_threads(q, top, v.get_mpz_t(), cap);
    }
    mpz_fdiv_q_2exp(q.get_mpz_t(), q.get_mpz_t(),
                    kk + guard_bits + static_cast<mp_bitcnt_t>(cut) % GMP_NUMB_BITS);
    subtract_product(x, q, d, cap);
    correct_quotient(q, x, d);
}

mpz_class scaled_quotient(const mpz_class& x, mp_bitcnt_t s, const divisor& d, unsigned threads)
{
    // d has fewer bits than kk: shift < 0, and v is within 3 of 2^2kk / (d 2^-shift).
    // Then x 2^s v / 2^(2 kk + shift) is x 2^s / d within 3 x 2^s / (d 2^kk), below
    // 3 2^-64, and its floor within 2 of x 2^s / d.
    mpz_class q;
    multiply(q, x, d.v, threads);
    mpz_fdiv_q_2exp(q.get_mpz_t(), q.get_mpz_t(), static_cast<mp_bitcnt_t>(2 * static_cast<long>(d.kk) + d.shift) - s);
    return q;
}

namespace {

// x mod 2^(64 limbs), x >= 0.
mpz_class low_limbs(const mpz_class& x, std::size_t limbs)
{
    mpz_class r;
    mpz_tdiv_r_2exp(r.get_mpz_t(), x.get_mpz_t(), 64 * static_cast<mp_bitcnt_t>(limbs));
    return r;
}

// {rp, rn} <- {rp, rn} - {sp, sn} mod 2^(64 rn), for sn <= rn.
void subtract_low(mp_limb_t* rp, std::size_t rn, const mp_limb_t* sp, std::size_t sn)
{
    if (sn > 0 && mpn_sub_n(rp, rp, sp, static_cast<mp_size_t>(sn)) && sn < rn)
        mpn_sub_1(rp + sn, rp + sn, static_cast<mp_size_t>(rn - sn), 1);
}

// out <- the low want limbs of {block, len} times a fixed factor; out has room
// for the whole product.
using low_product = std::function<void(mp_limb_t* out, const mp_limb_t* block, std::size_t len, std::size_t want)>;

// The low products by a factor transformed once (the whole product), or made
// into the schoolbook's digits once (only the limbs wanted); f outlives them.
low_product times(const ntt_fixed& f)
{
    return [&f](mp_limb_t* out, const mp_limb_t* block, std::size_t len, std::size_t) {
        ntt_mul_fixed(out, f, block, len);
    };
}
low_product times(const schoolbook_factor& f)
{
    return [&f](mp_limb_t* out, const mp_limb_t* block, std::size_t len, std::size_t want) {
        schoolbook_mul_fixed(out, want, block, len, f);
    };
}

// out <- the limbs [len, want) of {block, len} times a fixed factor, a product
// whose len limbs below are known to be those at low; out has room for want limbs.
using high_product = std::function<void(mp_limb_t* out, const mp_limb_t* block, std::size_t len,
                                        const mp_limb_t* low, std::size_t want)>;

// The schoolbook's whole product, its low limbs then dropped.
high_product high_part(const schoolbook_factor& f)
{
    return [&f](mp_limb_t* out, const mp_limb_t* block, std::size_t len, const mp_limb_t*, std::size_t want) {
        schoolbook_mul_fixed(out, want, block, len, f);
        std::memmove(out, out + len, (want - len) * sizeof(mp_limb_t));
    };
}

// From the product modulo 2^L - 1 (f made for L above the factor's size and len's):
// with P = low + high 2^(64 len), high = (P - low) 2^(-64 len) modulo 2^L - 1, the
// inverse power a rotation of L bits, and high < 2^L - 1 has no other value. Half
// the transform length of the whole product.
high_product high_part(const ntt_fixed& f)
{
    return [&f](mp_limb_t* out, const mp_limb_t* block, std::size_t len, const mp_limb_t* low, std::size_t want) {
        mpz_class high, rest;
        std::size_t length = ntt_mul_fixed_cyclic(high.get_mpz_t(), f, block, len);
        mpz_t view;
        high -= mpz_class(mpz_roinit_n(view, low, static_cast<mp_size_t>(len)));
        if (sgn(high) < 0)
            high += mersenne(length);
        mp_bitcnt_t shift = 64 * static_cast<mp_bitcnt_t>(len);
        mpz_tdiv_r_2exp(rest.get_mpz_t(), high.get_mpz_t(), shift);
        mpz_tdiv_q_2exp(high.get_mpz_t(), high.get_mpz_t(), shift);
        rest <<= length - shift;
        high += rest;
        std::size_t n = want - len, hn = std::min(n, mpz_size(high.get_mpz_t()));
        std::copy_n(mpz_limbs_read(high.get_mpz_t()), hn, out);
        std::fill(out + hn, out + n, mp_limb_t(0));
    };
}

// x <- x / (odd 2^twos) for x >= 0 a multiple of it, odd of on limbs, in blocks
// of b <= on limbs: by_inverse multiplies by the inverse of odd modulo
// 2^(64 b) (b limbs at most), by_odd by odd.
void divide_by_inverse(mpz_class& x, mp_bitcnt_t twos, std::size_t on, std::size_t b, const low_product& by_inverse,
                       const high_product& by_odd)
{
    mpz_tdiv_q_2exp(x.get_mpz_t(), x.get_mpz_t(), twos);
    // The quotient has k limbs at most and is x / odd modulo 2^64k. Its blocks of
    // b limbs come from the low end: each is the rest's block times the inverse,
    // and its product by odd is taken off the rest.
    std::size_t xn = mpz_size(x.get_mpz_t());
    if (xn < on) {
        x = 0;
        return;
    }
    std::size_t k = xn - on + 1;
    b = b < k ? b : k;
    // Both written whole before they are read (k <= xn), on large pages when large.
    std::size_t pn = b + on;
    std::unique_ptr<mp_limb_t[]> rest(new mp_limb_t[k]), product(new mp_limb_t[pn]);
    advise_huge_pages(rest.get(), k * sizeof(mp_limb_t));
    advise_huge_pages(product.get(), pn * sizeof(mp_limb_t));
    std::copy_n(mpz_limbs_read(x.get_mpz_t()), k, rest.get());
    mpz_class quotient;
    mp_limb_t* qp = mpz_limbs_write(quotient.get_mpz_t(), static_cast<mp_size_t>(k));
    for (std::size_t at = 0; at < k; at += b) {
        std::size_t len = at + b < k ? b : k - at;
        by_inverse(product.get(), rest.get() + at, len, len);
        std::copy_n(product.get(), len, qp + at);
        if (at + len == k)
            break;
        // Only the limbs below k matter to the blocks still to come; the
        // product's low len limbs are the block's own, which it takes off.
        std::size_t reach = k - at, want = std::min(len + on, reach);
        by_odd(product.get(), qp + at, len, rest.get() + at, want);
        subtract_low(rest.get() + at + len, reach - len, product.get(), want - len);
    }
    mpz_limbs_finish(quotient.get_mpz_t(), static_cast<mp_size_t>(k));
    x.swap(quotient);
}

} // namespace

mpz_class inverse_mod_limbs(const mpz_class& d, std::size_t limbs)
{
    // One word by Newton's steps on machine integers (each doubles the good bits,
    // and d is its own inverse to 3 bits), then x <- x - x h 2^(64 e) from
    // d x = 1 + h 2^(64 e), which doubles the good limbs e.
    mp_limb_t d0 = mpz_getlimbn(d.get_mpz_t(), 0), w = d0;
    for (int i = 0; i < 5; ++i)
        w *= 2 - d0 * w;
    mpz_class x;
    mpz_set_ui(x.get_mpz_t(), w);
    for (std::size_t e = 1; e < limbs;) {
        std::size_t e2 = 2 * e < limbs ? 2 * e : limbs;
        mpz_class t;
        multiply(t, low_limbs(d, e2), x);
        mpz_tdiv_q_2exp(t.get_mpz_t(), t.get_mpz_t(), 64 * static_cast<mp_bitcnt_t>(e));
        t = low_limbs(t, e2 - e);
        multiply(t, t, x);
        // x - t 2^(64 e), taken modulo 2^(64 e2).
        x -= t << (64 * static_cast<mp_bitcnt_t>(e));
        mpz_fdiv_r_2exp(x.get_mpz_t(), x.get_mpz_t(), 64 * static_cast<mp_bitcnt_t>(e2));
        e = e2;
    }
    return x;
}

void divide_exact_pair(mpz_class& x, mpz_class& y, const mpz_class& d)
{
    // The blocks' products must be inside the engine's sizes to beat GMP's own
    // exact division, and beyond the schoolbook's: from 1.5 times the threshold
    // (375 limbs on AVX-512; Zen 5, quotients of 1,500 to 20,000 limbs), the
    // transformed blocks took 0.65 to 0.8 of the schoolbook's time at 384 and 450
    // limbs; at 250 they took more, at 300 to 325 about the same. Below, the
    // blocks' products on the schoolbook beat GMP where the quotient is much
    // longer than d.
    std::size_t from = transform_threshold() < SIZE_MAX / 3 ? 3 * transform_threshold() / 2 : SIZE_MAX;
    std::size_t dn = mpz_size(d.get_mpz_t());
    std::size_t longer = std::max(mpz_size(x.get_mpz_t()), mpz_size(y.get_mpz_t()));
    bool transforms = dn >= from && longer >= dn + from;
    bool schoolbook = !transforms && small_division_wins(dn, longer);
    if (!transforms && !schoolbook) {
        mpz_divexact(x.get_mpz_t(), x.get_mpz_t(), d.get_mpz_t());
        mpz_divexact(y.get_mpz_t(), y.get_mpz_t(), d.get_mpz_t());
        return;
    }
    // Twos first: what is left of d is odd, hence invertible modulo 2^64k.
    mp_bitcnt_t twos = mpz_scan1(d.get_mpz_t(), 0);
    mpz_class odd;
    mpz_tdiv_q_2exp(odd.get_mpz_t(), d.get_mpz_t(), twos);
    mpz_abs(odd.get_mpz_t(), odd.get_mpz_t());
    std::size_t on = mpz_size(odd.get_mpz_t()), k = longer - on + 1;
    std::size_t b = on < k ? on : k;
    mpz_class inverse = inverse_mod_limbs(odd, b);
    const mp_limb_t* ip = mpz_limbs_read(inverse.get_mpz_t());
    const mp_limb_t* op = mpz_limbs_read(odd.get_mpz_t());
    std::size_t in = mpz_size(inverse.get_mpz_t());
    low_product by_inverse;
    high_product by_odd;
    ntt_fixed inverse_t, odd_t;
    schoolbook_factor inverse_s, odd_s;
    if (transforms) {
        // The inverse and odd transformed once for all blocks.
        ntt_path path = ntt_best_path();
        inverse_t = ntt_transform_fixed(ip, in, b, path);
        odd_t = ntt_transform_fixed_cyclic(op, on, b, 64 * static_cast<std::size_t>(on) + 64, path);
        by_inverse = times(inverse_t);
        by_odd = high_part(odd_t);
    } else {
        // Likewise made into the schoolbook's digits once.
        inverse_s = schoolbook_prepare(ip, in);
        odd_s = schoolbook_prepare(op, on);
        by_inverse = times(inverse_s);
        by_odd = high_part(odd_s);
    }
    for (mpz_class* z : {&x, &y}) {
        int sign = sgn(*z) * sgn(d);
        mpz_abs(z->get_mpz_t(), z->get_mpz_t());
        divide_by_inverse(*z, twos, on, b, by_inverse, by_odd);
        if (sign < 0)
            mpz_neg(z->get_mpz_t(), z->get_mpz_t());
    }
}
