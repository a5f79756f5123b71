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

namespace {

// Limbs kept of each factor of the first term left out: the interval they leave
// is some 2^-500 of the term, where the float holds three limbs.
constexpr std::size_t leading_limbs = 8;

// |x| but for its limbs below the leading ones, whose count goes to dropped.
mpz_class leading_part(const mpz_class& x, std::size_t& dropped)
{
    std::size_t n = mpz_size(x.get_mpz_t());
    dropped = n > leading_limbs ? n - leading_limbs : 0;
    mpz_t view;
    return mpz_class(mpz_roinit_n(view, mpz_limbs_read(x.get_mpz_t()) + dropped, static_cast<mp_size_t>(n - dropped)));
}

} // namespace

bool leading_quotient(const mpz_class& a, const mpz_class& b1, const mpz_class& b2, mpz_class& D, mpf_class& q,
                      lazy_factor& t)
{
    // |a b1 b2| / 2^s lies in [lo, hi), s = 64 (d1 + d2), the bounds one limb
    // above the leading ones where some were dropped.
    std::size_t d1 = 0, d2 = 0;
    mpz_class t1 = leading_part(b1, d1), t2 = leading_part(b2, d2);
    mpz_class lo = a * t1 * t2, hi = a * (t1 + (d1 > 0)) * (t2 + (d2 > 0));
    std::size_t bits = mpz_sizeinbase(lo.get_mpz_t(), 2);
    if (bits != mpz_sizeinbase(hi.get_mpz_t(), 2))
        return false;
    int sign = sgn(b1) * sgn(b2);
    if (sign < 0) {
        lo = -lo;
        hi = -hi;
    }
    // With as many limbs as the term, each bound's float is the truncation of its
    // quotient at the same place as the term's, 2^-s times over: equal floats
    // leave the term's no other value.
    mpf_class f_lo = unreduced_quotient(lo, D), f_hi = unreduced_quotient(hi, D);
    if (f_lo != f_hi)
        return false;
    mp_bitcnt_t s = 64 * static_cast<mp_bitcnt_t>(d1 + d2);
    // By whole limbs: the exponent moves, the limbs stay.
    mpf_mul_2exp(f_lo.get_mpf_t(), f_lo.get_mpf_t(), s);
    mpf_swap(q.get_mpf_t(), f_lo.get_mpf_t());
    t.sign = sign;
    t.bits = bits + s;
    return true;
}

bool next_sum_agrees(mpz_class& R, const mpz_class& D, const lazy_factor& power, const lazy_factor& next,
                     std::size_t cap)
{
    // (X + Y) / D = T + (R + Y) / D: the two truncations agree when 0 <= R + Y < D.
    if (sgn(R) < 0 || R >= D)
        return false;
    int sign = power.sign * next.sign;
    if (sign == 0)
        return true;
    // |Y| < 2^y_bits, and a room of k bits is at least 2^(k - 1): a Y below
    // 2^(k - 1) cannot cross it. The room is R below, D - R above.
    mp_bitcnt_t y_bits = power.bits + next.bits;
    if (sign > 0)
        R -= D;
    bool inside = sgn(R) != 0 && y_bits < mpz_sizeinbase(R.get_mpz_t(), 2);
    if (sign > 0)
        R += D;
    if (inside)
        return true;
    mpz_class Y;
    mpz_class p = power.make(), q = next.make();
    multiply_on_two_threads(Y, p, q, cap);
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
    lazy_factor left_out;
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
    mpf_class bound;
    phase(r, "\nprécision...", "terme suivant et dénominateur", [&r, &bound] {
        // The first term left out is a(m+1) b1 b2, with A.b = b1 stage 1's b and b2
        // stage 2's: their leading limbs nearly always give all that is needed of it.
        mpz_class b2;
        both([&r, &b2] { b2 = stage_b(2, r.stages); }, [&r] {
            r.D = c0(k0) * r.A.c;
            release(r.A.c);
        });
        mpz_class a_next = a(mpz_class(r.m + 1));
        if (!leading_quotient(a_next, r.A.b, b2, r.D, bound, r.left_out)) {
            mpz_class next;
            multiply_on_two_threads(next, r.A.b, b2, r.cap);
            next *= a_next;
            bound = unreduced_quotient(next, r.D);
            r.left_out.sign = sgn(next);
            r.left_out.bits = mpz_sizeinbase(next.get_mpz_t(), 2);
        }
        release(r.A.b);
    }, [&r, &bound] {
        std::cout << "nombre de termes de la somme partielle = " << r.m << std::endl;
        std::cout << "incertitude = " << std::scientific << bound << std::endl;
        // The check seldom needs more than its size: it is formed again from the
        // stages' files if it does.
        r.left_out.make = [&r] { return first_left_out(composed_b(r.stages, r.cap), r.m); };
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
        // 10^N goes before the division's products, where the run's peak was: the
        // check seldom needs more than its size, and makes it again if it does.
        lazy_factor power{1, mpz_sizeinbase(r.power.get_mpz_t(), 2), [] {
                              mpz_class p;
                              power_of_ten(p, N);
                              return p;
                          }};
        release(r.power);
        r.step = "quotient et reste";
        // X is left holding the remainder X - T D.
        divide_in_place(r.T, r.X, r.D, r.cap);
        r.step = "vérification par la somme suivante";
        r.exact = next_sum_agrees(r.X, r.D, power, r.left_out, r.cap);
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
