#include "tools/analysis/placement.hpp"

#include <algorithm>
#include <set>

namespace omp_sums {

std::map<int, int> placement_of(const program_run& run) {
  std::map<int, int> where;
  for (const auto& [thread, reported] : run.threads) {
    if (reported.processor >= 0) where[thread] = reported.processor;
  }
  return where;
}

placement_summary analyse_placement(const std::vector<std::map<int, int>>& runs, const machine_topology& machine) {
  const bool several_nodes = allowed_numa_nodes(machine) > 1;
  placement_summary summary;
  for (const std::map<int, int>& run : runs) {
    if (run.empty()) continue;
    ++summary.runs;
    std::set<int> processors;
    std::set<int> cores;
    std::set<int> nodes;
    std::set<int> kinds;
    for (const auto& [thread, processor] : run) {
      processors.insert(processor);
      if (kind_of(machine, processor) >= 0) kinds.insert(kind_of(machine, processor));
      cores.insert(machine.core_of.count(processor) != 0 ? machine.core_of.at(processor) : processor);
      if (machine.node_of.count(processor) != 0) nodes.insert(machine.node_of.at(processor));
    }
    summary.distinct_processors = std::max(summary.distinct_processors, static_cast<int>(processors.size()));
    if (kinds.size() > 1) ++summary.runs_spanning_kinds;
    if (processors.size() < run.size()) ++summary.runs_sharing_processor;
    if (cores.size() < run.size()) ++summary.runs_sharing_core;
    if (run.size() > 1 && nodes.size() == 1 && several_nodes) {
      ++summary.runs_on_one_node;
      summary.node = *nodes.begin();
    }
  }
  return summary;
}

}  // namespace omp_sums
