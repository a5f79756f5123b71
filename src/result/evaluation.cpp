#include "result/evaluation.h"

#include <chrono>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <thread>

#include "persistence/results.h"
#include "pi.h"
#include "series/terms.h"
#include "splitting/stages.h"

double secondes()
{
    using namespace std::chrono;
    long us = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    return static_cast<double>(us) / 1000000.0;
}

unsigned long term_count(unsigned long n)
{
    unsigned long m = n / 189;
    return m < 2 ? 2 : m;
}

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

void multiply_on_two_threads(mpz_class& r, const mpz_class& x, const mpz_class& y)
{
    // y = high * 2^(half limbs) + low, both parts read in place from y's limbs.
    mp_size_t n = static_cast<mp_size_t>(mpz_size(y.get_mpz_t()));
    mp_size_t half = n / 2;
    int sign = mpz_sgn(y.get_mpz_t());
    const mp_limb_t* limbs = mpz_limbs_read(y.get_mpz_t());
    mpz_t low_view, high_view;
    mpz_srcptr low = mpz_roinit_n(low_view, limbs, sign * half);
    mpz_srcptr high = mpz_roinit_n(high_view, limbs + half, sign * (n - half));
    mpz_class lower;
    std::jthread other([&lower, &x, low] { mpz_mul(lower.get_mpz_t(), x.get_mpz_t(), low); });
    mpz_mul(r.get_mpz_t(), x.get_mpz_t(), high);
    mpz_mul_2exp(r.get_mpz_t(), r.get_mpz_t(), static_cast<mp_bitcnt_t>(half) * GMP_NUMB_BITS);
    other.join();
    r += lower;
}

bool next_sum_agrees(mpz_class& X, const mpz_class& T, const mpz_class& D, const mpz_class& Y)
{
    // (X + Y) / D = T + (R + Y) / D: the two truncations agree when 0 <= R + Y < D.
    mpz_submul(X.get_mpz_t(), T.get_mpz_t(), D.get_mpz_t());
    if (sgn(X) < 0 || X >= D)
        return false;
    X += Y;
    return sgn(X) >= 0 && X < D;
}

std::string decimal_string(const mpz_class& x, size_t split_digits)
{
    // The digit count of x or one more: with k = bound / 2 and bound >= 3, the high
    // part has a digit at least.
    size_t bound = mpz_sizeinbase(x.get_mpz_t(), 10);
    if (bound < split_digits || bound < 3)
        return x.get_str(10);
    size_t k = bound / 2;
    mpz_class high, low;
    {
        mpz_class power;
        mpz_ui_pow_ui(power.get_mpz_t(), 10, k);
        mpz_tdiv_qr(high.get_mpz_t(), low.get_mpz_t(), x.get_mpz_t(), power.get_mpz_t());
    }
    mpz_abs(high.get_mpz_t(), high.get_mpz_t());
    mpz_abs(low.get_mpz_t(), low.get_mpz_t());

    // One buffer for the sign and both parts, each part with the room mpz_get_str
    // asks for; the low part is then moved against the high one behind its zeros.
    size_t sign = sgn(x) < 0 ? 1 : 0;
    size_t high_room = mpz_sizeinbase(high.get_mpz_t(), 10) + 2;
    std::string s(sign + high_room + k + 3, '0');
    if (sign)
        s[0] = '-';
    char* h = s.data() + sign;
    char* l = h + high_room;
    std::jthread lower([l, &low] { mpz_get_str(l, 10, low.get_mpz_t()); });
    mpz_get_str(h, 10, high.get_mpz_t());
    lower.join();
    size_t hn = std::strlen(h), ln = std::strlen(l);
    size_t zeros = k - ln;
    std::memmove(h + hn + zeros, l, ln);
    std::memset(h + hn, '0', zeros);
    s.resize(sign + hn + k);
    return s;
}

bool echoes_digits(unsigned long n)
{
    return n <= 1000000;
}

namespace {

// Frees the digits of x at once; x is 0 after.
void release(mpz_class& x)
{
    mpz_class().swap(x);
}

} // namespace

std::ostream& duration_since(double t0)
{
    return std::cout << "durée: " << std::fixed << std::setprecision(3) << secondes() - t0;
}

void pi()
{
    double start = secondes();
    unsigned long m = term_count(N);
    affine A = g(m);
    // Taken from g's global so that its digits go as soon as the products are made.
    mpz_class power;
    power.swap(dixExpN);
    double composed = secondes();

    // The peak of the run is in this last phase: every big integer is freed after
    // its last use.
    std::cout << "\nprécision..." << std::endl;
    // The bound's numerator makes the next partial sum, its denominator divides both sums.
    mpz_class next, D;
    {
        std::jthread denominator([&D, &A] {
            D = c0(63) * A.c;
            release(A.c);
        });
        next = a(mpz_class(m + 1)) * A.b;
        release(A.b);
    }
    mpf_class bound = unreduced_quotient(next, D);
    std::cout << "nombre de termes de la somme partielle = " << m << std::endl;
    std::cout << "incertitude = " << std::scientific << bound << std::endl;
    duration_since(composed) << std::endl;

    std::cout << "valeur approchée de pi par défaut avec " << N << " décimales..." << std::endl;
    double truncation = secondes();
    // X / D is the partial sum times 10^N, (X + Y) / D the next one.
    mpz_class X, Y, T;
    multiply_on_two_threads(X, power, A.a);
    release(A.a);
    {
        // The division runs on one thread: the other core makes Y meanwhile.
        std::jthread added([&Y, &next, &power] {
            Y = power * next;
            release(next);
            release(power);
        });
        mpz_tdiv_q(T.get_mpz_t(), X.get_mpz_t(), D.get_mpz_t());
    }
    duration_since(truncation) << std::endl;
    std::cout << N << " décimales de pi en " << std::fixed << std::setprecision(3) << secondes() - start << " s"
              << std::endl;

    std::cout << "\nenregistrement binaire..." << std::endl;
    double binary = secondes();
    std::string name = result_name(N);
    write_raw_result(T, name);
    duration_since(binary) << " s" << std::endl;
    std::cout << "durée totale: " << std::fixed << std::setprecision(3) << secondes() - start << " s" << std::endl;

    std::cout << "\nenregistrement décimal..." << std::endl;
    // The digits are exact when the next partial sum truncates to the same T, since
    // pi lies strictly between two consecutive partial sums.
    bool exact = false;
    std::jthread check([&exact, &X, &T, &D, &Y] {
        exact = next_sum_agrees(X, T, D, Y);
        release(X);
        release(D);
        release(Y);
    });
    double decimal = secondes();
    std::string s = decimal_string(T);
    if (echoes_digits(N)) {
        std::cout.write(s.data(), 1) << '.';
        std::cout.write(s.data() + 1, static_cast<std::streamsize>(s.size() - 1)) << std::endl;
    }
    write_text_result(s, name);
    duration_since(decimal) << " s" << std::endl;
    std::cout << "durée totale: " << std::fixed << std::setprecision(3) << secondes() - start << " s" << std::endl;
    check.join();

    std::cout << (exact ? "résultat décimal dans le fichier " : "résultat décimal INEXACT dans le fichier ")
              << name << ".txt du répertoire " << pi_path << std::endl;
}
