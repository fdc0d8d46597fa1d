// What the region tool recorded of a run (sum_compare --regions): per parallel region, its
// threads' seconds of work, barrier and lock waiting and overhead, summed over its instances.
#pragma once

#include <string>
#include <vector>

#include "tools/catalog/plan.hpp"
#include "tools/region_tool/region_accounting.hpp"

namespace omp_sums {

using region_time = regions::thread_time;

struct recorded_region {
  std::string where;  // "file.cpp:31 (function)", or the function, or the object and offset
  long long instances = 0;
  int team = 0;     // the largest team of its instances
  double wall = 0;  // seconds, over its instances
  long long events = 0;
  std::vector<region_time> threads;  // by thread number
  bool operator==(const recorded_region&) const = default;
};

// One run of a case under the region tool, never one of the timed runs.
struct region_run {
  run_case c;
  int round = 0;        // 1..--repeat
  std::string problem;  // why the run gave no record; empty: it did
  double seconds = -1;  // the program's own timed interval under the tool; -1: none
  double ns_per_event = -1;
  std::vector<recorded_region> regions;
};

// The seconds of a region's threads in each part, summed.
inline region_time team_time(const recorded_region& region) {
  region_time sum;
  for (const region_time& thread : region.threads) {
    sum.work += thread.work;
    sum.barrier += thread.barrier;
    sum.lock += thread.lock;
    sum.overhead += thread.overhead;
  }
  return sum;
}

inline double total(const region_time& time) { return time.work + time.barrier + time.lock + time.overhead; }

}  // namespace omp_sums
