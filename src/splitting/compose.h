// Binary splitting of a range of terms into one affine map, its top levels on threads.
#pragma once
#include <atomic>

#include "splitting/affine.h"

// The term function: index n -> the map of term n.
using term_function = affine(unsigned long);
// Terms composed so far, counted for a progress display; may be null.
using term_counter = std::atomic<unsigned long>*;

// res <- fn(lo) o fn(lo+1) o ... o fn(hi-1); the identity (0, 1, 1) for an
// empty range. The levels of depth >= 2 halve the range down to depth 1, and
// two threads share the depth-1 calls and the merges; a depth-1 call reduces
// its two halves on two threads; depth <= 0 is sequential. The triple does not
// depend on thread timing.
void compose(affine& res, term_function& fn, unsigned long lo, unsigned long hi, int depth,
             term_counter done = nullptr);

// The same for the series' own terms f, whose depth-1 halves are built by
// factor-aware merges (primitive_map): the triple of compose(res, f, ...).
void compose_series(affine& res, unsigned long lo, unsigned long hi, int depth, term_counter done = nullptr);
