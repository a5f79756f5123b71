#include "splitting/affine.h"

#include <functional>

#include "arith/mul.h"
#include "arith/parallel.h"
#include "common/threads.h"

affine& affine::operator=(affine&& other) noexcept
{
    mpz_swap(a.get_mpz_t(), other.a.get_mpz_t());
    mpz_swap(b.get_mpz_t(), other.b.get_mpz_t());
    mpz_swap(c.get_mpz_t(), other.c.get_mpz_t());
    return *this;
}

namespace {

// P <- P o Q, the products' two tasks given to run.
void compose_by(affine& P, const affine& Q, const run_both& run)
{
    mpz_srcptr p[3] = {P.a.get_mpz_t(), P.b.get_mpz_t(), P.c.get_mpz_t()};
    mpz_srcptr q[3] = {Q.a.get_mpz_t(), Q.b.get_mpz_t(), Q.c.get_mpz_t()};
    multiply_composition(P.a.get_mpz_t(), P.b.get_mpz_t(), P.c.get_mpz_t(), p, q, run);
}

} // namespace

void affine::compose(const affine& other)
{
    multiply(a, a, other.c);
    mpz_class t;
    multiply(t, b, other.a);
    a += t;
    multiply(b, b, other.b);
    multiply(c, c, other.c);
}

void compose_on_two_threads(affine& P, affine&& Q, std::size_t cap)
{
    if (mpz_size(Q.c.get_mpz_t()) < one_at_a_time_limbs || mpz_size(P.b.get_mpz_t()) < one_at_a_time_limbs) {
        compose_by(P, Q, both);
        Q = affine();
        return;
    }
    compose_fetching(P, [&Q](mpz_class& x, char member) { x.swap(member == 'a' ? Q.a : member == 'b' ? Q.b : Q.c); },
                     cap);
}

void compose_fetching(affine& P, const std::function<void(mpz_class&, char)>& fetch, std::size_t cap)
{
    compose_a_c_fetching(P, fetch, cap);
    mpz_class q, r;
    fetch(q, 'b');
    multiply_on_two_threads(r, P.b, q, cap);
    P.b.swap(r);
}

void compose_a_c_fetching(affine& P, const std::function<void(mpz_class&, char)>& fetch, std::size_t cap)
{
    // These are the largest maps of a run: one product at a time, in the order
    // that lets each old member of P, and each member of Q, go as soon as it has
    // been used, and P.b Q.a added into the new a in place.
    auto release = [](mpz_class& x) { mpz_class().swap(x); };
    mpz_class q, r;
    fetch(q, 'c');
    multiply_on_two_threads(r, P.a, q, cap);
    P.a.swap(r);
    release(r);
    multiply_on_two_threads(r, P.c, q, cap);
    P.c.swap(r);
    release(r);
    release(q);
    fetch(q, 'a');
    add_product(P.a, P.b, q, cap);
}

void compose_shared(affine& P, const affine& Q, shared_work* work)
{
    compose_by(P, Q, [work](const std::function<void()>& first, const std::function<void()>& second) {
        split_work(work, first, second);
    });
}

void affine::reduis()
{
    reduis(a.get_mpz_t(), b.get_mpz_t(), c.get_mpz_t());
}

void affine::reduis(mpz_ptr x, mpz_ptr y, mpz_ptr z)
{
    mpz_t s;
    mpz_init(s);
    mpz_gcd(s, x, y);
    mpz_gcd(s, s, z);
    if (mpz_sgn(s) != 0) {
        mpz_divexact(x, x, s);
        mpz_divexact(y, y, s);
        mpz_divexact(z, z, s);
    }
    mpz_clear(s);
}
