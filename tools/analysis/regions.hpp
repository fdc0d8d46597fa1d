// Where a case's parallel regions spend the team's time, from its runs under the region tool:
// shares of work, barrier and lock waiting and overhead with their 95% intervals across the
// runs, the regions that lose the most, and what every format says of it.
#pragma once

#include <string>
#include <vector>

#include "tools/analysis/aggregate.hpp"
#include "tools/catalog/facts.hpp"
#include "tools/catalog/regions.hpp"

namespace omp_sums {

// A share of the team's time (0 to 1): its median across the runs and its interval.
struct share_figure {
  double median = 0;
  double low = 0;
  double high = 0;
};

struct region_figure {
  std::string where;
  long long instances = 0;  // per run, the median
  int team = 0;
  // Shares of the team's time in this region.
  share_figure work;
  share_figure barrier;
  share_figure lock;
  share_figure overhead;
  double team_seconds = 0;           // the team's time in it (team x wall), per run, the median
  double lost_seconds = 0;           // the team's time in it beyond work, per run, the median
  std::vector<region_time> threads;  // each thread's seconds in it, the mean per run
  double imbalance = -1;             // its slowest thread's work over the mean thread's, the median
};

struct case_regions {
  run_case c;
  int runs = 0;         // made under the tool
  int recorded = 0;     // of them, with a record
  std::string problem;  // why a run gave none, the first such
  double coverage = 0;  // what the intervals cover with this many runs
  // Shares of the team's time in all the case's regions.
  share_figure work;
  share_figure barrier;
  share_figure lock;
  share_figure overhead;
  std::vector<region_figure> regions;  // the most time lost first, at most kShownRegions
  // The largest single loss: one part (barrier, lock or overhead) of the region that loses the
  // most, as a share of the case's whole team time.
  std::string loss_kind;  // "barrier", "lock", "overhead"; empty: no region
  std::string loss_where;
  share_figure loss;
  double tool_share = -1;          // the tool's own events' estimated cost over the team's time
  double ns_per_event = -1;        // the tool's cost per event as it measured it, the median
  double seconds_under_tool = -1;  // the program's timed interval in these runs, the median
  double timed_seconds = -1;       // the timed runs' median, for beside it
  std::string timed_runtime;       // the OpenMP runtime of the timed runs, as the build says; \"\": not known
  std::string sentence;            // what every format says of the case
};

// The median of shares and its interval; zeros for none.
share_figure share_of(const std::vector<double>& values);

// Regions shown per case; the rest are in the case's shares.
inline constexpr std::size_t kShownRegions = 5;

// Below this, a loss is not called one.
inline constexpr double kNotableShare = 0.05;

std::vector<case_regions> region_figures(const run_plan& plan, const std::vector<region_run>& runs,
                                         const std::vector<case_stats>& timed, const run_facts& facts);

// The OpenMP runtime that C's program was built for, from its build's facts ("libgomp"); "" where
// they do not say (a command).
std::string runtime_of(const run_plan& plan, const run_facts& facts, const run_case& c);

// Each recorded run's share of the region at WHERE's team time spent waiting (barrier and lock)
// in the runs of case C.
std::vector<double> waiting_shares(const std::vector<region_run>& runs, const run_case& c, const std::string& where);

// A region's waiting share in two saved runs (--compare).
struct compared_region {
  std::string name;  // "imb on 2 threads under OMP_SCHEDULE=static at imb.cpp:12 (main)"
  share_figure base;
  share_figure now;
  double p_value = 1;
  std::string verdict;   // "more waiting", "less waiting", "no measurable difference", "cannot tell"
  std::string why;       // why it cannot tell, or ""
  std::string sentence;  // what every format says of it
};

// One compared region from its runs' waiting shares on each side.
compared_region compared_region_of(const std::string& name, const std::vector<double>& base,
                                   const std::vector<double>& now);

// What one case's figures say, as a sentence: its largest loss where it is one, or its work.
std::string region_sentence(const run_plan& plan, const case_regions& figures);

}  // namespace omp_sums
