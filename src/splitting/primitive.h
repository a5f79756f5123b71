// The reduced map of a range of series terms, composed by merges that first take
// out the factors that the merged triple would have in common.
#pragma once
#include "splitting/affine.h"

// res <- f(lo) o ... o f(hi-1) divided by the gcd of its three members (lo < hi):
// the same triple as the plain composition followed by reduis.
void primitive_map(affine& res, unsigned long lo, unsigned long hi);
