// The map of all terms 0..m in two stages, each checkpointed to three files and
// read back for the final composition, then the power 10^N.
#pragma once
#include <gmpxx.h>

#include <array>
#include <cstddef>
#include <cstdint>

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

// The digests of the two stages' files, as g wrote them.
using stage_digests = std::array<map_digest, 2>;

// f(0) o ... o f(m), unreduced, for m >= 2, but for its b: that stays stage 1's
// b, since the run needs the whole product only in rare cases (composed_b). Sets
// dixExpN to 10^N and, when digests is given, the stages' digests.
affine g(unsigned long m, stage_digests* digests = nullptr);

// Stage k's b, read back from its file (checked against its digest).
mpz_class stage_b(int k, const stage_digests& digests);

// The b of f(0) o ... o f(m): the product of the stages' b, read back from their
// files (checked against digests), within cap transform points.
mpz_class composed_b(const stage_digests& digests, std::size_t cap = SIZE_MAX);
