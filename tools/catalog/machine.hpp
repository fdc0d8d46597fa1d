// The machine as hwloc saw it (tools/run/topology.hpp reads it): packages, NUMA nodes, cores,
// processors (hardware threads), caches, and the processors this process may use; and how a
// report names them.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace omp_sums {

struct cache_group {
  int level;                 // 1, 2, 3, ...
  char kind;                 // 'd' data, 'u' unified
  unsigned long long bytes;  // one cache's size, as the machine reports it
  int count;                 // how many such caches
};

// A kind of core as hwloc ranks it (its cpukinds): on hybrid processors, efficient cores beside
// fast ones.
struct core_kind {
  std::vector<int> processors;  // the processors (OS numbers) of this kind
  int efficiency = -1;          // hwloc's rank: 0 the least powerful kind; -1 where it could not rank them
  std::vector<std::pair<std::string, std::string>> infos;  // hwloc's attributes: CoreType, FrequencyMaxMHz, ...
  bool operator==(const core_kind&) const = default;
};

struct machine_topology {
  int packages = 0;
  int numa_nodes = 0;
  int cores = 0;
  int processors = 0;
  std::vector<cache_group> caches;          // data and unified caches, by level
  std::vector<int> allowed;                 // the processors (OS numbers) this process may use
  int last_level = 0;                       // level of the last cache above the allowed processors; 0: none
  int last_level_count = 0;                 // how many such caches serve them
  unsigned long long last_level_bytes = 0;  // their sizes added up
  std::map<int, int> core_of;               // processor -> core
  std::map<int, int> node_of;               // processor -> NUMA node (its first local one)
  // Cache level -> the smallest share of one of its caches per usable processor that it serves.
  std::map<int, unsigned long long> share_per_processor;
  unsigned long long memory_bytes = 0;  // the machine's memory; 0: not known
  std::vector<core_kind> kinds;         // hwloc's kinds of core, least powerful first; none or one: all alike
  bool this_system = true;              // false for a synthetic or recorded topology
  // On the machine the sizes are read from only (tools/analysis/cache_levels.hpp): the levels
  // whose share (and, for the last, whose total) a read sweep measured, where the reported size
  // proved false; and the reported levels it found no trace of.
  std::vector<int> measured_levels{};
  std::vector<int> absent_levels{};
};

// One working set of calibrate's read sweep: its size, and how fast THREADS threads read it.
struct sweep_point {
  int threads = 0;
  long long bytes = 0;
  double gb_per_s = 0;
  bool operator==(const sweep_point&) const = default;
};

// calibrate --sweep as sum_compare ran it before planning: what the caches really hold.
struct read_sweep {
  long long most_bytes = 0;         // the largest working set asked for; 0: not run
  std::vector<sweep_point> points;  // one thread's, then the team's, each by size
  std::string problem;              // why it gave no points, or ""
  bool operator==(const read_sweep&) const = default;
};

// How many NUMA nodes the processors this process may use lie on.
int allowed_numa_nodes(const machine_topology& machine);

// The kind of a processor (its place in machine.kinds), or -1 where hwloc gives it none.
int kind_of(const machine_topology& machine, int processor);

// "IntelCore, efficiency 1, up to 5000 MHz", from what hwloc says of the kind.
std::string kind_description(const core_kind& kind);

// The kinds among the processors this process may use, where there are two or more, each as
// "0-3 (IntelCore, efficiency 1, up to 5000 MHz)"; empty where the usable processors are all alike.
std::vector<std::string> usable_kinds(const machine_topology& machine);

// "2 packages, 4 NUMA nodes, 16 cores, 32 processors" (singular where 1).
std::string topology_line(const machine_topology& machine);

// "L1d 48 KiB x2, L2 1 MiB x2, L3 508 MiB x2", or "none reported".
std::string caches_line(const machine_topology& machine);

// How an array of `bytes` compares with the last-level cache the allowed processors can use.
std::string array_line(long long bytes, const machine_topology& machine);

// "0-3,6" for {0, 1, 2, 3, 6}, in hwloc's own list form.
std::string processor_list(const std::vector<int>& processors);

// "32 KiB", "1 MiB", "508 MiB", "1.5 GiB".
std::string size_text(unsigned long long bytes);

}  // namespace omp_sums
