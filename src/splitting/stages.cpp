#include "splitting/stages.h"

#include <malloc.h>

#include <cmath>
#include <iostream>
#include <sstream>

#include "arith/mul.h"
#include "arith/parallel.h"
#include "common/clock.h"
#include "common/globals.h"
#include "persistence/binfile.h"
#include "series/shape.h"
#include "splitting/compose.h"
#include "splitting/progress.h"

// Built after the coefficient table, destroyed before it.
mpz_class dixExpN __attribute__((init_priority(1002)));

namespace {

// The files' names in the working directory.
std::string stage_prefix(int k)
{
    std::ostringstream prefix;
    prefix << "etape" << k << "_" << N;
    return prefix.str();
}

// x <- member ('a', 'b' or 'c') of stage k's map, read back from its file and
// checked against the stage's digest.
void read_member(int k, char member, const map_digest& digest, mpz_class& x)
{
    std::string name = stage_prefix(k) + "_" + member;
    bigint_from_binfile(x, name, "pi/" + name, &digest[static_cast<std::size_t>(member - 'a')]);
}

} // namespace

map_digest etape(int k, unsigned long m)
{
    std::cout << "étape " << k << std::endl;
    double t0 = secondes();
    term_range r = stage_range(k, m);
    std::atomic<unsigned long> done{0};
    affine A;
    std::jthread ticker = start_progress(k, r.hi - r.lo, done);
    compose_series(A, r.lo, r.hi, 4, &done);
    map_digest digest = A.to_binfiles(stage_prefix(k), "pi/" + stage_prefix(k));
    stop_progress(ticker);
    print_duration(t0);
    return digest;
}

std::size_t largest_transform()
{
    // 10^N's limbs, within one.
    return transform_cap(static_cast<std::size_t>(static_cast<double>(N) * std::log2(10.0) / 64) + 1);
}

affine g(unsigned long m, stage_digests* digests)
{
    std::cout << "composée affine en deux étapes enregistrées:" << std::endl;
    // The files are read back as they were written, or not at all.
    stage_digests stages = {etape(1, m), etape(2, m)};
    std::cout << "composition des deux étapes..." << std::endl;
    double t0 = secondes();
    // The stages' many smaller integers left holes in the heap: their pages go
    // back to the system before the largest products. From now on the heap's
    // free top goes back once 8 MiB of it is free: 128 KiB made the last phase
    // fault its smaller blocks in again and again (a third of a 10^7 run's page
    // faults), 16 MiB or more left holes that raised the peak by a tenth.
    malloc_trim(0);
    mallopt(M_TRIM_THRESHOLD, 8 << 20);
    affine A1(stage_prefix(1), "pi/" + stage_prefix(1), &stages[0]);
    // The second stage's members are read only when their products come, so
    // that the run's largest integers are never all held at once.
    compose_a_c_fetching(
        A1, [&stages](mpz_class& x, char member) { read_member(2, member, stages[1], x); }, largest_transform());
    // After the composition, not beside it: its scratch would add to the
    // composition's, at the run's peak.
    power_of_ten(dixExpN, N);
    print_duration(t0);
    if (digests)
        *digests = stages;
    return A1;
}

mpz_class stage_b(int k, const stage_digests& digests)
{
    mpz_class b;
    read_member(k, 'b', digests[static_cast<std::size_t>(k - 1)], b);
    return b;
}

mpz_class composed_b(const stage_digests& digests, std::size_t cap)
{
    mpz_class b1 = stage_b(1, digests), b2 = stage_b(2, digests), b;
    multiply_on_two_threads(b, b1, b2, cap);
    return b;
}
