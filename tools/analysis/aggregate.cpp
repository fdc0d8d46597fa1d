#include "tools/analysis/aggregate.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

#include "tools/catalog/text.hpp"

namespace omp_sums {

namespace {

case_stats program_figures(const run_plan& plan, const run_case& c, const std::vector<run_record>& records,
                           const machine_topology& machine) {
  case_stats stats;
  stats.c = c;
  std::vector<double> thread_times;
  std::vector<std::map<int, int>> placements;
  const bool command = c.program->role == program_role::command;
  stats.elements = command ? 0 : elements_of(plan, c);
  int place_size = 0;  // a command's threads' places, where each holds several processors
  std::vector<double> local_shares;
  std::vector<double> processor_shares;
  const int processors = static_cast<int>(machine.allowed.size());
  for (const run_record& r : records) {
    if (!same_case(r.c, c)) continue;
    ++stats.runs;
    if (!r.reading.problem.empty()) continue;
    stats.walls.push_back(r.reading.seconds);
    if (r.reading.thread_seconds >= 0) thread_times.push_back(r.reading.thread_seconds);
    // A command's CPU time is its whole process's, over its own timed region or not: no share.
    if (const double share = processor_share(r.reading, c.threads, processors); share >= 0 && !command)
      processor_shares.push_back(share);
    if (!r.reading.threads.empty() && !prints_pages(*c.program)) placements.push_back(placement_of(r.reading));
    if (command && stats.elements == 0) stats.elements = r.reading.elements;
    place_size = std::max(place_size, r.reading.place_size);
    if (prints_pages(*c.program)) {
      double share = 0;
      bool known = !r.reading.threads.empty();
      for (const auto& [thread, reported] : r.reading.threads) {
        known = known && reported.local_percent >= 0;  // -1: the kernel could not say
        share += reported.local_percent;
      }
      if (known) local_shares.push_back(share / static_cast<double>(r.reading.threads.size()));
    }
  }
  if (!local_shares.empty()) stats.local_pages_percent = summarise(local_shares).median;
  if (prints_placement(*c.program) || (command && !placements.empty()))
    stats.placement = analyse_placement(placements, machine);
  // Threads whose places hold several processors are unbound, as the suite's programs are by
  // default: where they ran is not known, and nothing is wrong.
  if (command && placements.empty() && place_size == 0 && !stats.walls.empty()) {
    stats.placement_unknown =
        "it printed no affinity lines (not an OpenMP program, or a runtime that ignores OMP_DISPLAY_AFFINITY)";
  }
  if (stats.walls.empty()) return stats;
  stats.wall = summarise(stats.walls);
  stats.median_ci = median_interval(stats.walls);
  stats.spread_percent = stats.wall.median > 0 ? 100.0 * (stats.wall.max - stats.wall.min) / stats.wall.median : 0.0;
  if (!thread_times.empty()) stats.thread_median = summarise(thread_times).median;
  // Where most runs are shorter than that, the few longer ones are what a preemption stretched.
  if (!processor_shares.empty() && stats.wall.median >= kLeastSecondsForShare) {
    stats.processor_share = summarise(processor_shares).median;
    stats.time_shared = stats.processor_share < kLeastProcessorShare;
  }
  if (stats.elements > 0)
    stats.ns_per_element_per_thread = stats.wall.median * c.threads / static_cast<double>(stats.elements) * 1e9;
  stats.precision_reached = plan.precision <= 0 || median_within(stats.walls, plan.precision);
  return stats;
}

// Each valid calibration run's value of the floor on the team size.
floor_stats floor_figures(const run_plan& plan, const floor_description& floor, const run_case& c,
                          const std::vector<run_record>& records) {
  floor_stats stats{floor.kind, c.threads, c.setting, {}, 0, {0, 0, 0}};
  std::vector<double> shares;
  for (const run_record& r : records) {
    if (!same_case(r.c, c) || !r.reading.problem.empty()) continue;
    const double value = floor_value(floor, floor_field_seconds(floor, r.reading.result_fields), elements_of(plan, c));
    if (!std::isfinite(value)) continue;
    stats.values.push_back(value);
    if (const double share = floor_field_share(floor, r.reading.result_fields); std::isfinite(share))
      shares.push_back(share);
  }
  if (!stats.values.empty()) {
    stats.median = summarise(stats.values).median;
    stats.ci = median_interval(stats.values);
  }
  if (!shares.empty()) {
    stats.processor_share = summarise(shares).median;
    stats.scheduled = stats.processor_share < kLeastProcessorShare && !floor.cpu_time;
  }
  return stats;
}

}  // namespace

double floor_field_seconds(const floor_description& floor, const std::vector<std::string>& fields) {
  const std::size_t field = value_field(floor.kind);
  if (field >= fields.size()) return NAN;
  return std::strtod(fields[field].c_str(), nullptr) * floor.seconds_per_field;
}

double floor_field_share(const floor_description& floor, const std::vector<std::string>& fields) {
  const std::size_t field = share_field(floor.kind);
  return field < fields.size() ? std::strtod(fields[field].c_str(), nullptr) : NAN;
}

double processor_share(const program_run& run, int threads, int processors) {
  if (run.thread_seconds < 0 || !(run.seconds >= kLeastSecondsForShare) || !run.problem.empty()) return -1;
  const int at_once = std::max(1, std::min(threads, processors > 0 ? processors : threads));
  return run.thread_seconds * threads / (run.seconds * at_once);
}

figures without_time_shared(const figures& measured) {
  figures trusted = measured;
  std::erase_if(trusted.cases, [](const case_stats& c) { return c.time_shared; });
  return trusted;
}

double floor_value(const floor_description& floor, double field_seconds, int size) {
  if (floor.as_bandwidth) return 8.0 * size / field_seconds * 1e-9;  // 8 bytes an element
  return field_seconds / floor.seconds_per_field;
}

figures aggregate(const run_plan& plan, const std::vector<run_record>& records, const machine_topology& machine) {
  figures result;
  for (const run_case& c : plan.cases) {
    if (c.program->role == program_role::calibration) {
      const std::size_t first = result.floors.size();
      for (const floor_description& floor : kFloors) {
        floor_stats stats = floor_figures(plan, floor, c, records);
        if (!stats.values.empty()) result.floors.push_back(stats);
      }
      // Where its hand-overs had to wait, the team did not run at once: every floor of it is the
      // scheduler's.
      const auto waits = std::find_if(result.floors.begin() + static_cast<std::ptrdiff_t>(first), result.floors.end(),
                                      [](const floor_stats& f) { return f.kind == floor_kind::hand_over_waits; });
      if (waits != result.floors.end() && waits->median > kScheduledShare) {
        for (std::size_t k = first; k < result.floors.size(); ++k)
          result.floors[k].scheduled = result.floors[k].scheduled || !describe(result.floors[k].kind).cpu_time;
      }
      continue;
    }
    case_stats stats = program_figures(plan, c, records, machine);
    if (stats.walls.empty()) continue;
    // A median of 0 s (a clock too coarse for the run) gives no ratio.
    const floor_stats* floor = find_floor(result.floors, floor_kind::inorder_streams, c.threads, c.setting);
    // A command's floor is the in-order floor over its own elements, scaled from the setting's size.
    if (floor != nullptr && floor->median > 0 && stats.elements > 0) {
      stats.floor_seconds = floor->median * static_cast<double>(stats.elements) / elements_of(plan, c);
      stats.of_floor = stats.wall.median / stats.floor_seconds;
    }
    result.cases.push_back(stats);
    const case_stats* one_thread = find_case(result.cases, *c.program, 1, c.setting);
    if (one_thread != nullptr && one_thread->wall.median > 0 && stats.wall.median > 0) {
      result.cases.back().speedup = one_thread->wall.median / stats.wall.median;
    }
  }
  return result;
}

const case_stats* find_case(const std::vector<case_stats>& cases, const program_description& program, int threads,
                            int setting) {
  for (const case_stats& stats : cases) {
    if (stats.c.program == &program && stats.c.threads == threads && stats.c.setting == setting) return &stats;
  }
  return nullptr;
}

const case_stats* find_case(const std::vector<case_stats>& cases, program_role role, int threads, int setting) {
  return find_case(cases, program_with(role), threads, setting);
}

const floor_stats* find_floor(const std::vector<floor_stats>& floors, floor_kind kind, int threads, int setting) {
  const floor_stats* found = measured_floor(floors, kind, threads, setting);
  return found != nullptr && !found->scheduled ? found : nullptr;
}

const floor_stats* measured_floor(const std::vector<floor_stats>& floors, floor_kind kind, int threads, int setting) {
  for (const floor_stats& stats : floors) {
    if (stats.kind == kind && stats.threads == threads && stats.setting == setting) return &stats;
  }
  return nullptr;
}

}  // namespace omp_sums
