#include "arith/mul.h"

namespace {

// The smaller operand's size, in limbs, from which the transforms beat GMP's
// products on this program's machines (measured by bench/ntt_speed).
constexpr std::size_t transform_from = 1200;

} // namespace

void multiply_by(mpz_class& r, const mpz_class& x, const mpz_class& y, ntt_path path, std::size_t min_limbs,
                 unsigned threads)
{
    std::size_t xn = mpz_size(x.get_mpz_t()), yn = mpz_size(y.get_mpz_t());
    if (xn < min_limbs || yn < min_limbs) {
        mpz_mul(r.get_mpz_t(), x.get_mpz_t(), y.get_mpz_t());
        return;
    }
    // The product is built apart when r is an operand.
    mpz_class apart;
    mpz_ptr out = (&r == &x || &r == &y) ? apart.get_mpz_t() : r.get_mpz_t();
    mp_limb_t* limbs = mpz_limbs_write(out, static_cast<mp_size_t>(xn + yn));
    ntt_mul(limbs, mpz_limbs_read(x.get_mpz_t()), xn, mpz_limbs_read(y.get_mpz_t()), yn, path, threads);
    std::size_t size = xn + yn;
    while (size > 0 && limbs[size - 1] == 0)
        --size;
    mp_size_t sign = sgn(x) * sgn(y);
    mpz_limbs_finish(out, sign * static_cast<mp_size_t>(size));
    if (out == apart.get_mpz_t())
        r.swap(apart);
}

void multiply(mpz_class& r, const mpz_class& x, const mpz_class& y, unsigned threads)
{
    static const ntt_path best = ntt_best_path();
    multiply_by(r, x, y, best, transform_from, threads);
}
