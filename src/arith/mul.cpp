#include "arith/mul.h"

#include <cstdint>
#include <utility>

#include "arith/schoolbook.h"

namespace {

// The smaller operand's size, in limbs, from which the transforms beat GMP's
// products (bench/ntt_speed, AMD EPYC with AVX-512: 1.2x at 250 limbs on eight
// lanes, 1.0x at 700 on four). Without vector instructions they never do.
std::size_t transform_from(ntt_path path)
{
    switch (path) {
    case ntt_path::avx512:
        return 250;
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

// Whether the schoolbook beats GMP at an by bn limbs, an >= bn (Zen 5, best of
// 25: 1.0x at 20 by 20 limbs, 1.4x at 24 by 24 and 32 by 32, 1.5-2.5x from 40 by
// 40 to 250 by 250; 1.3x at 32 by 16, 1.4x at 48 by 12, 0.85x at 24 by 12).
bool schoolbook_wins(std::size_t an, std::size_t bn)
{
    return schoolbook_supported() && bn < schoolbook_limit &&
           (bn >= 24 || (bn >= 16 && an >= 2 * bn) || (bn >= 12 && an >= 4 * bn));
}

// r <- x * y by product({rp, xn + yn}, {xp, xn}, {yp, yn}), a product of limbs
// that writes only once it has read both operands; built apart when r is one of
// them. mpz_limbs_finish drops the zero limbs on top.
template <class limbs_product>
void product_into(mpz_ptr r, mpz_srcptr x, mpz_srcptr y, limbs_product&& product)
{
    std::size_t xn = mpz_size(x), yn = mpz_size(y);
    mpz_class apart;
    mpz_ptr out = (r == x || r == y) ? apart.get_mpz_t() : r;
    int sign = mpz_sgn(x) * mpz_sgn(y);
    const mp_limb_t* xp = mpz_limbs_read(x);
    const mp_limb_t* yp = mpz_limbs_read(y);
    product(mpz_limbs_write(out, static_cast<mp_size_t>(xn + yn)), xp, xn, yp, yn);
    mpz_limbs_finish(out, sign * static_cast<mp_size_t>(xn + yn));
    if (out != r)
        mpz_swap(r, out);
}

// r <- x * y below the transforms' sizes.
void multiply_small(mpz_ptr r, mpz_srcptr x, mpz_srcptr y)
{
    if (mpz_size(x) < mpz_size(y))
        std::swap(x, y);
    if (!schoolbook_wins(mpz_size(x), mpz_size(y))) {
        mpz_mul(r, x, y);
        return;
    }
    product_into(r, x, y, schoolbook_mul);
}

} // namespace

// Here rather than in schoolbook.cpp, which is compiled for AVX-512: the check
// must run on any processor.
bool schoolbook_supported()
{
    static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512ifma");
    return has;
}

void multiply_limbs(mp_limb_t* rp, const mp_limb_t* ap, std::size_t an, const mp_limb_t* bp, std::size_t bn)
{
    if (schoolbook_wins(an, bn))
        schoolbook_mul(rp, ap, an, bp, bn);
    else
        mpn_mul(rp, ap, static_cast<mp_size_t>(an), bp, static_cast<mp_size_t>(bn));
}

void multiply_by(mpz_ptr r, mpz_srcptr x, mpz_srcptr y, ntt_path path, std::size_t min_limbs, unsigned threads)
{
    std::size_t xn = mpz_size(x), yn = mpz_size(y);
    if (xn < min_limbs || yn < min_limbs || xn == 0 || yn == 0) {
        multiply_small(r, x, y);
        return;
    }
    product_into(r, x, y,
                 [path, threads](mp_limb_t* rp, const mp_limb_t* xp, std::size_t xn, const mp_limb_t* yp,
                                 std::size_t yn) { ntt_mul(rp, xp, xn, yp, yn, path, threads); });
}

std::size_t multiply_cyclic_by(mpz_ptr r, mpz_srcptr x, mpz_srcptr y, std::size_t bits, ntt_path path,
                               std::size_t min_limbs, unsigned threads)
{
    if (mpz_size(x) < min_limbs || mpz_size(y) < min_limbs || mpz_sgn(x) == 0 || mpz_sgn(y) == 0) {
        multiply_small(r, x, y);
        fold_modulo(r, bits);
        return bits;
    }
    mpz_class out;
    std::size_t length = ntt_mul_cyclic(out.get_mpz_t(), x, y, bits, path, threads);
    mpz_swap(r, out.get_mpz_t());
    return length;
}

void multiply_composition_by(mpz_ptr a, mpz_ptr b, mpz_ptr c, const mpz_srcptr p[3], const mpz_srcptr q[3],
                             ntt_path path, std::size_t min_limbs, const run_both& run)
{
    auto large = [min_limbs](mpz_srcptr x, mpz_srcptr y) {
        return mpz_size(x) >= min_limbs && mpz_size(y) >= min_limbs && mpz_sgn(x) != 0 && mpz_sgn(y) != 0;
    };
    // The shared transforms' scratch is twice one product's: above this size, where
    // each of two threads makes a whole composition, it would add tens of
    // megabytes to the stages' peak for a few percent of their time.
    bool small_scratch = mpz_size(p[2]) + mpz_size(q[2]) <= one_at_a_time_limbs;
    if (small_scratch && large(p[0], q[2]) && large(p[1], q[0]) && large(p[1], q[1]) && large(p[2], q[2])) {
        ntt_compose(a, b, c, p, q, path, run);
        return;
    }
    // Each side writes only what the other does not read; the new b waits apart
    // until the side of a has read pb.
    mpz_class new_b;
    run(
        [&] {
            mpz_class t;
            multiply_by(t.get_mpz_t(), p[1], q[0], path, min_limbs, 1);
            multiply_by(a, p[0], q[2], path, min_limbs, 1);
            mpz_add(a, a, t.get_mpz_t());
        },
        [&] {
            multiply_by(new_b.get_mpz_t(), p[1], q[1], path, min_limbs, 1);
            multiply_by(c, p[2], q[2], path, min_limbs, 1);
        });
    mpz_swap(b, new_b.get_mpz_t());
}

void multiply_composition(mpz_ptr a, mpz_ptr b, mpz_ptr c, const mpz_srcptr p[3], const mpz_srcptr q[3],
                          const run_both& run)
{
    multiply_composition_by(a, b, c, p, q, best_path(), transform_from(best_path()), run);
}

void multiply_pieces_by(mpz_srcptr x, mpz_srcptr y, std::size_t piece, ntt_path path, std::size_t min_limbs,
                        const std::function<void(std::size_t, mpz_srcptr)>& take)
{
    std::size_t xn = mpz_size(x), yn = mpz_size(y);
    const mp_limb_t* limbs = mpz_limbs_read(y);
    mpz_t view;
    if (xn >= min_limbs && (piece < yn ? piece : yn) >= min_limbs) {
        ntt_mul_pieces(mpz_limbs_read(x), xn, limbs, yn, piece, path,
                       [&take, &view](std::size_t at, const mp_limb_t* rp, std::size_t rn) {
                           take(at, mpz_roinit_n(view, rp, static_cast<mp_size_t>(rn)));
                       });
        return;
    }
    mpz_t x_view;
    mpz_srcptr x_abs = mpz_roinit_n(x_view, mpz_limbs_read(x), static_cast<mp_size_t>(xn));
    mpz_class part;
    for (std::size_t at = 0; at < yn; at += piece) {
        std::size_t len = at + piece < yn ? piece : yn - at;
        multiply_by(part.get_mpz_t(), x_abs, mpz_roinit_n(view, limbs + at, static_cast<mp_size_t>(len)), path,
                    min_limbs, 2);
        take(at, part.get_mpz_t());
    }
}

void multiply_pieces(mpz_srcptr x, mpz_srcptr y, std::size_t piece,
                     const std::function<void(std::size_t, mpz_srcptr)>& take)
{
    multiply_pieces_by(x, y, piece, best_path(), transform_from(best_path()), take);
}

void multiply(mpz_ptr r, mpz_srcptr x, mpz_srcptr y, unsigned threads)
{
    multiply_by(r, x, y, best_path(), transform_from(best_path()), threads);
}

std::size_t multiply_cyclic(mpz_ptr r, mpz_srcptr x, mpz_srcptr y, std::size_t bits, unsigned threads)
{
    return multiply_cyclic_by(r, x, y, bits, best_path(), transform_from(best_path()), threads);
}

std::size_t transform_threshold()
{
    return transform_from(best_path());
}

std::size_t transform_cap(std::size_t limbs)
{
    if (transform_threshold() == SIZE_MAX || limbs == 0)
        return SIZE_MAX;
    return ntt_length((limbs + 1) / 2, (limbs + 1) / 2);
}
