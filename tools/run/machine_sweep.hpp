// The read sweep sum_compare runs before it plans: calibrate --sweep, its lines read back and
// checked.
#pragma once

#include <csignal>
#include <string>
#include <vector>

#include "tools/catalog/machine.hpp"

namespace omp_sums {

// The points of calibrate --sweep's output, or why the output is not a sweep's: the team line,
// then lines of kSweepLine from one thread's and the team's (TEAM threads) sweeps, each by size,
// from kSweepFirstBytes to MOST_BYTES, at speeds that are positive numbers.
std::string read_sweep_output(const std::string& out, int team, long long most_bytes, std::vector<sweep_point>& points);

// Runs CALIBRATE --sweep MOST_BYTES on a team of PROCESSORS threads under the caller's runtime
// settings: its points, or why there are none.
read_sweep run_sweep(const std::string& calibrate, long long most_bytes, int processors,
                     const volatile std::sig_atomic_t* interrupted);

}  // namespace omp_sums
