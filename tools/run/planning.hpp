// The plan made from what is asked, and what it is refused for: too many runs or settings.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tools/catalog/plan.hpp"

namespace omp_sums {

// The default team sizes: 1, 2, 4, ... up to the processors the process may use, and that count.
std::vector<int> default_team_sizes(int processors);

// Plans of more runs are refused: at a few milliseconds each, this many take hours already.
inline constexpr long long kMostRuns = 1000000;
// Nor more settings (builds times sizes times --env combinations) than this.
inline constexpr long long kMostSettings = 1000;
// --precision adds no round past this many runs of a case, nor does a saved run hold more: a
// bootstrap over them takes seconds already.
inline constexpr int kMostRunsPerCase = 10000;

// The runs that make_plan would plan, warm-ups included, counted without making it (LLONG_MAX
// past what 64 bits hold).
long long planned_run_count(const plan_request& request, int processors);

// Why make_plan must not make this plan (too many runs or settings), or "".
std::string plan_refusal(const plan_request& request, int processors);

run_plan make_plan(const plan_request& request, int processors);

// How long a run of a program takes here, as probe runs found: a start-up and a time per element
// (the calibration's on the largest team, as its references wait for every thread; a command's,
// whose work the suite does not know, a start-up alone). A cost of -1: its probe failed.
struct run_cost {
  double fixed = 0;
  double per_element = 0;
};
using run_costs = std::map<std::string, run_cost>;  // by program (command) name

// The largest array a probe allocates: past it a probe also runs on one element, and the cost
// per element is the difference between the two. Probes stay quick and small on any machine.
inline constexpr int kProbeElements = 1 << 22;

// The plan's duration in seconds, estimated from the costs of its programs; -1 where one is
// missing or its probe failed.
double estimated_seconds(const run_plan& plan, const run_costs& costs);

// The least measured runs a case keeps under --budget: a 95% interval of a median needs 6.
inline constexpr int kLeastBudgetRepeat = 6;

// Cuts ASKED until the estimate from COSTS fits in BUDGET seconds, in this order, each only as
// far as needed: team sizes between one thread and all PROCESSORS, dropped from the middle; the
// array (ASKED's one size, resolved) down to LEAST_ELEMENTS, what is still beyond the caches;
// the measured runs down to kLeastBudgetRepeat. What is left may still exceed the budget.
budget_cut fit_budget(plan_request& asked, int processors, const run_costs& costs, int budget, int least_elements);

}  // namespace omp_sums
