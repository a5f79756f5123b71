// Timing helpers of the benchmarks: one measurement, and the median of several.
#pragma once
#include <algorithm>
#include <chrono>
#include <vector>

// The wall time of work(), in seconds.
inline double seconds_of(auto&& work)
{
    auto t0 = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
