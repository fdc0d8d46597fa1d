// One sentence under sum_compare's table, with the figure it rests on.
#pragma once

#include <string>
#include <vector>

#include "tools/analysis/identities.hpp"
#include "tools/analysis/ratios.hpp"
#include "tools/analysis/statistics.hpp"
#include "tools/catalog/plan.hpp"

namespace omp_sums {

struct headline {
  std::string text;
  double ratio = -1;  // the figure the sentence rests on; -1 for a note without one
  interval ci{0, 0, 0};
  bool supported = false;  // the interval excludes 1 and rests on runs enough for 95%: the effect is measurable
  bool precise = true;     // the interval is a 95% one: each side had the runs it needs
  reading reads = reading::cannot_tell;    // what its interval says against 1
  std::string untold{};                    // why it cannot tell, where it cannot
  effect_kind effect = effect_kind::none;  // what it explains
  // The host's own reference it is read against (e.g. plain threads' sums in one line over a line
  // apart); empty name where it has none.
  std::string reference_name{};
  double reference_ratio = -1;
  interval reference_ci{0, 0, 0};
  // The same, short, for the verdict block: one line ("Packed slots on 2 threads take 2.98x
  // [2.59, 3.09] the time of padded ones"); what it is about ("false sharing on 2 threads"), by
  // which a warning names it; and the cases it rests on.
  std::string finding{};
  std::string about{};
  std::vector<run_case> cases{};
  // The ratio is of speeds (above 1: faster), not of times: a plot of times shows 1/ratio.
  bool of_speeds = false;
};

}  // namespace omp_sums
