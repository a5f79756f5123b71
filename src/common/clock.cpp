#include "common/clock.h"

#include <chrono>
#include <iomanip>
#include <iostream>

double secondes()
{
    using namespace std::chrono;
    long us = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    return static_cast<double>(us) / 1000000.0;
}

std::ostream& print_since(std::ostream& out, double t0)
{
    out << std::fixed << std::setprecision(3);
    return out << secondes() - t0;
}

void print_duration(double t0, const char* unit)
{
    print_since(std::cout << "durée: ", t0) << unit << std::endl;
}

void print_total(double start)
{
    print_since(std::cout << "durée totale: ", start) << " s" << std::endl;
}
