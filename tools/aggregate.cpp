#include "tools/aggregate.hpp"

std::vector<case_stats> aggregate(const run_plan& plan, const std::vector<run_record>& records) {
  std::vector<case_stats> cases;
  for (const run_case& c : plan.cases) {
    std::vector<double> walls;
    std::vector<double> thread_times;
    for (const run_record& r : records) {
      if (r.c.program != c.program || r.c.threads != c.threads || !r.reading.problem.empty()) continue;
      walls.push_back(r.reading.seconds);
      if (r.reading.thread_seconds >= 0) thread_times.push_back(r.reading.thread_seconds);
    }
    if (walls.empty()) continue;
    case_stats stats;
    stats.c = c;
    stats.valid_runs = static_cast<int>(walls.size());
    stats.wall = summarise(walls);
    stats.spread_percent = stats.wall.median > 0 ? 100.0 * (stats.wall.max - stats.wall.min) / stats.wall.median : 0.0;
    if (!thread_times.empty()) stats.thread_median = summarise(thread_times).median;
    stats.ns_per_element_per_thread = stats.wall.median * c.threads / plan.size * 1e9;
    cases.push_back(stats);
    const case_stats* one_thread = find_case(cases, c.program->name, 1);
    if (one_thread != nullptr && stats.wall.median > 0) {
      cases.back().speedup = one_thread->wall.median / stats.wall.median;
    }
  }
  return cases;
}

const case_stats* find_case(const std::vector<case_stats>& cases, std::string_view program, int threads) {
  for (const case_stats& stats : cases) {
    if (stats.c.program->name == program && stats.c.threads == threads) return &stats;
  }
  return nullptr;
}
