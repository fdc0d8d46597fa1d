// What sum_compare runs: the cases (a program, or the calibration, on a team size) and the rounds
// over them. The plan is made once from the options; running, counting and reporting all read it.
#pragma once

#include <string>
#include <vector>

#include "tools/compare_options.hpp"
#include "tools/program_catalog.hpp"
#include "tools/program_output.hpp"

// What a case runs under: the build its programs come from, and NAME=value for each --env
// dimension (one combination of their values).
struct setting {
  std::string build;  // one of the plan's build names
  std::vector<std::pair<std::string, std::string>> env;
  bool operator==(const setting&) const = default;
};

struct run_case {
  const program_description* program;  // one of kPrograms, or &kCalibration
  int threads;      // OMP_NUM_THREADS; 1 for the serial build, its one-thread reference
  int setting = 0;  // which of the plan's settings it runs under
};

inline bool same_case(const run_case& a, const run_case& b) {
  return a.program == b.program && a.threads == b.threads && a.setting == b.setting;
}

struct run_plan {
  std::vector<build_location> builds;  // one without --build
  std::vector<setting> settings;  // each build under every combination of the --env values
  std::vector<run_case> cases;    // by setting, then team size: the calibration, then the programs in the catalog's order
  std::vector<int> threads;     // the team sizes asked for
  int size = 0;                 // elements per run
  int rounds = 0;               // every round runs every case once; round 0 is the warm-up
  int timeout_seconds = 0;      // each run's time limit
  double precision = 0;         // rounds are added until each case's median interval lies within this fraction
  int max_seconds = 0;          // of its median, or until the runs have taken this long; 0: rounds only
};

// "build clang, OMP_PROC_BIND=close OMP_PLACES=cores", "OMP_PROC_BIND=close" of the default build,
// or "" for the default build with no --env.
std::string setting_label(const setting& under);

// The plan's build of that name (the first where none has it).
const build_location& build_named(const run_plan& plan, const std::string& name);

// Where the program of a case lies.
std::string program_path(const run_plan& plan, const run_case& c);

// "sum_walltime on 1 thread", "calibrate on 4 threads under OMP_PROC_BIND=close".
std::string case_name(const run_plan& plan, const run_case& c);

// The default team sizes: 1, 2, 4, ... up to the processors the process may use, and that count.
std::vector<int> default_team_sizes(int processors);

// Plans of more runs are refused: at a few milliseconds each, this many take hours already.
inline constexpr long long kMostRuns = 1000000;
// Nor more settings (builds times --env combinations) than this.
inline constexpr long long kMostSettings = 1000;
// --precision adds no round past this many runs of a case, nor does a saved run hold more: a
// bootstrap over them takes seconds already.
inline constexpr int kMostRunsPerCase = 10000;

// The runs that make_plan would plan, warm-ups included, counted without making it (LLONG_MAX
// past what 64 bits hold).
long long planned_run_count(const compare_options& options, int processors);

// Why make_plan must not make the plan of these options (too many runs or settings), or "".
std::string plan_refusal(const compare_options& options, int processors);

run_plan make_plan(const compare_options& options, int processors);

// Runs in the whole plan, warm-ups included.
long long planned_runs(const run_plan& plan);

// The plan's duration in seconds, estimated from one probe run of this size here.
double estimated_seconds(const run_plan& plan, double probe_seconds);

struct run_record {
  run_case c;
  int round;                   // 1..R; warm-ups are not kept
  program_run reading;
  std::string standard_error;  // what the run wrote there (capped)
};
