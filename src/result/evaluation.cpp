#include "result/evaluation.h"

#include <malloc.h>

#include <atomic>
#include <functional>
#include <iostream>
#include <string>

#include "arith/decimal.h"
#include "arith/divide.h"
#include "arith/parallel.h"
#include "common/clock.h"
#include "common/globals.h"
#include "common/threads.h"
#include "persistence/result_files.h"
#include "series/shape.h"
#include "series/terms.h"
#include "splitting/progress.h"
#include "splitting/stages.h"

mpf_class unreduced_quotient(mpz_class& numerator, mpz_class& denominator)
{
    mpq_class q;
    // Taken as they are, without reducing the fraction.
    mpz_swap(mpq_numref(q.get_mpq_t()), numerator.get_mpz_t());
    mpz_swap(mpq_denref(q.get_mpq_t()), denominator.get_mpz_t());
    mpf_class r(q);
    mpz_swap(mpq_numref(q.get_mpq_t()), numerator.get_mpz_t());
    mpz_swap(mpq_denref(q.get_mpq_t()), denominator.get_mpz_t());
    return r;
}

bool next_sum_agrees(mpz_class& R, const mpz_class& D, const mpz_class& power, const next_term& next,
                     std::size_t cap)
{
    // (X + Y) / D = T + (R + Y) / D: the two truncations agree when 0 <= R + Y < D.
    if (sgn(R) < 0 || R >= D)
        return false;
    int sign = sgn(power) * next.sign;
    if (sign == 0)
        return true;
    // |Y| < 2^y_bits, and a room of k bits is at least 2^(k - 1): a Y below
    // 2^(k - 1) cannot cross it. The room is R below, D - R above.
    mp_bitcnt_t y_bits = mpz_sizeinbase(power.get_mpz_t(), 2) + next.bits;
    if (sign > 0)
        R -= D;
    bool inside = sgn(R) != 0 && y_bits < mpz_sizeinbase(R.get_mpz_t(), 2);
    if (sign > 0)
        R += D;
    if (inside)
        return true;
    mpz_class Y;
    multiply_on_two_threads(Y, power, next.make(), cap);
    R += Y;
    return sgn(R) >= 0 && R < D;
}

namespace {

// The digits are printed on the console up to this count.
constexpr unsigned long echoed_decimals = 1000000;

// The first term left out by a sum of m terms whose map has this b.
mpz_class first_left_out(const mpz_class& b, unsigned long m)
{
    return a(mpz_class(m + 1)) * b;
}

// Frees the digits of x at once; x is 0 after.
void release(mpz_class& x)
{
    mpz_class().swap(x);
}

// Every big integer of this last phase is freed after its last use, and each
// product is made alone on both cores, so that no two transforms' scratch meet.
// The fractions below share the denominator D = c0 * A.c: X / D is the partial
// sum times 10^N, (X + power * next) / D the next one, next / D the first term
// left out.
struct last_phase {
    unsigned long m;
    affine A;
    // The stages' files, from which the first term left out can be formed again.
    stage_digests stages;
    mpz_class power, D, X, T;
    // Formed for the error bound, then let go: only its sign and size are kept.
    mpz_class next;
    next_term left_out;
    bool exact = false;
    // The bound on the products' transforms.
    std::size_t cap = SIZE_MAX;
    // What the phase is doing, for the terminal.
    std::atomic<const char*> step{""};
};

// Prints heading and runs work, whose steps (from first_step on) a terminal shows
// when the run is past the console's echo of the digits and long enough to need
// them; then report, whose lines follow, and the duration line of both.
void phase(last_phase& r, const std::string& heading, const char* first_step, const std::function<void()>& work,
           const std::function<void()>& report = {}, const char* unit = " s")
{
    double t0 = secondes();
    std::cout << heading << std::endl;
    r.step = first_step;
    {
        std::jthread ticker = N > echoed_decimals ? start_steps(r.step) : std::jthread();
        work();
        stop_progress(ticker);
    }
    if (report)
        report();
    print_duration(t0, unit);
}

void precision(last_phase& r)
{
    phase(r, "\nprécision...", "terme suivant et dénominateur", [&r] {
        both([&r] {
            r.next = first_left_out(r.A.b, r.m);
            release(r.A.b);
        }, [&r] {
            r.D = c0(k0) * r.A.c;
            release(r.A.c);
        });
    }, [&r] {
        mpf_class bound = unreduced_quotient(r.next, r.D);
        std::cout << "nombre de termes de la somme partielle = " << r.m << std::endl;
        std::cout << "incertitude = " << std::scientific << bound << std::endl;
        // The check seldom needs more than its size: it is formed again from the
        // stages' files if it does.
        r.left_out.sign = sgn(r.next);
        r.left_out.bits = mpz_sizeinbase(r.next.get_mpz_t(), 2);
        r.left_out.make = [&r] { return first_left_out(composed_b(r.stages, r.cap), r.m); };
        release(r.next);
    }, "");
}

// T, then the check: pi lies strictly between two consecutive partial sums, so
// the digits are exact when the next one truncates to the same T.
void approximation(last_phase& r, double start)
{
    std::string heading = "valeur approchée de pi par défaut avec " + std::to_string(N) + " décimales...";
    phase(r, heading, "produit par 10^N", [&r] {
        // The precision's products on two threads left free pages in both
        // heaps: they go back before the scratch of the largest products.
        malloc_trim(0);
        multiply_on_two_threads(r.X, r.power, r.A.a, r.cap);
        release(r.A.a);
        r.step = "quotient et reste";
        // X is left holding the remainder X - T D.
        divide_in_place(r.T, r.X, r.D, r.cap);
        r.step = "vérification par la somme suivante";
        r.exact = next_sum_agrees(r.X, r.D, r.power, r.left_out, r.cap);
        release(r.power);
        release(r.X);
        release(r.D);
    }, {}, "");
    print_since(std::cout << N << " décimales de pi en ", start) << " s" << std::endl;
}

void binary_recording(last_phase& r, const std::string& name, double start)
{
    phase(r, "\nenregistrement binaire...", "écriture du fichier binaire", [&] { write_raw_result(r.T, name); });
    print_total(start);
}

void decimal_recording(last_phase& r, const std::string& name, double start)
{
    phase(r, "\nenregistrement décimal...", "conversion décimale", [&] {
        // The same for the division's own smaller blocks.
        malloc_trim(0);
        std::string s = decimal_string(r.T);
        if (N <= echoed_decimals) {
            std::cout.write(s.data(), 1) << '.';
            std::cout.write(s.data() + 1, static_cast<std::streamsize>(s.size() - 1)) << std::endl;
        }
        r.step = "écriture du fichier texte";
        write_text_result(s, name);
    });
    print_total(start);
}

} // namespace

void pi()
{
    double start = secondes();
    last_phase r;
    r.m = term_count(N);
    r.A = g(r.m, &r.stages);
    // Taken from g's global so that its digits go as soon as the products are made.
    r.power.swap(dixExpN);
    r.cap = largest_transform();
    // What the composition left free in the heap goes back before the products.
    malloc_trim(0);

    precision(r);
    approximation(r, start);

    std::string name = result_name(N);
    binary_recording(r, name, start);
    decimal_recording(r, name, start);
    std::cout << (r.exact ? "résultat décimal dans le fichier " : "résultat décimal INEXACT dans le fichier ")
              << name << ".txt du répertoire " << pi_path << std::endl;
}
