// The page's charts against the array's size: where each cache level ends, what the read
// bandwidth and the programs' time per element do.
#include <algorithm>
#include <cmath>
#include <map>

#include "tools/analysis/cache_levels.hpp"
#include "tools/analysis/sentences.hpp"
#include "tools/catalog/text.hpp"
#include "tools/report/chart_script.hpp"
#include "tools/report/effect_charts.hpp"
#include "tools/report/text_formats.hpp"

namespace omp_sums {

namespace {

double bytes_of(const array_size& size) { return 8.0 * size.elements; }

// A dotted line at each cache level's size, as the machine reports it (its smallest cache of the
// level, where they differ).
std::vector<std::pair<double, std::string>> cache_marks(const machine_topology& machine) {
  std::map<int, const cache_group*> smallest;
  for (const cache_group& cache : machine.caches) {
    const cache_group*& kept = smallest[cache.level];
    if (kept == nullptr || cache.bytes < kept->bytes) kept = &cache;
  }
  std::vector<std::pair<double, std::string>> marks;
  for (const auto& [level, cache] : smallest) {
    marks.emplace_back(static_cast<double>(cache->bytes),
                       printed("L%d%s %s", level, cache->kind == 'd' ? "d" : "", size_text(cache->bytes).c_str()));
  }
  return marks;
}

// The array's sizes on a log axis, each labelled, with a dotted line at each cache level's size
// (its smallest cache of the level, where they differ).
x_axis size_axis(const run_plan& plan, const machine_topology& machine) {
  x_axis axis{"array size (log scale)", "", true, ""};
  double low = bytes_of(plan.sizes[0]);
  double high = low;
  for (const array_size& size : plan.sizes) {
    const std::string label = (size.level > 0 || size.name == "DRAM" ? size.name + " " : "") +
                              size_text(static_cast<unsigned long long>(bytes_of(size)));
    axis.tics += (axis.tics.empty() ? "(" : ", ") + gnuplot_string(label) + printed(" %.0f", bytes_of(size));
    low = std::min(low, bytes_of(size));
    high = std::max(high, bytes_of(size));
  }
  axis.tics += ")";
  for (const auto& [at, label] : cache_marks(machine)) {
    axis.marks.emplace_back(at, label);
    low = std::min(low, at);
    high = std::max(high, at);
  }
  axis.range = printed("[%.9g:%.9g]", low / 1.6, high * 1.6);
  return axis;
}

// A group's settings, the smallest array first.
std::vector<int> by_elements(const run_plan& plan, std::vector<int> group) {
  std::stable_sort(group.begin(), group.end(),
                   [&](int a, int b) { return elements_under(plan, a) < elements_under(plan, b); });
  return group;
}

}  // namespace

std::vector<effect_chart> size_charts(const run_plan& plan, const figures& measured, const machine_topology& machine) {
  if (plan.sizes.size() < 2) return {};
  const x_axis axis = size_axis(plan, machine);
  const std::size_t programs = compared_programs(plan).size();
  const int largest_team = plan.threads.back();
  std::vector<panel> bandwidth;
  std::vector<panel> time;
  for (const std::vector<int>& group : size_groups(plan)) {
    panel read{group_label(plan, group), {}};
    // Each team size a colour of its own, after the programs'.
    for (std::size_t k = 0; k < plan.threads.size(); ++k) {
      series line{threads_text(plan.threads[k]), {}, true, static_cast<int>(programs + k)};
      for (int setting : by_elements(plan, group)) {
        const floor_stats* f = measured_floor(measured.floors, floor_kind::read_bandwidth, plan.threads[k], setting);
        if (f != nullptr)
          line.rows +=
              printed("%.9g %.9g %.9g %.9g\n", 8.0 * elements_under(plan, setting), f->median, f->ci.low, f->ci.high);
      }
      if (!line.rows.empty()) read.lines.push_back(line);
    }
    if (!read.lines.empty()) bandwidth.push_back(read);
    panel per_element{group_label(plan, group), {}};
    const std::vector<const program_description*> compared = compared_programs(plan);
    for (std::size_t place = 0; place < compared.size(); ++place) {
      series line{std::string(compared[place]->name), {}, true, static_cast<int>(place)};
      for (int setting : by_elements(plan, group)) {
        const case_stats* c = find_case(measured.cases, *compared[place], largest_team, setting);
        if (c == nullptr || c->elements <= 0) continue;
        const double scale = 1e9 * c->c.threads / static_cast<double>(c->elements);
        line.rows += printed("%.9g %.9g %.9g %.9g\n", 8.0 * elements_under(plan, setting), c->ns_per_element_per_thread,
                             c->wall.min * scale, c->wall.max * scale);
      }
      if (!line.rows.empty()) per_element.lines.push_back(line);
    }
    if (!per_element.lines.empty()) time.push_back(per_element);
  }
  std::vector<effect_chart> charts;
  const auto add = [&](const char* effect, const std::string& title, const char* reading, const char* y_label,
                       const std::vector<panel>& panels) {
    if (!panels.empty()) {
      charts.push_back(
          {effect, title, reading, script_of(title, y_label, y_axis::logarithmic, "", NAN, "", panels, axis), ""});
    }
  };
  add("bandwidth_by_size", "Read bandwidth against the array's size",
      "Each line is a team size reading its blocks with a reassociated sum (calibrate's read bandwidth: the median "
      "and its 95% interval); where it falls past a dotted cache size, the array no longer fits in that level.",
      "GB/s (log scale)", bandwidth);
  add("time_by_size", "Time per element against the array's size, " + threads_text(largest_team),
      "The median time per element a thread handles, with min-max bars: a line that climbs past a dotted cache size "
      "waits on where the array lies; a flat one on its own work (the in-order sums on their adds). Below 1 ms a "
      "run's fork and join weigh in it.",
      "ns per element (log scale)", time);
  return charts;
}

std::optional<effect_chart> sweep_chart(const read_sweep& sweep, const measured_caches& caches,
                                        const machine_topology& machine) {
  if (sweep.points.empty()) return std::nullopt;
  const double low = static_cast<double>(sweep.points.front().bytes);
  double high = low;
  panel reads{"", {}};
  for (const sweep_point& point : sweep.points) {
    high = std::max(high, static_cast<double>(point.bytes));
    if (reads.lines.empty() || reads.lines.back().title != threads_text(point.threads))
      reads.lines.push_back({threads_text(point.threads), "", false, static_cast<int>(reads.lines.size())});
    reads.lines.back().rows += printed("%lld %.9g\n", point.bytes, point.gb_per_s);
  }
  x_axis axis{"working set (log scale)", "", true, printed("[%.9g:%.9g]", low / 1.3, high * 1.3)};
  for (double at = low; at <= high; at *= 4) {
    axis.tics += (axis.tics.empty() ? "(" : ", ") + gnuplot_string(size_text(static_cast<unsigned long long>(at))) +
                 printed(" %.0f", at);
  }
  axis.tics += ")";
  for (const auto& [at, label] : cache_marks(machine)) {
    if (at >= low && at <= high) axis.marks.emplace_back(at, label + " reported");
  }
  if (caches.one.memory_from > 0) axis.marks.emplace_back(static_cast<double>(caches.one.memory_from), "memory speed");
  const std::string title = "Read bandwidth against the working set";
  return effect_chart{"read_sweep", title,
                      "Measured before the runs: each line reads working sets of each size over and over, on one "
                      "thread and on the team. Where it steps down, a cache level ends; dotted, the caches as the "
                      "machine reports them and where one thread's reads reach memory speed. The sizes L1 to DRAM "
                      "follow the measurement where the reported caches proved false.",
                      script_of(title, "GB/s (log scale)", y_axis::logarithmic, "", NAN, "", {reads}, axis), ""};
}

}  // namespace omp_sums
