// The wall clock and the console's duration lines, all in fixed notation with
// three decimals, a setting left in force on the console.
#pragma once
#include <ostream>

// Wall-clock time in seconds (whole microseconds since the epoch).
double secondes();
// Prints the seconds since t0 to out; the clock is read just before.
std::ostream& print_since(std::ostream& out, double t0);
// "durée: <seconds since t0><unit>" as a whole line on the console.
void print_duration(double t0, const char* unit = " s");
// "durée totale: <seconds since start> s" as a whole line on the console.
void print_total(double start);
