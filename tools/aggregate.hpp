// One figure set per case, from its valid measured runs.
#pragma once

#include <vector>

#include "tools/run_plan.hpp"
#include "tools/statistics.hpp"

struct case_stats {
  run_case c;
  int valid_runs = 0;
  summary wall{0, 0, 0};
  double spread_percent = 0;          // (max - min) / median
  double thread_median = -1;          // -1: the program prints no thread time
  double ns_per_element_per_thread = 0;
  double speedup = -1;                // -1: no one-thread case of the same program
};

// The cases of the plan that have at least one valid run, in the plan's order.
std::vector<case_stats> aggregate(const run_plan& plan, const std::vector<run_record>& records);

// The figures of a program on a team size, or nullptr.
const case_stats* find_case(const std::vector<case_stats>& cases, std::string_view program, int threads);
