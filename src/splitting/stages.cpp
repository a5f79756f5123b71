#include "splitting/stages.h"

#include <iostream>
#include <sstream>
#include <thread>

#include "pi.h"
#include "result/evaluation.h"
#include "result/progress.h"
#include "series/terms.h"

// Built after the coefficient table, destroyed before it.
mpz_class dixExpN __attribute__((init_priority(1002)));

namespace {

std::string stage_prefix(int k)
{
    std::ostringstream prefix;
    prefix << "pi/etape" << k << "_" << N;
    return prefix.str();
}

} // namespace

void etape(int k, term_function& fn, unsigned long lo, unsigned long hi)
{
    std::cout << "étape " << k << std::endl;
    double t0 = secondes();
    affine A;
    std::jthread ticker = start_progress(k, hi - lo);
    compose(A, fn, lo, hi, 4);
    A.to_binfiles(stage_prefix(k));
    stop_progress(ticker);
    duration_since(t0) << " s" << std::endl;
}

affine g(unsigned long m)
{
    std::cout << "composée affine en deux étapes enregistrées:" << std::endl;
    etape(1, f, 0, m / 2);
    etape(2, f, m / 2, m + 1);
    std::cout << "composition des deux étapes..." << std::endl;
    double t0 = secondes();
    affine A1(stage_prefix(1));
    affine A2(stage_prefix(2));
    std::jthread power([] { mpz_ui_pow_ui(dixExpN.get_mpz_t(), 10, N); });
    compose_on_two_threads(A1, A2);
    power.join();
    duration_since(t0) << " s" << std::endl;
    return A1;
}
