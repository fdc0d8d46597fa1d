// The figures of a plan's measured runs: one set per case, and the machine's floors from the
// calibration runs.
#pragma once

#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/analysis/placement.hpp"
#include "tools/analysis/statistics.hpp"
#include "tools/catalog/floors.hpp"
#include "tools/catalog/machine.hpp"
#include "tools/catalog/plan.hpp"

namespace omp_sums {

struct case_stats {
  run_case c;
  std::vector<double> walls;  // the valid runs' timed intervals
  summary wall{0, 0, 0};
  interval median_ci{0, 0, 0};
  double spread_percent = 0;                   // (max - min) / median
  double thread_median = -1;                   // -1: the program prints no thread time
  double ns_per_element_per_thread = -1;       // -1: a command that prints no elements= line
  long long elements = 0;                      // what its figures per element count: the plan's size, or a command's
  double speedup = -1;                         // -1: no one-thread case of the same program
  double floor_seconds = -1;                   // the in-order streams floor of its team size; -1: none measured
  double of_floor = -1;                        // median / floor_seconds
  std::optional<placement_summary> placement;  // for the programs that print placement lines
  std::string placement_unknown;               // why a command's placement is not known, or ""
  // For the programs that say where their pages lie: the median over the valid runs of the
  // share of each block's pages on its reader's node (the threads' mean), in percent; -1: none.
  double local_pages_percent = -1;
  int runs = 0;                   // measured runs, valid or not
  bool precision_reached = true;  // its median interval lies within the plan's --precision (true without one)
  // The share of their processors its threads had: the median over the valid runs of their CPU
  // time over their wall time on the processors the team could use at once; -1 where the program
  // prints no thread time (the serial build, a command).
  double processor_share = -1;
  bool time_shared = false;  // below kLeastProcessorShare: other work held the processors; no sentence rests on it
};

// Calibrate's field of this floor, in seconds, from a run on `size` elements; NaN where absent.
double floor_field_seconds(const floor_description& floor, const std::vector<std::string>& fields);

// The share of its processors that the floor's phase had in a calibration run; NaN where absent.
double floor_field_share(const floor_description& floor, const std::vector<std::string>& fields);

// The floor's value in its unit from the field's seconds.
double floor_value(const floor_description& floor, double field_seconds, int size);

struct floor_stats {
  floor_kind kind;
  int threads;
  int setting;
  std::vector<double> values;  // one per valid calibration run, in the floor's unit
  double median = 0;
  interval ci{0, 0, 0};
  // The team's threads did not run at once, or had less than kLeastProcessorShare of their
  // processors in its phase: a figure of the scheduler's.
  bool scheduled = false;
  double processor_share = -1;  // the median share of their processors its phase had; -1: not said
};

// The share of hand-overs that may wait before a team's floors are the scheduler's: a wait past
// its spins means the other thread was not running, and a timer's interrupt is far shorter.
inline constexpr double kScheduledShare = 0.01;

struct figures {
  std::vector<case_stats> cases;    // the program cases with a valid run, in the plan's order
  std::vector<floor_stats> floors;  // by team size, then kind
};

figures aggregate(const run_plan& plan, const std::vector<run_record>& records, const machine_topology& machine);

// Below this, a run's fork and join weigh in its timed interval but not in its threads' CPU
// time: their share of the processors says nothing of the scheduler.
inline constexpr double kLeastSecondsForShare = 1e-3;

// The share of their processors that the threads of a run on THREADS threads had, out of
// PROCESSORS usable: the mean thread's CPU time over the wall time, on as many processors as the
// team could use at once; -1 where the run says no thread time or is too short to tell.
double processor_share(const program_run& run, int threads, int processors);

// The figures without what the scheduler's sharing decided (time-shared cases; floors are kept
// out by find_floor): what the sentences rest on.
figures without_time_shared(const figures& measured);

// The figures of a program on a team size under one of the plan's settings, or nullptr.
const case_stats* find_case(const std::vector<case_stats>& cases, const program_description& program, int threads,
                            int setting = 0);

// The same for the compared program of a role.
const case_stats* find_case(const std::vector<case_stats>& cases, program_role role, int threads, int setting = 0);

// A floor on a team size under one of the plan's settings, or nullptr; nullptr too where it is
// the scheduler's, so that no sentence rests on it.
const floor_stats* find_floor(const std::vector<floor_stats>& floors, floor_kind kind, int threads, int setting = 0);

// The same, the scheduler's too: what the charts draw, as the tables show it, marked.
const floor_stats* measured_floor(const std::vector<floor_stats>& floors, floor_kind kind, int threads,
                                  int setting = 0);

}  // namespace omp_sums
