// Runs a plan: every case once per round, interleaved, so that drift hits every case alike.
#pragma once

#include <csignal>
#include <functional>
#include <string>
#include <vector>

#include "tools/catalog/plan.hpp"

namespace omp_sums {

struct runner_settings {
  const volatile std::sig_atomic_t* interrupted = nullptr;  // set by a signal: stop at once
  std::function<void(const run_record&)> on_run;            // called with each measured run as it finishes
};

// Each captured stream is cut here, and the run fails.
inline constexpr std::size_t kOutputCap = 1 << 20;
// What a run record keeps of standard error: enough to see the remark, however much was written.
inline constexpr std::size_t kKeptStandardError = 4096;
// Bytes of a run's problem kept (it may quote a line of the run's output); the schema allows
// this and the note of what was cut.
inline constexpr std::size_t kKeptProblem = 1024;

struct run_totals {
  int failures = 0;                // runs that failed, warm-ups included
  double calibration_seconds = 0;  // the calibration's runs, warm-ups included
};

// The environment of a run of case C: the caller's, OMP_NUM_THREADS, a command's affinity
// display and its size's elements (SUM_COMPARE_ELEMENTS), and the case's --env values.
std::vector<std::string> case_environment(const run_plan& plan, const run_case& c,
                                          const std::vector<std::string>& caller_env);

// The progress line after DONE of TOTAL runs began, ELAPSED seconds in: the runs so far, the
// time, and how long the rest should take at the pace of those finished; cut to WIDTH columns.
std::string progress_line(long long done, long long total, double elapsed, const std::string& running,
                          std::size_t width);

// The measured runs of the plan, each read and validated, up to an interruption (the run it cut
// short is dropped). Failures are told on standard error with an excerpt of the run's output,
// and counted; so are processes a run left behind outside its group.
std::vector<run_record> run_plan_rounds(const run_plan& plan, const runner_settings& settings, run_totals& totals);

}  // namespace omp_sums
