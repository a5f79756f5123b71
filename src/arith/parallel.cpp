#include "arith/parallel.h"

#include <cstring>
#include <vector>

#include "arith/divide.h"
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
    mpz_limbs_finish(r.get_mpz_t(), mpz_sgn(x.get_mpz_t()) * mpz_sgn(y.get_mpz_t()) * static_cast<mp_size_t>(xn + yn));
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

namespace {

// The decimal digits of x, exactly width of them with leading zeros, written at
// out: x < 10^width, width = leaf * 2^level, powers[j] prepared for 10^(leaf 2^j).
// The top cuts run their halves on two threads.
void write_digits(char* out, const mpz_class& x, std::size_t leaf, unsigned level, const std::vector<divisor>& powers,
                  unsigned threaded_levels)
{
    if (level == 0) {
        std::string digits = x.get_str(10);
        std::size_t zeros = leaf - (sgn(x) ? digits.size() : 0);
        std::memset(out, '0', zeros);
        if (sgn(x))
            std::memcpy(out + zeros, digits.data(), digits.size());
        return;
    }
    mpz_class high, low;
    divide(high, low, x, powers[level - 1]);
    std::size_t half = leaf << (level - 1);
    if (threaded_levels > 0)
        both([&] { write_digits(out, high, leaf, level - 1, powers, threaded_levels - 1); },
             [&] { write_digits(out + half, low, leaf, level - 1, powers, threaded_levels - 1); });
    else {
        write_digits(out, high, leaf, level - 1, powers, 0);
        write_digits(out + half, low, leaf, level - 1, powers, 0);
    }
}

} // namespace

std::string decimal_string(const mpz_class& x, size_t split_digits)
{
    // The digit count of x or one more.
    size_t bound = mpz_sizeinbase(x.get_mpz_t(), 10);
    if (bound < split_digits || bound < 64)
        return x.get_str(10);
    // Cut in 2^levels pieces of leaf digits, each of at most split_digits / 2
    // digits (at least 32), converted by GMP.
    std::size_t most = split_digits / 2 > 32 ? split_digits / 2 : 32;
    unsigned levels = 0;
    while ((most << levels) < bound)
        ++levels;
    std::size_t leaf = (bound + (std::size_t(1) << levels) - 1) >> levels;
    // 10^(leaf 2^j) for j < levels, by squares, each prepared for its division.
    std::vector<divisor> powers;
    mpz_class power;
    mpz_ui_pow_ui(power.get_mpz_t(), 10, leaf);
    for (unsigned j = 0; j < levels; ++j) {
        if (j > 0)
            multiply(power, power, power, 2);
        powers.push_back(prepare_divisor(power, mpz_sizeinbase(power.get_mpz_t(), 2)));
    }
    power = 0;

    std::size_t sign = sgn(x) < 0 ? 1 : 0, width = leaf << levels;
    std::string s(sign + width, '-');
    mpz_class magnitude = abs(x);
    write_digits(s.data() + sign, magnitude, leaf, levels, powers, 2);
    // Past the sign, the zeros that lead the padded width.
    std::size_t first = sign;
    while (first + 1 < s.size() && s[first] == '0')
        ++first;
    s.erase(sign, first - sign);
    return s;
}
