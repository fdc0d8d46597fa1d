// The pieces every program of the suite is assembled from: element count, data array,
// index fill, team-size announcement, clock readings, static block partition, in-order block
// sum, atomic double add and the result line.
#pragma once

#include <ctime>

struct block_range {
  int begin;  // first index of the block
  int end;    // one past the last index; begin >= end means the block is empty
};

// N from the first argument as base-10 strtol reads it, cut to its low 32 bits; else the default.
int parse_element_count(int argc, char** argv, int default_count);

// N zeroed doubles, or null after printing the out-of-memory message with N x 8 bytes.
double* allocate_array(int n);

// Element i holds (double)i.
void index_fill(double* a, int n);

#ifdef _OPENMP
// Opens one parallel region; thread 0 prints the team-size line. Returns thread 0's team size.
int announce_team_size();

// The announcement inside a region of the caller's: thread 0 stores its team size and prints
// the team-size line; other threads do nothing.
void announce_in_region(int thread, int& team_size);
#endif

// tv_sec + tv_nsec x 1e-9: one fused multiply-add in the optimised profile, two roundings elsewhere.
double timespec_seconds(const timespec& ts);

// One reading of a clock, in seconds.
double clock_seconds(clockid_t clock);

// Thread t's block of a static schedule of n iterations over a team of team_size threads.
block_range static_block_range(int n, int team_size, int thread);

// a[begin] + ... + a[end-1], from 0.0, one element at a time in index order.
double block_sum(const double* a, int begin, int end);

// Lock-free add into a shared double: a 64-bit compare-and-swap retried until it lands.
void atomic_add_double(double* target, double value);

// "Sum is ..., process took ... of wall-clock time, <...> sec of thread-time \n"
void print_result_line(double sum, double wall_seconds, double mean_thread_seconds);
