#include "splitting/primitive.h"

#include "arith/divide.h"
#include "arith/mul.h"
#include "common/threads.h"
#include "series/factors.h"
#include "series/terms.h"

affine f(unsigned long n)
{
    affine t;
    t.a = a(mpz_class(n));
    mpq_class q = b(n);
    t.b = q.get_num();
    t.c = q.get_den();
    t.a *= t.c;
    return t;
}

namespace {

// A map whose b and c are known by their factorisations. A single term's a is
// held as a(n) alone until needed (lazy): its a is a(n) times its c as built.
struct factored_map {
    affine map;
    factor_list b, c; // of |map.b| and map.c
    bool lazy = false;
};

void settle(factored_map& m)
{
    if (m.lazy)
        multiply(m.map.a, m.map.a, m.map.c);
    m.lazy = false;
}

// Terms are factored by blocks of this many, so that the lists of a block are
// all that is held besides the maps.
constexpr unsigned long block_terms = 32;

struct block {
    unsigned long lo = 0;
    // No merge of the whole range can take out a prime above this.
    uint64_t largest = 0;
    std::vector<factor_list> p, q;
    std::vector<mpz_class> a; // a(n) of the block's terms
};

void leaf(factored_map& res, block& terms, unsigned long n)
{
    factor_list& p = terms.p[n - terms.lo];
    factor_list& q = terms.q[n - terms.lo];
    res.map.b = product(p);
    mpz_neg(res.map.b.get_mpz_t(), res.map.b.get_mpz_t());
    res.map.c = product(q);
    res.map.a.swap(terms.a[n - terms.lo]);
    res.lazy = true;
    // Most of the entries of the range's larger lists are primes above what any
    // of its merges can share: dropped here, they are never merged again.
    drop_above(p, terms.largest);
    drop_above(q, terms.largest);
    res.b.swap(p);
    res.c.swap(q);
}

// Divides the integer that g stands for out of P.b and Q.c.
void divide_out(const factor_list& g, factored_map& P, factored_map& Q)
{
    if (g.empty())
        return;
    divide_exact_pair(P.map.b, Q.map.c, product(g));
}

// P <- P o Q. A prime dividing both P.b and Q.c divides all three members of the
// composition (a = P.a Q.c + P.b Q.a, b = P.b Q.b, c = P.c Q.c), so their common
// part G is divided out of the two factors before the products; the products
// for b and c are offered to the other thread of work. P and Q together hold
// terms consecutive terms, P's first.
void merge(factored_map& P, factored_map& Q, unsigned long terms, shared_work* work = nullptr)
{
    factor_list g = take_common(P.b, Q.c, largest_shared_prime(terms));
    settle(P);
    if (Q.lazy) {
        // Q.a = a(n) Q.c, so a = (P.a + P.b a(n)) Q.c / G: the product a(n) Q.c of
        // the term is never made, and P.b enters whole before it is divided.
        multiply(Q.map.a, P.map.b, Q.map.a);
        P.map.a += Q.map.a;
        divide_out(g, P, Q);
        multiply(P.map.a, P.map.a, Q.map.c);
        multiply(P.map.b, P.map.b, Q.map.b);
        multiply(P.map.c, P.map.c, Q.map.c);
    } else {
        divide_out(g, P, Q);
        compose_shared(P.map, Q.map, work);
    }
    Q.map = affine();
    multiply_into(P.b, Q.b);
    multiply_into(P.c, Q.c);
}

void build(factored_map& res, block& terms, unsigned long lo, unsigned long hi)
{
    if (hi - lo == 1) {
        leaf(res, terms, lo);
        return;
    }
    unsigned long mid = lo + (hi - lo) / 2;
    factored_map right;
    build(res, terms, lo, mid);
    build(right, terms, mid, hi);
    merge(res, right, hi - lo);
}

// Above the blocks, each block is factored just before it is composed; the halves
// are shared with the other thread through work.
void build_blocks(factored_map& res, unsigned long lo, unsigned long hi, uint64_t largest,
                  const std::vector<uint64_t>& primes, std::atomic<unsigned long>* done, shared_work* work)
{
    if (hi - lo <= block_terms) {
        block terms;
        terms.lo = lo;
        terms.largest = largest;
        term_factors(lo, hi, primes, terms.p, terms.q, largest);
        terms.a.resize(hi - lo);
        a_values(lo, hi - lo, terms.a.data());
        build(res, terms, lo, hi);
        if (done)
            done->fetch_add(hi - lo, std::memory_order_relaxed);
        return;
    }
    unsigned long mid = lo + (hi - lo) / 2;
    factored_map right;
    split_work(
        work, [&] { build_blocks(res, lo, mid, largest, primes, done, work); },
        [&] { build_blocks(right, mid, hi, largest, primes, done, work); });
    merge(res, right, hi - lo, work);
}

} // namespace

void primitive_map(affine& res, unsigned long lo, unsigned long hi, std::atomic<unsigned long>* done,
                   shared_work* work)
{
    factored_map m;
    // The sieve's primes, found once for the whole range.
    build_blocks(m, lo, hi, largest_shared_prime(hi - lo), sieving_primes(hi), done, work);
    settle(m);
    // What the three members still share divides gcd(b, c), which the lists give
    // (the primes dropped from them are not shared either).
    factor_list shared = common_with(common(m.b, m.c), m.map.a);
    if (!shared.empty()) {
        mpz_class g = product(shared);
        mpz_divexact(m.map.a.get_mpz_t(), m.map.a.get_mpz_t(), g.get_mpz_t());
        mpz_divexact(m.map.b.get_mpz_t(), m.map.b.get_mpz_t(), g.get_mpz_t());
        mpz_divexact(m.map.c.get_mpz_t(), m.map.c.get_mpz_t(), g.get_mpz_t());
    }
    res = std::move(m.map);
}
