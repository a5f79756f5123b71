#include "splitting/affine.h"

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

// r <- x * y on up to threads threads, on two within cap transform points; r may be x.
void product(mpz_class& r, const mpz_class& x, const mpz_class& y, unsigned threads, std::size_t cap)
{
    if (threads < 2) {
        multiply(r, x, y);
        return;
    }
    mpz_class t;
    multiply_on_two_threads(t, x, y, cap);
    r.swap(t);
}

// P <- P o Q in four steps, each product on up to threads threads.
void compose_in_place(affine& P, const affine& Q, unsigned threads, std::size_t cap = SIZE_MAX)
{
    product(P.a, P.a, Q.c, threads, cap);
    {
        mpz_class t;
        product(t, P.b, Q.a, threads, cap);
        P.a += t;
    }
    product(P.b, P.b, Q.b, threads, cap);
    product(P.c, P.c, Q.c, threads, cap);
}

// P <- P o Q in two sides, a and then b and c, given to run_sides (both, or
// split_work). Both sides read P.b: the new b is held apart until the first side
// has used the old one. Otherwise each side writes only members that the other
// does not read.
template <class Run>
void compose_sides(affine& P, const affine& Q, Run run_sides)
{
    mpz_class b;
    run_sides(
        [&P, &Q] {
            multiply(P.a, P.a, Q.c);
            mpz_class t;
            multiply(t, P.b, Q.a);
            P.a += t;
        },
        [&P, &Q, &b] {
            multiply(b, P.b, Q.b);
            multiply(P.c, P.c, Q.c);
        });
    P.b.swap(b);
}

} // namespace

void affine::compose(const affine& other)
{
    compose_in_place(*this, other, 1);
}

void compose_on_two_threads(affine& P, const affine& Q, std::size_t cap)
{
    if (mpz_size(Q.c.get_mpz_t()) >= one_at_a_time_limbs && mpz_size(P.b.get_mpz_t()) >= one_at_a_time_limbs) {
        compose_in_place(P, Q, 2, cap);
        return;
    }
    compose_sides(P, Q, both);
}

void compose_shared(affine& P, const affine& Q, shared_work* work)
{
    compose_sides(P, Q, [work](const std::function<void()>& first, const std::function<void()>& second) {
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
