// What a run of n decimals will cost, estimated before any work from the sizes
// that the series produces, and whether such a run can end well on this machine.
#pragma once
#include <string>

// Bytes of the largest integer a run writes (stage 2's member a).
double largest_stored_bytes(unsigned long n);
// The largest n whose every stored integer fits the raw format's byte count.
unsigned long max_storable_decimals();
// Peak resident memory of a run, in bytes.
double estimated_peak_bytes(unsigned long n);
// Bytes that a run leaves in pi/ (six checkpoint files and two results).
double estimated_disk_bytes(unsigned long n);
// Physical memory plus swap of this machine, in bytes.
double machine_memory_bytes();

// Bytes free for this user on the file system of the directory dir (0 when unknown).
double free_disk_bytes(int dir);

// Why a run of n decimals cannot end well with this much memory and free disk
// (either 0 when unknown), or "" when it can.
std::string refusal(unsigned long n, double memory_bytes, double disk_bytes);

// "estimation : ..." line: peak memory, disk use and term count of n decimals.
std::string cost_line(unsigned long n);
