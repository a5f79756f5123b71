// The map of all terms 0..m in two stages, each checkpointed to three files and
// read back for the final composition, beside the power 10^N on a second thread.
#pragma once
#include <gmpxx.h>

#include <cstddef>

#include "splitting/affine.h"

// 10^N from g's return until pi() takes it; 0 otherwise.
extern mpz_class dixExpN;

// Composes the series' terms of stage k's range at depth 4, writes the map to
// "pi/etape<k>_<N>" + "_a", "_b", "_c", prints the stage's two console lines
// and returns the files' digests.
map_digest etape(int k, unsigned long m);

// The bound on the transforms of the run's largest products, the final
// composition's and the last phase's: set by 10^N's size.
std::size_t largest_transform();

// f(0) o ... o f(m), unreduced, for m >= 2; sets dixExpN to 10^N.
affine g(unsigned long m);
