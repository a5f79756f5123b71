#include "arith/parallel.h"

#include <cstring>

#include "arith/mul.h"
#include "common/threads.h"

namespace {

// r <- x * y for |y| >= |x| > 0 in limbs, y cut into pieces of about |x| limbs
// whose products are made one after the other on both cores and added into r:
// the transforms' scratch is then that of a balanced product of x's size, not of
// the whole. r is neither x nor y.
void multiply_by_pieces(mpz_class& r, const mpz_class& x, const mpz_class& y)
{
    std::size_t xn = mpz_size(x.get_mpz_t()), yn = mpz_size(y.get_mpz_t());
    std::size_t pieces = yn / xn, piece = (yn + pieces - 1) / pieces;
    mp_limb_t* out = mpz_limbs_write(r.get_mpz_t(), static_cast<mp_size_t>(xn + yn));
    std::memset(out, 0, (xn + yn) * sizeof(mp_limb_t));
    const mp_limb_t* limbs = mpz_limbs_read(y.get_mpz_t());
    mpz_t x_view;
    mpz_srcptr x_abs = mpz_roinit_n(x_view, mpz_limbs_read(x.get_mpz_t()), static_cast<mp_size_t>(xn));
    mpz_class part;
    for (std::size_t at = 0; at < yn; at += piece) {
        std::size_t len = at + piece < yn ? piece : yn - at;
        mpz_t view;
        multiply(part.get_mpz_t(), x_abs, mpz_roinit_n(view, limbs + at, static_cast<mp_size_t>(len)), 2);
        std::size_t pn = mpz_size(part.get_mpz_t());
        if (pn > 0)
            mpn_add(out + at, out + at, xn + yn - at, mpz_limbs_read(part.get_mpz_t()), static_cast<mp_size_t>(pn));
    }
    std::size_t size = xn + yn;
    while (size > 0 && out[size - 1] == 0)
        --size;
    mpz_limbs_finish(r.get_mpz_t(), mpz_sgn(x.get_mpz_t()) * mpz_sgn(y.get_mpz_t()) * static_cast<mp_size_t>(size));
}

} // namespace

void multiply_on_two_threads(mpz_class& r, const mpz_class& x, const mpz_class& y)
{
    std::size_t xn = mpz_size(x.get_mpz_t()), yn = mpz_size(y.get_mpz_t());
    if (xn >= one_at_a_time_limbs && yn >= one_at_a_time_limbs) {
        if (yn >= 2 * xn)
            multiply_by_pieces(r, x, y);
        else if (xn >= 2 * yn)
            multiply_by_pieces(r, y, x);
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

std::string decimal_string(const mpz_class& x, size_t split_digits)
{
    // The digit count of x or one more: with k = bound / 2 and bound >= 3, the high
    // part has a digit at least.
    size_t bound = mpz_sizeinbase(x.get_mpz_t(), 10);
    if (bound < split_digits || bound < 3)
        return x.get_str(10);
    size_t k = bound / 2;
    mpz_class high, low;
    {
        mpz_class power;
        mpz_ui_pow_ui(power.get_mpz_t(), 10, k);
        mpz_tdiv_qr(high.get_mpz_t(), low.get_mpz_t(), x.get_mpz_t(), power.get_mpz_t());
    }
    mpz_abs(high.get_mpz_t(), high.get_mpz_t());
    mpz_abs(low.get_mpz_t(), low.get_mpz_t());

    // One buffer for the sign and both parts, each part with the room mpz_get_str
    // asks for; the low part is then moved against the high one behind its zeros.
    size_t sign = sgn(x) < 0 ? 1 : 0;
    size_t high_room = mpz_sizeinbase(high.get_mpz_t(), 10) + 2;
    std::string s(sign + high_room + k + 3, '0');
    if (sign)
        s[0] = '-';
    char* h = s.data() + sign;
    char* l = h + high_room;
    both([&] { mpz_get_str(h, 10, high.get_mpz_t()); }, [&] { mpz_get_str(l, 10, low.get_mpz_t()); });
    size_t hn = std::strlen(h), ln = std::strlen(l);
    size_t zeros = k - ln;
    std::memmove(h + hn + zeros, l, ln);
    std::memset(h + hn, '0', zeros);
    s.resize(sign + hn + k);
    return s;
}
