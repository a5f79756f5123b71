#include "splitting/compose.h"

#include <malloc.h>

#include <exception>
#include <functional>
#include <utility>
#include <vector>

#include "arith/ntt.h"
#include "common/threads.h"
#include "splitting/primitive.h"

namespace {

void split(affine& res, term_function* fn, unsigned long lo, unsigned long hi, int depth, term_counter done,
           shared_work* work = nullptr);

// Where [lo, hi) is halved, by the recursion and by its levels laid out flat alike:
// the triple depends on it.
unsigned long middle(unsigned long lo, unsigned long hi)
{
    return lo + (hi - lo) / 2;
}

// The transforms' scratch kept by this thread from product to product while it lives.
struct scratch_kept {
    scratch_kept() { keep_transform_scratch(true); }
    ~scratch_kept() { keep_transform_scratch(false); }
    scratch_kept(const scratch_kept&) = delete;
    scratch_kept& operator=(const scratch_kept&) = delete;
};

// Runs task(i) for i in [0, count) on two threads, each taking the next index
// left, from the last: the last parts of a range hold the largest terms. A thread
// with no index left runs parts of the other's task that it offers (split_work), so
// that neither idles while the other finishes. Each thread keeps its transforms'
// scratch from one product to the next.
void on_two_threads(std::size_t count, const std::function<void(std::size_t, shared_work*)>& task)
{
    std::atomic<std::size_t> taken{0};
    shared_work shared;
    auto work = [&] {
        scratch_kept kept;
        std::exception_ptr error;
        try {
            for (std::size_t i; (i = taken.fetch_add(1)) < count;)
                task(count - 1 - i, &shared);
        } catch (...) {
            error = std::current_exception();
        }
        help_until_done(shared);
        if (error)
            std::rethrow_exception(error);
    };
    both(work, work);
}

// [lo, hi) halved down to depth 1, in order: 2^(depth - 1) ranges, some maybe empty.
void halves(unsigned long lo, unsigned long hi, int depth, std::vector<std::pair<unsigned long, unsigned long>>& out)
{
    if (depth <= 1) {
        out.emplace_back(lo, hi);
        return;
    }
    unsigned long mid = middle(lo, hi);
    halves(lo, mid, depth - 1, out);
    halves(mid, hi, depth - 1, out);
}

// From this size of a map's c, two merges at once, each product on one core,
// take longer than the same merges one after the other with each product on
// both (their transforms no longer fit the caches, and one core's share of the
// memory's bandwidth is less than half of two's): 20% longer for maps of 5
// million limbs, 10% at 2.5 million, 10% shorter at 1.2 million.
constexpr std::size_t whole_merges_below = std::size_t(2) << 20;

// The levels from depth down to 1 of the halving, on two threads that take the
// depth-1 calls and then the merges of each level as they come free: however
// many levels, no more than two threads and two calls' scratch at a time, and
// both cores busy with whole calls or merges but for the last merge. A
// range of one term halves into the identity and that term, which compose to
// the term: the triple is the one of the plain recursion.
void spread(affine& res, term_function* fn, unsigned long lo, unsigned long hi, int depth, term_counter done)
{
    std::vector<std::pair<unsigned long, unsigned long>> parts;
    halves(lo, hi, depth, parts);
    std::vector<affine> maps(parts.size());
    on_two_threads(parts.size(), [&](std::size_t i, shared_work* work) {
        split(maps[i], fn, parts[i].first, parts[i].second, 1, done, work);
    });
    for (int level = 2; level <= depth; ++level) {
        // The two top levels' integers are mostly mapped apart: the heap's free
        // pages, left by the levels below, would stand beside them at the
        // stage's peak.
        if (level >= depth - 1)
            malloc_trim(0);
        std::size_t step = std::size_t(1) << (level - 1), half = step / 2;
        std::size_t merges = maps.size() / step;
        // While a level has two merges or more of maps below whole_merges_below
        // limbs, each thread makes whole ones; larger merges, and the last, make
        // one product at a time on both cores. Each right-hand map is freed as
        // soon as it is composed.
        bool large = mpz_size(maps[half].c.get_mpz_t()) >= whole_merges_below;
        if (merges > 1 && !large) {
            on_two_threads(merges, [&](std::size_t j, shared_work* work) {
                compose_shared(maps[j * step], maps[j * step + half], work);
                maps[j * step + half] = affine();
            });
        } else {
            for (std::size_t j = 0; j < merges; ++j)
                compose_on_two_threads(maps[j * step], std::move(maps[j * step + half]));
        }
    }
    res = std::move(maps[0]);
}

// fn is null for the series' own terms f, then depth >= 1. A depth-1 call of the
// series shares its halves with the other thread through work, when given.
void split(affine& res, term_function* fn, unsigned long lo, unsigned long hi, int depth, term_counter done,
           shared_work* work)
{
    if (hi <= lo) {
        // No term: the identity map.
        affine id;
        id.b = 1;
        id.c = 1;
        res = std::move(id);
        return;
    }
    if (hi - lo == 1) {
        res = fn ? fn(lo) : f(lo);
        if (done)
            done->fetch_add(1, std::memory_order_relaxed);
        return;
    }
    if (depth >= 2) {
        spread(res, fn, lo, hi, depth, done);
        return;
    }
    unsigned long mid = middle(lo, hi);
    affine tmp;
    if (!fn) {
        // Already reduced: the series' terms have a faster route to the reduced halves.
        split_work(
            work, [&] { primitive_map(res, lo, mid, done, work); }, [&] { primitive_map(tmp, mid, hi, done, work); });
        compose_shared(res, tmp, work);
        return;
    } else if (depth == 1) {
        split(res, fn, lo, mid, 0, done);
        split(tmp, fn, mid, hi, 0, done);
        both([&] { tmp.reduis(); }, [&] { res.reduis(); });
    } else {
        split(res, fn, lo, mid, 0, done);
        split(tmp, fn, mid, hi, 0, done);
    }
    res.compose(tmp);
}

} // namespace

void compose(affine& res, term_function& fn, unsigned long lo, unsigned long hi, int depth, term_counter done)
{
    split(res, &fn, lo, hi, depth, done);
}

void compose_series(affine& res, unsigned long lo, unsigned long hi, int depth, term_counter done)
{
    if (depth < 1 && hi > lo) {
        // Too shallow for the fast route: the halves would go unreduced.
        compose(res, f, lo, hi, depth, done);
        return;
    }
    split(res, nullptr, lo, hi, depth, done);
}
