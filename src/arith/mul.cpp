#include "arith/mul.h"

#include <cstdint>

namespace {

// The smaller operand's size, in limbs, from which the transforms beat GMP's
// products (bench/ntt_speed, AMD EPYC with AVX-512: 1.1x at 500 limbs on eight
// lanes, 1.0x at 700 on four). Without vector instructions they never do.
std::size_t transform_from(ntt_path path)
{
    switch (path) {
    case ntt_path::avx512:
        return 500;
    case ntt_path::avx2:
        return 1000;
    default:
        return SIZE_MAX;
    }
}

// The processor's fastest path, asked once.
ntt_path best_path()
{
    static const ntt_path best = ntt_best_path();
    return best;
}

} // namespace

void multiply_by(mpz_ptr r, mpz_srcptr x, mpz_srcptr y, ntt_path path, std::size_t min_limbs, unsigned threads)
{
    std::size_t xn = mpz_size(x), yn = mpz_size(y);
    if (xn < min_limbs || yn < min_limbs || xn == 0 || yn == 0) {
        mpz_mul(r, x, y);
        return;
    }
    // The product is built apart when r is an operand.
    mpz_class apart;
    mpz_ptr out = (r == x || r == y) ? apart.get_mpz_t() : r;
    mp_limb_t* limbs = mpz_limbs_write(out, static_cast<mp_size_t>(xn + yn));
    ntt_mul(limbs, mpz_limbs_read(x), xn, mpz_limbs_read(y), yn, path, threads);
    // mpz_limbs_finish drops the zero limbs on top.
    mpz_limbs_finish(out, mpz_sgn(x) * mpz_sgn(y) * static_cast<mp_size_t>(xn + yn));
    if (out != r)
        mpz_swap(r, out);
}

void multiply(mpz_ptr r, mpz_srcptr x, mpz_srcptr y, unsigned threads)
{
    multiply_by(r, x, y, best_path(), transform_from(best_path()), threads);
}

std::size_t transform_cap(std::size_t limbs)
{
    if (transform_from(best_path()) == SIZE_MAX || limbs == 0)
        return SIZE_MAX;
    return ntt_length(limbs, limbs - limbs / 4);
}
