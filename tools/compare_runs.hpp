// The pieces of sum_compare that read and judge the programs' runs.
#pragma once

#include <string>
#include <vector>

#include "tools/child_process.hpp"

// The programs sum_compare knows, in the order it lays them out.
const std::vector<std::string>& comparable_programs();

// True for the programs that sum the index fill, whose sum is exactly N(N-1)/2.
bool sums_index_fill(const std::string& program);

// What one run printed, read back.
struct run_reading {
  std::string problem;    // empty when the run is valid
  std::string sum;        // the sum as printed
  double seconds = 0.0;   // the timed interval it printed
  double thread_seconds = -1.0;  // the mean thread time, or -1 when the program prints none
};

// Reads and validates one run of `program` on n elements with `threads` threads: status 0, every
// line of the expected shape, the team size asked for, and the sum where it is known.
run_reading read_run(const std::string& program, long long n, int threads, const child_result& run);

struct compare_options {
  std::vector<std::string> programs = comparable_programs();
  std::vector<int> threads;  // empty: 1 up to the number of processors
  int size = 20000000;
  int repeat = 7;
  std::string csv_path;
  std::string json_path;
  std::string plot_path;
  std::string bin_dir;       // empty: the directory sum_compare itself lies in
  bool help = false;
};

// Fills options from the command line; returns an error message, or an empty string.
std::string parse_compare_options(int argc, char** argv, compare_options& options);

// Median, smallest and largest of a non-empty list.
struct summary {
  double median;
  double min;
  double max;
};
summary summarise(std::vector<double> values);
