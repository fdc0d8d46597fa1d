// Two saved runs side by side: what differs between them (machine, build, settings, size,
// repeats), and for every case and floor in both, the new median over the base one with its
// bootstrap interval, the Mann-Whitney U test's p-value and a verdict.
#pragma once

#include <string>
#include <vector>

#include "tools/analysis/findings.hpp"
#include "tools/analysis/report.hpp"

namespace omp_sums {

struct compared_figure {
  std::string name;    // "sum_walltime on 2 threads", "floor add_latency on 1 thread", with the setting
  bool floor = false;  // a floor or reference of the calibration, not a program's case
  double base_median = 0;
  double new_median = 0;
  double ratio = 0;  // new over base
  interval ci{0, 0, 0};
  double p_value = 1;
  // "faster", "slower" (for a floor: "higher", "lower"), "no measurable difference", "less than 1%
  // apart" or "cannot tell"
  std::string verdict;
  std::string why{};  // why it cannot tell: too few runs, a side marked, a wide interval; else ""
};

// Whether a compared figure's verdict calls a difference.
bool called(const compared_figure& figure);

// The facts that differ between the two runs, one line each ("processor: A -> B").
std::vector<std::string> run_differences(const report& base, const report& now);

// Every case and floor that both runs measured, in the base run's order.
std::vector<compared_figure> compare_figures(const report& base, const report& now);

// Cases (not floors) slower by more than `fraction` with their whole interval: what
// --fail-if-slower fails on.
std::vector<const compared_figure*> slower_than(const std::vector<compared_figure>& compared, double fraction);

// Two saved runs compared, as every format writes them.
struct comparison {
  std::string base_path;
  std::string new_path;
  std::vector<std::string> differences;
  std::vector<compared_figure> compared;
  std::string note;      // why nothing could be compared, naming each side's settings and builds; or ""
  run_facts base_facts;  // the two machines, as a page draws them
  run_facts new_facts;
  machine_topology base_machine;
  machine_topology new_machine;
  int base_runs = 0;  // measured runs a case, on each side
  int new_runs = 0;
  std::vector<compared_region> regions{};  // --regions on both sides: each region's waiting before and after
  std::vector<trust_note> carried{};       // each side's notes against all its figures, led by the side
  verdict judged{};                        // what every format says the comparison shows
};

// The comparison of NOW against BASE, not yet judged: compare_reports() is the judged one.
comparison comparison_of(const std::string& base_path, const std::string& new_path, const report& base,
                         const report& now);

}  // namespace omp_sums
