#include "arith/decimal.h"

#include <malloc.h>

#include <cstring>
#include <memory>
#include <vector>

#include "arith/divide.h"
#include "arith/mul.h"
#include "common/pages.h"
#include "common/threads.h"

namespace {

// The decimal digits of x, exactly width of them with leading zeros, written at
// out: x < 10^width, width = leaf * 2^level, powers[j] prepared for 10^(leaf 2^j).
// The top cuts run their halves on two threads; threads is what this call has.
void write_digits(char* out, const mpz_class& x, std::size_t leaf, unsigned level, const std::vector<divisor>& powers,
                  unsigned threaded_levels, unsigned threads)
{
    if (level == 0) {
        std::string digits = x.get_str(10);
        std::size_t zeros = leaf - (sgn(x) ? digits.size() : 0);
        std::memset(out, '0', zeros);
        if (sgn(x))
            std::memcpy(out + zeros, digits.data(), digits.size());
        return;
    }
    mpz_class high, low;
    divide(high, low, x, powers[level - 1], threads);
    std::size_t half = leaf << (level - 1);
    if (threaded_levels > 0)
        both([&] { write_digits(out, high, leaf, level - 1, powers, threaded_levels - 1, 1); },
             [&] { write_digits(out + half, low, leaf, level - 1, powers, threaded_levels - 1, 1); });
    else {
        write_digits(out, high, leaf, level - 1, powers, 0, threads);
        write_digits(out + half, low, leaf, level - 1, powers, 0, threads);
    }
}

} // namespace

std::string decimal_string(const mpz_class& x, size_t split_digits)
{
    // The digit count of x or one more.
    size_t bound = mpz_sizeinbase(x.get_mpz_t(), 10);
    if (bound < split_digits || bound < 64)
        return x.get_str(10);
    // Cut in 2^levels pieces of leaf digits, each of at most split_digits / 2
    // digits (at least 32), converted by GMP.
    std::size_t most = split_digits / 2 > 32 ? split_digits / 2 : 32;
    unsigned levels = 0;
    while ((most << levels) < bound)
        ++levels;
    std::size_t leaf = (bound + (std::size_t(1) << levels) - 1) >> levels;
    // 10^(leaf 2^j) for j < levels, by squares, each prepared for its division;
    // every product of this on both cores, which the conversion's top cut also has.
    std::vector<divisor> powers;
    mpz_class power;
    mpz_ui_pow_ui(power.get_mpz_t(), 10, leaf);
    for (unsigned j = 0; j < levels; ++j) {
        if (j > 0)
            multiply(power, power, power, 2);
        powers.push_back(prepare_divisor(power, mpz_sizeinbase(power.get_mpz_t(), 2), 2));
    }
    power = 0;
    // Their Newton steps left free pages in the heap, beside the top cuts' products.
    malloc_trim(0);

    std::size_t sign = sgn(x) < 0 ? 1 : 0, width = leaf << levels;
    // The digits' pages are faulted in only as the leaves write them, not while
    // the top cuts' products are made; asked for large pages before any write.
    std::unique_ptr<char[]> digits(new char[width]);
    advise_huge_pages(digits.get(), width);
    // A copy only for a negative x.
    mpz_class negated;
    if (sign)
        negated = -x;
    write_digits(digits.get(), sign ? negated : x, leaf, levels, powers, 2, 2);
    powers.clear();
    // Past the sign, the zeros that lead the padded width.
    std::size_t first = 0;
    while (first + 1 < width && digits[first] == '0')
        ++first;
    std::string s;
    s.reserve(sign + width - first);
    advise_huge_pages(s.data(), sign + width - first);
    if (sign)
        s.push_back('-');
    s.append(digits.get() + first, width - first);
    return s;
}
