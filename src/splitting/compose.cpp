#include "splitting/compose.h"

#include "common/threads.h"
#include "splitting/primitive.h"

namespace {

// fn is null for the series' own terms f, then depth >= 1.
void split(affine& res, term_function* fn, unsigned long lo, unsigned long hi, int depth, term_counter done)
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
    unsigned long mid = lo + (hi - lo) / 2;
    affine tmp;
    if (depth >= 2) {
        both([&] { split(tmp, fn, mid, hi, depth - 1, done); }, [&] { split(res, fn, lo, mid, depth - 1, done); });
    } else if (!fn) {
        // Already reduced: the series' terms have a faster route to the reduced halves.
        primitive_map(res, lo, mid, done);
        primitive_map(tmp, mid, hi, done);
    } else if (depth == 1) {
        split(res, fn, lo, mid, 0, done);
        split(tmp, fn, mid, hi, 0, done);
        both([&] { tmp.reduis(); }, [&] { res.reduis(); });
    } else {
        split(res, fn, lo, mid, 0, done);
        split(tmp, fn, mid, hi, 0, done);
    }
    // The top merges are the largest, and above depth 2 a core would wait idle.
    if (depth >= 3)
        compose_on_two_threads(res, tmp);
    else
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
