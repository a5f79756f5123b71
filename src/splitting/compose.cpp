#include "splitting/compose.h"

#include <exception>
#include <thread>

#include "series/terms.h"
#include "splitting/primitive.h"

std::atomic<unsigned long> terms_evaluated{0};

void compose(affine& res, term_function& fn, unsigned long lo, unsigned long hi, int depth)
{
    if (hi <= lo) {
        // No term: the identity map.
        affine id;
        id.b = 1;
        id.c = 1;
        res = std::move(id);
        return;
    }
    unsigned long mid = lo + (hi - lo) / 2;
    if (hi - lo == 1) {
        res = fn(lo);
        terms_evaluated.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    affine tmp;
    if (depth >= 2) {
        // The new thread may itself fail to start a thread: its error is carried
        // across the join. A jthread joins on the way out if this side throws.
        std::exception_ptr left_error;
        std::jthread left([&res, &fn, lo, mid, depth, &left_error] {
            try {
                compose(res, fn, lo, mid, depth - 1);
            } catch (...) {
                left_error = std::current_exception();
            }
        });
        compose(tmp, fn, mid, hi, depth - 1);
        left.join();
        if (left_error)
            std::rethrow_exception(left_error);
    } else if (depth == 1 && &fn == &f) {
        // The series' own terms have a faster route to the reduced halves.
        primitive_map(res, lo, mid);
        primitive_map(tmp, mid, hi);
    } else if (depth == 1) {
        compose(res, fn, lo, mid, 0);
        compose(tmp, fn, mid, hi, 0);
        std::jthread reducer([&res] { res.reduis(); });
        tmp.reduis();
        reducer.join();
    } else {
        compose(res, fn, lo, mid, 0);
        compose(tmp, fn, mid, hi, 0);
    }
    // The top merges are the largest, and above depth 2 a core would wait idle.
    if (depth >= 3)
        compose_on_two_threads(res, tmp);
    else
        res.compose(tmp);
}
