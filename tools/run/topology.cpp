#include "tools/run/topology.hpp"

#include <hwloc.h>

#include <algorithm>

namespace {

// The processors of a cpuset, by OS number.
std::vector<int> processors_of(hwloc_const_cpuset_t set) {
  std::vector<int> processors;
  unsigned index = 0;
  hwloc_bitmap_foreach_begin(index, set) { processors.push_back(static_cast<int>(index)); }
  hwloc_bitmap_foreach_end();
  return processors;
}

// What this process may run on: its binding (the affinity mask) within the allowed processors;
// a synthetic topology has no binding, so all of it.
std::vector<int> allowed_processors(hwloc_topology_t topology) {
  hwloc_const_cpuset_t allowed = hwloc_topology_get_allowed_cpuset(topology);
  hwloc_bitmap_t bound = hwloc_bitmap_alloc();
  std::vector<int> processors;
  if (hwloc_topology_is_thissystem(topology) && hwloc_get_cpubind(topology, bound, HWLOC_CPUBIND_PROCESS) == 0) {
    hwloc_bitmap_and(bound, bound, allowed);
    processors = processors_of(bound);
  } else {
    processors = processors_of(allowed);
  }
  hwloc_bitmap_free(bound);
  return processors;
}

void read_caches(hwloc_topology_t topology, machine_topology& machine) {
  hwloc_const_cpuset_t allowed = hwloc_topology_get_allowed_cpuset(topology);
  for (int level = 1; level <= 5; ++level) {
    const hwloc_obj_type_t type = static_cast<hwloc_obj_type_t>(HWLOC_OBJ_L1CACHE + level - 1);
    std::map<std::pair<char, unsigned long long>, int> sizes;
    int serving = 0;
    unsigned long long serving_bytes = 0;
    for (hwloc_obj_t cache = hwloc_get_next_obj_by_type(topology, type, nullptr); cache != nullptr;
         cache = hwloc_get_next_obj_by_type(topology, type, cache)) {
      const char kind = cache->attr->cache.type == HWLOC_OBJ_CACHE_UNIFIED ? 'u' : 'd';
      ++sizes[{kind, cache->attr->cache.size}];
      if (hwloc_bitmap_intersects(cache->cpuset, allowed)) {
        ++serving;
        serving_bytes += cache->attr->cache.size;
      }
    }
    for (const auto& [key, count] : sizes) machine.caches.push_back({level, key.first, key.second, count});
    if (serving > 0) {
      machine.last_level = level;
      machine.last_level_count = serving;
      machine.last_level_bytes = serving_bytes;
    }
  }
}

}  // namespace

machine_topology read_topology() {
  machine_topology machine;
  hwloc_topology_t topology;
  if (hwloc_topology_init(&topology) != 0) return machine;
  if (hwloc_topology_load(topology) != 0) {
    hwloc_topology_destroy(topology);
    return machine;
  }
  machine.this_system = hwloc_topology_is_thissystem(topology) != 0;
  machine.packages = hwloc_get_nbobjs_by_type(topology, HWLOC_OBJ_PACKAGE);
  machine.numa_nodes = hwloc_get_nbobjs_by_type(topology, HWLOC_OBJ_NUMANODE);
  machine.cores = hwloc_get_nbobjs_by_type(topology, HWLOC_OBJ_CORE);
  machine.processors = hwloc_get_nbobjs_by_type(topology, HWLOC_OBJ_PU);
  machine.allowed = allowed_processors(topology);
  for (hwloc_obj_t pu = hwloc_get_next_obj_by_type(topology, HWLOC_OBJ_PU, nullptr); pu != nullptr;
       pu = hwloc_get_next_obj_by_type(topology, HWLOC_OBJ_PU, pu)) {
    const int processor = static_cast<int>(pu->os_index);
    const hwloc_obj_t core = hwloc_get_ancestor_obj_by_type(topology, HWLOC_OBJ_CORE, pu);
    machine.core_of[processor] = core != nullptr ? static_cast<int>(core->logical_index) : processor;
    const int node = pu->nodeset != nullptr ? hwloc_bitmap_first(pu->nodeset) : -1;
    machine.node_of[processor] = std::max(node, 0);
  }
  read_caches(topology, machine);
  hwloc_topology_destroy(topology);
  return machine;
}
