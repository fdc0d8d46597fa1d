// Saved runs of several machines side by side: one column per machine for every floor and case
// they measured, and the machines that are slower than all the others beyond the intervals (a
// slow node of a cluster).
#pragma once

#include <string>
#include <vector>

#include "tools/analysis/findings.hpp"
#include "tools/analysis/report.hpp"

namespace omp_sums {

struct merged_cell {
  bool measured = false;
  std::vector<double> values;  // the valid runs' times, or the floor's values
  double median = 0;
  bool slow = false;    // slower than every other machine: ratio interval past 1 and U test p < 0.05
  bool marked = false;  // the scheduler's (a floor marked !, a time-shared case): compared with none
};

struct merged_figure {
  std::string name;  // "sum_walltime on 2 threads", "fork/join, us per region on 2 threads", with the setting
  bool floor = false;
  const char* format = "%.6f";     // of its values
  std::vector<merged_cell> cells;  // one per machine
};

struct merged_machine {
  std::string name;  // the host; where hosts repeat, the file's stem, led by its folder where stems repeat too
  std::string path;
  std::string host;
  std::string processor;
  int slow_figures = 0;
  int compared_figures = 0;  // figures it has with at least one other machine
  bool flagged = false;
  machine_topology machine;  // as a page draws it
  std::string caches;        // what its read sweep measured of the caches, where it ran one
};

// A region of a case (--regions) on each machine that recorded it: its share of the region's
// team time waiting at barriers and for locks, with its interval. Set side by side, never judged.
struct merged_region {
  std::string name;                   // "imb on 2 threads at imb.cpp:12 (main)", with the setting
  std::vector<bool> measured;         // one per machine
  std::vector<share_figure> waiting;  // one per machine
};

struct merged_runs {
  std::vector<merged_machine> machines;
  std::vector<merged_figure> figures;
  std::vector<merged_region> regions;
  std::string note;                   // why no machine can be flagged from these runs, or ""
  std::vector<trust_note> carried{};  // each run's notes against all its figures, and what the runs differ in
  verdict judged{};                   // what every format says the merge shows
};

// The fewest runs a side that can flag a machine: a 95% interval of a median needs 6.
inline constexpr std::size_t kFewestRunsToFlag = 6;

// Why the runs cannot be merged (runs of different sizes), or "".
std::string merge_refusal(const std::vector<std::string>& paths, const std::vector<report>& runs);

// "3 machines side by side", or "2 runs of one host side by side" where they are of one.
std::string side_by_side(const merged_runs& merged);

// The runs, analysed, in one table: every case and floor of any of them, in the first run's order
// then the others'. A machine is slow on a figure when, against every other machine that measured
// it, the ratio of medians has its 95% interval on the slow side of 1 and the U test gives
// p < 0.05; it is flagged when it is slow on at least a quarter of the figures it shares, far more
// than chance makes of one of several identical machines.
// Not yet judged: merge_runs() is the judged one.
merged_runs merge_of(const std::vector<std::string>& paths, const std::vector<report>& runs);

}  // namespace omp_sums
