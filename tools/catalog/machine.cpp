#include "tools/catalog/machine.hpp"

#include <hwloc.h>

#include <algorithm>
#include <set>

#include "tools/catalog/text.hpp"

namespace omp_sums {

namespace {

std::string counted(int count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

int allowed_numa_nodes(const machine_topology& machine) {
  std::set<int> nodes;
  for (int processor : machine.allowed) {
    if (machine.node_of.count(processor) != 0) nodes.insert(machine.node_of.at(processor));
  }
  return static_cast<int>(nodes.size());
}

int kind_of(const machine_topology& machine, int processor) {
  for (std::size_t k = 0; k < machine.kinds.size(); ++k) {
    const std::vector<int>& of_kind = machine.kinds[k].processors;
    if (std::find(of_kind.begin(), of_kind.end(), processor) != of_kind.end()) return static_cast<int>(k);
  }
  return -1;
}

std::vector<std::string> usable_kinds(const machine_topology& machine) {
  std::vector<std::string> kinds;
  for (const core_kind& kind : machine.kinds) {
    std::vector<int> usable;
    for (int processor : kind.processors) {
      if (std::find(machine.allowed.begin(), machine.allowed.end(), processor) != machine.allowed.end())
        usable.push_back(processor);
    }
    if (!usable.empty()) kinds.push_back(processor_list(usable) + " (" + kind_description(kind) + ")");
  }
  if (kinds.size() < 2) kinds.clear();
  return kinds;
}

std::string kind_description(const core_kind& kind) {
  std::vector<std::string> said;
  for (const auto& [name, value] : kind.infos) {
    if (name == "CoreType") said.insert(said.begin(), value);
  }
  said.push_back(kind.efficiency >= 0 ? printed("efficiency %d", kind.efficiency) : "efficiency unknown");
  for (const auto& [name, value] : kind.infos) {
    if (name == "FrequencyMaxMHz") said.push_back("up to " + value + " MHz");
  }
  return joined(said, ", ");
}

std::string topology_line(const machine_topology& machine) {
  return counted(machine.packages, "package", "packages") + ", " +
         counted(machine.numa_nodes, "NUMA node", "NUMA nodes") + ", " + counted(machine.cores, "core", "cores") +
         ", " + counted(machine.processors, "processor", "processors");
}

std::string size_text(unsigned long long bytes) {
  const char* units[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
  double value = static_cast<double>(bytes);
  int unit = 0;
  while (value >= 1024 && unit < 4) {
    value /= 1024;
    ++unit;
  }
  return printed(value == static_cast<double>(static_cast<long long>(value)) ? "%.0f %s" : "%.1f %s", value,
                 units[unit]);
}

std::string caches_line(const machine_topology& machine) {
  std::string line;
  for (const cache_group& cache : machine.caches) {
    line += (line.empty() ? "" : ", ") + printed("L%d%s %s x%d", cache.level, cache.kind == 'd' ? "d" : "",
                                                 size_text(cache.bytes).c_str(), cache.count);
  }
  return line.empty() ? "none reported" : line;
}

std::string array_line(long long bytes, const machine_topology& machine) {
  const std::string size = size_text(static_cast<unsigned long long>(bytes));
  if (machine.last_level == 0 || machine.last_level_count <= 0 || machine.last_level_bytes == 0) {
    return size + "; the machine reports no cache to compare it with";
  }
  const double times = static_cast<double>(bytes) / static_cast<double>(machine.last_level_bytes);
  return size +
         printed(
             ": %.2fx the %s of L%d cache that the processors this process may use reach (%d cache%s of %s, "
             "as the machine reports them; a virtual machine may report sizes its host does not have)",
             times, size_text(machine.last_level_bytes).c_str(), machine.last_level, machine.last_level_count,
             machine.last_level_count == 1 ? "" : "s",
             size_text(machine.last_level_bytes / static_cast<unsigned long long>(machine.last_level_count)).c_str());
}

std::string processor_list(const std::vector<int>& processors) {
  // hwloc's own list form, as hwloc-calc and hwloc-bind print it.
  hwloc_bitmap_t set = hwloc_bitmap_alloc();
  for (int processor : processors) hwloc_bitmap_set(set, static_cast<unsigned>(processor));
  char* text = nullptr;
  const std::string list = hwloc_bitmap_list_asprintf(&text, set) >= 0 && text != nullptr ? text : "";
  std::free(text);
  hwloc_bitmap_free(set);
  return list;
}

}  // namespace omp_sums
