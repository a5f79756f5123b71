// The series' terms as affine maps: one alone, or the reduced map of a range,
// composed by merges that first take out the factors the triple would share.
#pragma once
#include <atomic>

#include "splitting/affine.h"

// The map of term n: (a(n)*q, p, q) with p/q = b(n). Safe to call from many threads.
affine f(unsigned long n);

// res <- f(lo) o ... o f(hi-1) divided by the gcd of its three members (lo < hi):
// the same triple as the plain composition followed by reduis. Adds the terms
// to *done, when given, as they are composed; shares its halves through work
// (split_work), when given.
void primitive_map(affine& res, unsigned long lo, unsigned long hi, std::atomic<unsigned long>* done = nullptr,
                   shared_work* work = nullptr);
