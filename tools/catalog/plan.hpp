// What sum_compare runs and what came of it: the plan's cases (a program, or the calibration, on
// a team size, under a setting) and rounds, and each measured run as read back. The plan is made
// once (tools/run/planning.hpp); running, counting and reporting all read it.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tools/catalog/programs.hpp"
#include "tools/catalog/sizes.hpp"

namespace omp_sums {

// --env NAME=v1,v2: every case runs under each value of NAME.
struct setting_dimension {
  std::string name;
  std::vector<std::string> values;
};

// Where a build's programs lie: a --build NAME=DIR, or the one build sum_compare runs by default.
struct build_location {
  std::string name;      // "" for the default build
  std::string bin;       // its programs
  std::string tool_dir;  // its calibrate
};

// --command NAME='CMD ARGS': the caller's own program, a case on every team size like the
// suite's. What it prints tells the time: a line "seconds=<number>" (or what `time_regex`'s
// first group holds) is the time of its own timed region, else the wall time of the process;
// "elements=<count>" gives ns per element and the floor. The runtime prints where each thread
// runs (OMP_DISPLAY_AFFINITY) in lines of kAffinityFormat.
struct command_wanted {
  std::string name;
  std::string line;               // as given
  std::vector<std::string> argv;  // the line split like a shell's words, with no expansion
  bool shell = false;             // run through /bin/sh -c LINE instead
  std::string time_regex;         // empty: "seconds=<number>"
  std::string expect;             // a regular expression standard output must match; empty: none
  int expect_exit = 0;            // the exit status of a valid run
  bool operator==(const command_wanted&) const = default;
};

// The affinity line each of a command's threads prints, as OMP_AFFINITY_FORMAT: its thread
// number and the processors of its place.
inline constexpr char kAffinityFormat[] = "sum_compare-affinity %n %A";
inline constexpr char kAffinityTag[] = "sum_compare-affinity ";

// What a command finds the elements of its case's --size in (its line may read it under --shell).
inline constexpr char kElementsVariable[] = "SUM_COMPARE_ELEMENTS";

// What --budget did to a plan that left --size, --repeat and --threads to sum_compare.
struct budget_cut {
  int seconds = 0;                // the budget; 0: none applied (an explicit plan)
  double full_seconds = -1;       // the full plan's estimate
  std::vector<std::string> cuts;  // what was cut, in the order it was: "team sizes 1,64 of 1,2,...,64"
  std::string full_plan;          // the options that run the full plan: "--threads 1,2,4 --repeat 7"
  bool operator==(const budget_cut&) const = default;
};

// What a plan is asked to be: the options of a run, or of the run a saved file holds.
struct plan_request {
  std::vector<std::string> programs;        // in the catalog's order; default: every compared program
  std::vector<int> threads;                 // ascending; empty: 1, 2, 4, ... up to the processors, and that count
  std::vector<array_size> sizes{{"DRAM"}};  // --size, in its order: names until resolved on the machine
  int repeat = 7;
  int timeout_seconds = 300;                  // per run
  double precision = 0;                       // --precision as a fraction (0.05 for 5%); 0: --repeat rounds only
  int max_seconds = 120;                      // --max-time: when rounds stop being added for --precision
  std::vector<build_location> builds;         // from --build, in their order; empty: the one build below
  std::string bin_dir;                        // the default build's programs; empty: beside sum_compare
  std::vector<setting_dimension> dimensions;  // from --env, in their order
  std::vector<command_wanted> commands;       // from --command, in their order
  int budget_seconds = 0;  // --budget: what the plan's estimate may take; 0: the plan is run as asked
};

// What a case runs under: the build its programs come from, the array's size, and NAME=value for
// each --env dimension (one combination of their values).
struct setting {
  std::string build;  // one of the plan's build names
  std::string size;   // one of the plan's size names; "" where the plan has one size
  std::vector<std::pair<std::string, std::string>> env;
  bool operator==(const setting&) const = default;
};

struct run_case {
  const program_description* program;  // one of kPrograms, or &kCalibration
  int threads;                         // OMP_NUM_THREADS; 1 for the serial build, its one-thread reference
  int setting = 0;                     // which of the plan's settings it runs under
};

inline bool same_case(const run_case& a, const run_case& b) {
  return a.program == b.program && a.threads == b.threads && a.setting == b.setting;
}

// A command as a case's program: the description that the tables, the analysis and the writers
// read, named after it, beside the command it runs.
struct command_program {
  command_wanted wanted;
  program_description described;
};

struct run_plan {
  // The commands, where every copy of the plan finds them: each of their cases points at its
  // description here.
  std::shared_ptr<const std::deque<command_program>> commands;
  std::vector<build_location> builds;  // one without --build
  std::vector<setting> settings;       // each build under every combination of the --env values, at every size
  std::vector<run_case> cases;  // by setting, then team size: the calibration, then the programs in the catalog's order
  std::vector<int> threads;     // the team sizes asked for
  std::vector<array_size> sizes;  // the array's sizes, resolved: the runs' elements
  int rounds = 0;                 // every round runs every case once; round 0 is the warm-up
  int timeout_seconds = 0;        // each run's time limit
  double precision = 0;           // rounds are added until each case's median interval lies within this fraction
  int max_seconds = 0;            // of its median, or until the runs have taken this long; 0: rounds only
};

// "build clang, size L2, OMP_PROC_BIND=close OMP_PLACES=cores", "OMP_PROC_BIND=close" of the
// default build at the one size, or "" for the default build at one size with no --env.
std::string setting_label(const setting& under);

// The plan's build of that name (the first where none has it).
const build_location& build_named(const run_plan& plan, const std::string& name);

// The plan's size of that name (the first where none has it), and the elements a case's runs
// and the runs under a setting take.
const array_size& size_named(const run_plan& plan, const std::string& name);
int elements_of(const run_plan& plan, const run_case& c);
int elements_under(const run_plan& plan, int setting);

// Where the program of a case lies, and the arguments it takes for the plan's size: a command's
// first word (or /bin/sh) and the rest of its line.
std::string program_path(const run_plan& plan, const run_case& c);
std::vector<std::string> program_arguments(const run_plan& plan, const run_case& c);

// The command a case runs, or nullptr for one of the suite's programs.
const command_wanted* command_of(const run_plan& plan, const run_case& c);

// Every program the plan compares, the catalog's in its order and then the commands; each
// program's place in it picks its colour in the charts.
std::vector<const program_description*> compared_programs(const run_plan& plan);

// "sum_walltime on 1 thread", "calibrate on 4 threads under OMP_PROC_BIND=close".
std::string case_name(const run_plan& plan, const run_case& c);

// Runs in the whole plan, warm-ups included.
long long planned_runs(const run_plan& plan);

// What one thread's line reported, as numbers: where it ran (a placement line, or a command's
// affinity), or the node it read on and the share of its block's pages there (a pages line).
struct thread_report {
  int processor = -1;
  int node = -1;
  double local_percent = -1;  // -1: not reported, or the kernel could not say
  bool operator==(const thread_report&) const = default;
};

// One run, read back.
struct program_run {
  std::string problem;  // empty when the run is valid
  int team_size = 0;    // from the team-size line; 1 for the serial build; 0 when none is printed
  std::vector<std::string> first_fields;
  std::map<int, std::vector<std::string>> thread_fields;  // thread number -> its block's fields, as printed
  std::map<int, thread_report> threads;                   // thread number -> what it reported, read as numbers
  std::vector<int> block_order;  // blocks before the result as printed: -1 the first, else a thread
  std::vector<std::string> result_fields;
  std::string sum;               // as printed, or empty
  double seconds = -1.0;         // the timed interval, or -1 where the program prints none
  double thread_seconds = -1.0;  // the mean thread time, or -1 where the program prints none
  long long elements = 0;        // a command's elements=<count>; 0 where it printed none
  // A command whose threads' places each hold several processors: the first one's count (its
  // threads may move within them, so no processor is theirs). 0: one each, or none printed.
  int place_size = 0;
};

struct run_record {
  run_case c;
  int round;  // 1..R; warm-ups are not kept
  program_run reading;
  std::string standard_error;  // what the run wrote there (capped)
};

}  // namespace omp_sums
