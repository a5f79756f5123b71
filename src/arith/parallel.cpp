#include "arith/parallel.h"

#include <cstring>

#include "arith/mul.h"
#include "common/threads.h"

void multiply_on_two_threads(mpz_class& r, const mpz_class& x, const mpz_class& y)
{
    if (mpz_size(x.get_mpz_t()) >= one_at_a_time_limbs && mpz_size(y.get_mpz_t()) >= one_at_a_time_limbs) {
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
