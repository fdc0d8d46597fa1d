#include "tools/run/topology.hpp"

#include <hwloc.h>

#include <algorithm>

namespace omp_sums {

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
// a synthetic topology has no binding, so all of it. The caller frees the set.
hwloc_bitmap_t usable_processors(hwloc_topology_t topology) {
  hwloc_const_cpuset_t allowed = hwloc_topology_get_allowed_cpuset(topology);
  hwloc_bitmap_t bound = hwloc_bitmap_alloc();
  if (hwloc_topology_is_thissystem(topology) && hwloc_get_cpubind(topology, bound, HWLOC_CPUBIND_PROCESS) == 0) {
    hwloc_bitmap_and(bound, bound, allowed);
  } else {
    hwloc_bitmap_copy(bound, allowed);
  }
  return bound;
}

// hwloc's kinds of core, least powerful first, with their attributes.
std::vector<core_kind> core_kinds(hwloc_topology_t topology) {
  std::vector<core_kind> kinds;
  const int count = hwloc_cpukinds_get_nr(topology, 0);
  hwloc_bitmap_t set = hwloc_bitmap_alloc();
  for (int k = 0; k < count; ++k) {
    core_kind kind;
    unsigned infos_count = 0;
    hwloc_info_s* infos = nullptr;
    if (hwloc_cpukinds_get_info(topology, static_cast<unsigned>(k), set, &kind.efficiency, &infos_count, &infos, 0) !=
        0) {
      continue;
    }
    kind.processors = processors_of(set);
    for (unsigned i = 0; i < infos_count; ++i) {
      if (infos[i].name != nullptr && infos[i].value != nullptr) kind.infos.emplace_back(infos[i].name, infos[i].value);
    }
    kinds.push_back(std::move(kind));
  }
  hwloc_bitmap_free(set);
  return kinds;
}

// Every level's caches; the last level above the usable processors, and each level's share per
// usable processor (`processes`: the processors this process may use).
void read_caches(hwloc_topology_t topology, hwloc_const_cpuset_t processes, machine_topology& machine) {
  for (int level = 1; level <= 5; ++level) {
    const hwloc_obj_type_t type = static_cast<hwloc_obj_type_t>(HWLOC_OBJ_L1CACHE + level - 1);
    std::map<std::pair<char, unsigned long long>, int> sizes;
    int serving = 0;
    unsigned long long serving_bytes = 0;
    hwloc_bitmap_t usable = hwloc_bitmap_alloc();
    for (hwloc_obj_t cache = hwloc_get_next_obj_by_type(topology, type, nullptr); cache != nullptr;
         cache = hwloc_get_next_obj_by_type(topology, type, cache)) {
      const char kind = cache->attr->cache.type == HWLOC_OBJ_CACHE_UNIFIED ? 'u' : 'd';
      ++sizes[{kind, cache->attr->cache.size}];
      hwloc_bitmap_and(usable, cache->cpuset, processes);
      const int served = hwloc_bitmap_weight(usable);
      if (served > 0 && cache->attr->cache.size > 0) {
        ++serving;
        serving_bytes += cache->attr->cache.size;
        // The smallest share of the level a usable processor may have: its cache's size over
        // the usable processors that cache serves.
        const unsigned long long share = cache->attr->cache.size / static_cast<unsigned>(served);
        auto [at, first] = machine.share_per_processor.try_emplace(level, share);
        if (!first) at->second = std::min(at->second, share);
      }
    }
    hwloc_bitmap_free(usable);
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
  hwloc_bitmap_t usable = usable_processors(topology);
  machine.allowed = processors_of(usable);
  machine.memory_bytes = hwloc_get_root_obj(topology)->total_memory;
  machine.kinds = core_kinds(topology);
  for (hwloc_obj_t pu = hwloc_get_next_obj_by_type(topology, HWLOC_OBJ_PU, nullptr); pu != nullptr;
       pu = hwloc_get_next_obj_by_type(topology, HWLOC_OBJ_PU, pu)) {
    const int processor = static_cast<int>(pu->os_index);
    const hwloc_obj_t core = hwloc_get_ancestor_obj_by_type(topology, HWLOC_OBJ_CORE, pu);
    machine.core_of[processor] = core != nullptr ? static_cast<int>(core->logical_index) : processor;
    const int node = pu->nodeset != nullptr ? hwloc_bitmap_first(pu->nodeset) : -1;
    machine.node_of[processor] = std::max(node, 0);
  }
  read_caches(topology, usable, machine);
  hwloc_bitmap_free(usable);
  hwloc_topology_destroy(topology);
  return machine;
}

}  // namespace omp_sums
