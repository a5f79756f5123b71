// The affine map x -> (a + b*x)/c over three big integers: the value type of the
// whole computation, composed and reduced in place.
#pragma once
#include <gmpxx.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>

struct shared_work;

// The CRC-32 of the three files of a map, a then b then c.
using map_digest = std::array<uint32_t, 3>;

class affine {
public:
    mpz_class a, b, c;

    // (0, 0, 0): not a map, a placeholder that is always overwritten.
    affine() = default;
    // Reads the map from prefix + "_a", "_b", "_c" (raw big-integer files in the
    // working directory), checked against *expected when given; messages name
    // shown + "_a", ...
    affine(const std::string& prefix, const std::string& shown, const map_digest* expected = nullptr);
    affine(const affine&) = delete;
    // Only for returning maps by value; the program never copies one.
    affine(affine&&) noexcept = default;
    affine& operator=(const affine&) = delete;
    // Exchanges storage member by member: no digits are copied.
    affine& operator=(affine&& other) noexcept;

    // this <- this o other, the map x -> this(other(x)); nothing is reduced.
    void compose(const affine& other);
    // Divides a, b, c by the gcd of the three.
    void reduis();
    // The same on any three raw integers; (0, 0, 0) is left as it is.
    static void reduis(mpz_ptr x, mpz_ptr y, mpz_ptr z);
    // Writes a, b, c to prefix + "_a", "_b", "_c", each file whole or not at all;
    // returns their digests.
    map_digest to_binfiles(const std::string& prefix, const std::string& shown) const;
};

// P <- P o Q, the same triple as P.compose(Q), its four products on two threads,
// the large ones each on both with transforms of at most cap points, and each of
// Q's members freed once used (Q is left (0, 0, 0)); Q is not P.
void compose_on_two_threads(affine& P, affine&& Q, std::size_t cap = SIZE_MAX);

// P <- P o Q for Q whose members fetch(x, 'a'), 'b' and 'c' put in x, each when
// its products come: one product at a time on both cores within cap transform
// points, each of P's old members and of Q's freed after its last use.
void compose_fetching(affine& P, const std::function<void(mpz_class&, char)>& fetch, std::size_t cap);
// The same but for b: P.a and P.c become those of P o Q, P.b is left as it was
// and Q's b is never fetched.
void compose_a_c_fetching(affine& P, const std::function<void(mpz_class&, char)>& fetch, std::size_t cap);

// P <- P o Q, the same triple as P.compose(Q), its products for b and c offered to
// the other thread of work (split_work); Q is not P.
void compose_shared(affine& P, const affine& Q, shared_work* work);
