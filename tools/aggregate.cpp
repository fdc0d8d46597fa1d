#include "tools/aggregate.hpp"

#include <cmath>
#include <map>

namespace {

bool same_case(const run_case& a, const run_case& b) {
  return a.program == b.program && a.threads == b.threads && a.setting == b.setting;
}

case_stats program_figures(const run_plan& plan, const run_case& c, const std::vector<run_record>& records,
                           const machine_topology& machine) {
  case_stats stats;
  stats.c = c;
  std::vector<double> thread_times;
  std::vector<std::map<int, int>> placements;
  for (const run_record& r : records) {
    if (!same_case(r.c, c) || !r.reading.problem.empty()) continue;
    stats.walls.push_back(r.reading.seconds);
    if (r.reading.thread_seconds >= 0) thread_times.push_back(r.reading.thread_seconds);
    placements.push_back(placement_of(r.reading));
  }
  if (prints_placement(*c.program)) stats.placement = analyse_placement(placements, machine);
  if (stats.walls.empty()) return stats;
  stats.wall = summarise(stats.walls);
  stats.median_ci = median_interval(stats.walls);
  stats.spread_percent = stats.wall.median > 0 ? 100.0 * (stats.wall.max - stats.wall.min) / stats.wall.median : 0.0;
  if (!thread_times.empty()) stats.thread_median = summarise(thread_times).median;
  stats.ns_per_element_per_thread = stats.wall.median * c.threads / plan.size * 1e9;
  return stats;
}

// Field k of each valid calibration run on the team size, turned into the floor's unit.
floor_stats floor_figures(const run_plan& plan, floor_kind kind, const run_case& c, const std::vector<run_record>& records) {
  floor_stats stats{kind, c.threads, c.setting, {}, 0, {0, 0, 0}};
  for (const run_record& r : records) {
    if (!same_case(r.c, c) || !r.reading.problem.empty()) continue;
    const double field = std::strtod(r.reading.result_fields.at(static_cast<std::size_t>(kind)).c_str(), nullptr);
    const double value = kind == floor_kind::read_bandwidth ? 8.0 * plan.size / field * 1e-9 : field;
    if (std::isfinite(value)) stats.values.push_back(value);
  }
  if (!stats.values.empty()) {
    stats.median = summarise(stats.values).median;
    stats.ci = median_interval(stats.values);
  }
  return stats;
}

}  // namespace

std::string_view floor_name(floor_kind kind) {
  switch (kind) {
    case floor_kind::add_latency: return "add_latency";
    case floor_kind::inorder_streams: return "inorder_streams";
    case floor_kind::read_bandwidth: return "read_bandwidth";
    case floor_kind::line_transfer: return "line_transfer";
  }
  return "";
}

std::string_view floor_unit(floor_kind kind) {
  switch (kind) {
    case floor_kind::add_latency: return "ns";
    case floor_kind::inorder_streams: return "s";
    case floor_kind::read_bandwidth: return "GB/s";
    case floor_kind::line_transfer: return "ns";
  }
  return "";
}

figures aggregate(const run_plan& plan, const std::vector<run_record>& records, const machine_topology& machine) {
  figures result;
  for (const run_case& c : plan.cases) {
    if (c.program == &kCalibration) {
      for (floor_kind kind : {floor_kind::add_latency, floor_kind::inorder_streams, floor_kind::read_bandwidth,
                              floor_kind::line_transfer}) {
        floor_stats stats = floor_figures(plan, kind, c, records);
        if (!stats.values.empty()) result.floors.push_back(stats);
      }
      continue;
    }
    case_stats stats = program_figures(plan, c, records, machine);
    if (stats.walls.empty()) continue;
    // A median of 0 s (a clock too coarse for the run) gives no ratio.
    const floor_stats* floor = find_floor(result.floors, floor_kind::inorder_streams, c.threads, c.setting);
    if (floor != nullptr && floor->median > 0) {
      stats.floor_seconds = floor->median;
      stats.of_floor = stats.wall.median / floor->median;
    }
    result.cases.push_back(stats);
    const case_stats* one_thread = find_case(result.cases, c.program->name, 1, c.setting);
    if (one_thread != nullptr && one_thread->wall.median > 0 && stats.wall.median > 0) {
      result.cases.back().speedup = one_thread->wall.median / stats.wall.median;
    }
  }
  return result;
}

const case_stats* find_case(const std::vector<case_stats>& cases, std::string_view program, int threads, int setting) {
  for (const case_stats& stats : cases) {
    if (stats.c.program->name == program && stats.c.threads == threads && stats.c.setting == setting) return &stats;
  }
  return nullptr;
}

const floor_stats* find_floor(const std::vector<floor_stats>& floors, floor_kind kind, int threads, int setting) {
  for (const floor_stats& stats : floors) {
    if (stats.kind == kind && stats.threads == threads && stats.setting == setting) return &stats;
  }
  return nullptr;
}
