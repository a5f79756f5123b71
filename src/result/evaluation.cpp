#include "result/evaluation.h"

#include <chrono>

double secondes()
{
    using namespace std::chrono;
    long us = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    return static_cast<double>(us) / 1000000.0;
}

// Temporary: the final evaluation replaces this.
void pi() {}
