#include "result/evaluation.h"

#include <chrono>
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

mpf_class uncertainty(const affine& A, unsigned long m)
{
    mpz_class v = a(mpz_class(m + 1));
    mpz_class numerator = v * A.b;
    mpz_class denominator = c0(63) * A.c;
    mpq_class q;
    // Taken as they are, without reducing the fraction.
    mpz_swap(mpq_numref(q.get_mpq_t()), numerator.get_mpz_t());
    mpz_swap(mpq_denref(q.get_mpq_t()), denominator.get_mpz_t());
    return mpf_class(q);
}

bool echoes_digits(unsigned long n)
{
    return n <= 1000000;
}

namespace {

// "durée: " and the time since t0; the clock is read after the label is out.
std::ostream& duration_since(double t0)
{
    return std::cout << "durée: " << std::fixed << std::setprecision(3) << secondes() - t0;
}

} // namespace

void pi()
{
    double start = secondes();
    unsigned long m = term_count(N);
    affine A = g(m);
    double composed = secondes();

    std::cout << "\nprécision..." << std::endl;
    mpf_class bound = uncertainty(A, m);
    std::cout << "nombre de termes de la somme partielle = " << m << std::endl;
    std::cout << "incertitude = " << std::scientific << bound << std::endl;
    duration_since(composed) << std::endl;

    std::cout << "valeur approchée de pi par défaut avec " << N << " décimales..." << std::endl;
    double truncation = secondes();
    mpz_class T = dixExpN * A.a / (c0(63) * A.c);
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
    // U: the same truncation of the next partial sum. The digits are exact when
    // T = U, since pi lies strictly between two consecutive partial sums.
    mpz_class U = 0;
    std::jthread check([&U, &A, m] {
        mpz_class v = a(mpz_class(m + 1));
        mpz_class sum = A.a + v * A.b;
        mpz_class numerator = dixExpN * sum;
        mpz_class denominator = c0(63) * A.c;
        U = numerator / denominator;
    });
    double decimal = secondes();
    std::string s = T.get_str(10);
    if (echoes_digits(N))
        std::cout << s.substr(0, 1) << "." << s.substr(1) << std::endl;
    write_text_result(s, name);
    duration_since(decimal) << " s" << std::endl;
    std::cout << "durée totale: " << std::fixed << std::setprecision(3) << secondes() - start << " s" << std::endl;
    check.join();

    std::cout << (T == U ? "résultat décimal dans le fichier " : "résultat décimal INEXACT dans le fichier ")
              << name << ".txt du répertoire " << pi_path << std::endl;
}
