// Where the threads of the placement programs ran, from their placement lines, read against the
// machine's topology.
#pragma once

#include <map>
#include <vector>

#include "tools/catalog/machine.hpp"
#include "tools/catalog/plan.hpp"

namespace omp_sums {

struct placement_summary {
  int runs = 0;                    // runs with placement lines
  int distinct_processors = 0;     // the most that the threads of one run reported
  int runs_sharing_processor = 0;  // runs in which two threads reported one processor
  int runs_sharing_core = 0;       // runs in which two threads reported one core (one processor included)
  int runs_on_one_node = 0;        // runs whose threads all sat on one NUMA node of several that are allowed
  int node = -1;                   // that node, from the last such run
  int runs_spanning_kinds = 0;     // runs whose threads ran on cores of two kinds or more
};

// Thread -> the processor its placement line reports (a failed probe's -1 left out).
std::map<int, int> placement_of(const program_run& run);

// What a case's runs (each thread -> processor) show about where the threads ran.
placement_summary analyse_placement(const std::vector<std::map<int, int>>& runs, const machine_topology& machine);

}  // namespace omp_sums
