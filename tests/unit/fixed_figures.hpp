// Figures of cases as the headlines read them, made from fixed times.
#pragma once

#include <vector>

#include "tools/analysis/aggregate.hpp"

namespace omp_sums {

// A case whose runs took the given seconds, on SIZE elements.
inline case_stats stats_of(const char* name, int threads, const std::vector<double>& walls, int size) {
  case_stats stats;
  stats.c = {&program(name), threads};
  stats.walls = walls;
  stats.wall = summarise(walls);
  stats.median_ci = median_interval(walls);
  stats.elements = size;
  stats.ns_per_element_per_thread = stats.wall.median * threads / size * 1e9;
  return stats;
}

// Seven values within 2% of MEDIAN.
inline std::vector<double> around(double median) {
  return {median * 0.99, median, median * 1.01, median * 0.995, median * 1.005, median * 0.98, median * 1.02};
}

}  // namespace omp_sums
