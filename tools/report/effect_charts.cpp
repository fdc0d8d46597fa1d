#include "tools/report/effect_charts.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/analysis/statistics.hpp"
#include "tools/catalog/text.hpp"
#include "tools/report/chart_script.hpp"
#include "tools/run/child_process.hpp"

namespace omp_sums {

namespace {

std::string ratio_row(int threads, const std::vector<double>& numerator, const std::vector<double>& denominator) {
  const double ratio = summarise(numerator).median / summarise(denominator).median;
  const interval ci = ratio_interval(numerator, denominator);
  return std::isfinite(ratio) ? printed("%d %.9g %.9g %.9g\n", threads, ratio, ci.low, ci.high) : "";
}

// The panels of one chart: one per setting, with the lines that `lines_of` finds under it.
template <typename Lines>
std::vector<panel> per_setting(const run_plan& plan, Lines lines_of) {
  std::vector<panel> panels;
  for (int setting = 0; setting < static_cast<int>(plan.settings.size()); ++setting) {
    panel p{setting_label(plan.settings[static_cast<std::size_t>(setting)]), {}};
    for (series& line : lines_of(setting)) {
      if (!line.rows.empty()) p.lines.push_back(std::move(line));
    }
    if (!p.lines.empty()) panels.push_back(std::move(p));
  }
  return panels;
}

// Each program's speed-up (SPEEDUP) or time per element a thread handles, with its min-max bars,
// over the team sizes under SETTING.
std::vector<series> program_lines(const run_plan& plan, const figures& measured, int setting, bool speedup) {
  std::vector<series> lines;
  const std::vector<const program_description*> programs = compared_programs(plan);
  for (std::size_t place = 0; place < programs.size(); ++place) {
    const program_description& program = *programs[place];
    series line{std::string(program.name), {}, !speedup, static_cast<int>(place)};
    for (const case_stats& c : measured.cases) {
      if (c.c.program != &program || c.c.setting != setting) continue;
      if (speedup && c.speedup >= 0 && program.on_team) line.rows += printed("%d %.9g\n", c.c.threads, c.speedup);
      // Per element only where the count is known: a command says it with elements=.
      if (!speedup && c.ns_per_element_per_thread >= 0 && c.elements > 0) {
        const double per_element = 1e9 * c.c.threads / static_cast<double>(c.elements);
        line.rows += printed("%d %.9g %.9g %.9g\n", c.c.threads, c.ns_per_element_per_thread, c.wall.min * per_element,
                             c.wall.max * per_element);
      }
    }
    lines.push_back(line);
  }
  return lines;
}

// The programs' speed-ups beside plain in-order streams', dashed in the reduction's colour.
std::vector<series> scaling_lines(const run_plan& plan, const figures& measured, int setting) {
  std::vector<series> lines = program_lines(plan, measured, setting, true);
  const int reduction = static_cast<int>(&program_with(program_role::reduction) - kPrograms);
  series floor{"plain in-order streams (floor)", {}, false, reduction, true};
  const floor_stats* one = measured_floor(measured.floors, floor_kind::inorder_streams, 1, setting);
  for (const floor_stats& f : measured.floors) {
    if (f.kind == floor_kind::inorder_streams && f.setting == setting && one != nullptr && f.median > 0) {
      floor.rows += printed("%d %.9g\n", f.threads, one->median / f.median);
    }
  }
  lines.push_back(floor);
  return lines;
}

// TOP's times over BOTTOM's on each team size, in TOP's colour.
series ratio_line(const run_plan& plan, const figures& measured, program_role top, program_role bottom,
                  const std::string& title, int setting) {
  series line{title, {}, true, static_cast<int>(&program_with(top) - kPrograms)};
  for (int threads : plan.threads) {
    const case_stats* a = find_case(measured.cases, top, threads, setting);
    const case_stats* b = find_case(measured.cases, bottom, threads, setting);
    if (a != nullptr && b != nullptr) line.rows += ratio_row(threads, a->walls, b->walls);
  }
  return line;
}

// Packed over padded slots, beside plain threads' sums in one line over a line apart.
std::vector<series> false_sharing_lines(const run_plan& plan, const figures& measured, int setting) {
  series reference{"plain threads: sums in one line / a line apart",
                   {},
                   true,
                   static_cast<int>(&program_with(program_role::packed_slots) - kPrograms),
                   true};
  for (int threads : plan.threads) {
    const floor_stats* shared = measured_floor(measured.floors, floor_kind::shared_line_sums, threads, setting);
    const floor_stats* separate = measured_floor(measured.floors, floor_kind::separate_line_sums, threads, setting);
    if (shared != nullptr && separate != nullptr)
      reference.rows += ratio_row(threads, shared->values, separate->values);
  }
  series slots = ratio_line(plan, measured, program_role::packed_slots, program_role::padded_slots,
                            "packed / padded slots", setting);
  if (slots.rows.empty()) reference.rows.clear();  // the reference alone explains nothing
  return {slots, reference};
}

std::vector<series> first_touch_lines(const run_plan& plan, const figures& measured, int setting) {
  return {ratio_line(plan, measured, program_role::first_touch, program_role::reduction,
                     std::string(program_with(program_role::first_touch).name) + " / " +
                         std::string(program_with(program_role::reduction).name),
                     setting)};
}

}  // namespace

std::vector<effect_chart> effect_charts(const run_plan& plan, const figures& measured,
                                        const machine_topology& machine) {
  std::vector<effect_chart> charts;
  std::string ticks;
  for (int threads : plan.threads) ticks += ", " + std::to_string(threads);
  const x_axis by_threads{"threads", "(1" + ticks + ")", plan.threads.back() > 8, ""};
  const auto add = [&](const char* effect, const char* title, const char* reading, const char* y_label, y_axis axis,
                       const char* reference, const char* reference_title, const std::vector<panel>& panels) {
    const double reference_value = std::string(reference) == "x" ? plan.threads.back() : 1;
    if (!panels.empty()) {
      charts.push_back(
          {effect, title, reading,
           script_of(title, y_label, axis, reference, reference_value, reference_title, panels, by_threads), ""});
    }
  };
  add("scaling", "Speed-up over one thread",
      "How close each program comes to the ideal (dotted): the in-order floor, dashed in the reduction's colour, is "
      "what plain threads manage on this machine, so a program on it lacks nothing OpenMP could give.",
      "speed-up", y_axis::from_zero, "x", "ideal",
      per_setting(plan, [&](int setting) { return scaling_lines(plan, measured, setting); }));
  add("time_per_element", "Time per element a thread handles (median, min-max bars)",
      "Flat lines mean each thread handles its elements as fast at every team size; a line that climbs with the team "
      "loses time to shared lines, memory bandwidth or the runtime.",
      "ns per element", y_axis::from_zero, "", "",
      per_setting(plan, [&](int setting) { return program_lines(plan, measured, setting, false); }));
  add("false_sharing", "False sharing: packed over padded slots, beside this host's reference",
      "Above the dotted 1, packed slots take longer than padded ones: the cost of false sharing; dashed beside it, "
      "what "
      "plain threads keeping their sums in one line show on this host (some processors hide it).",
      "time ratio (log scale)", y_axis::ratio, "1", "no difference",
      per_setting(plan, [&](int setting) { return false_sharing_lines(plan, measured, setting); }));
  add("first_touch", "First touch against the reduction",
      "Below the dotted 1, the array first touched by the threads that sum it is read faster than one main filled; on "
      "one NUMA node expect 1.",
      "time ratio (log scale)", y_axis::ratio, "1", "no difference",
      per_setting(plan, [&](int setting) { return first_touch_lines(plan, measured, setting); }));
  for (effect_chart& chart : size_charts(plan, measured, machine)) charts.push_back(std::move(chart));
  return charts;
}

std::string draw_effect_charts(std::vector<effect_chart>& charts, const volatile std::sig_atomic_t* interrupted) {
  const std::string how =
      " (install gnuplot, e.g. apt-get install gnuplot-nox or ./install-deps, then write the page "
      "again with --from FILE.json --html PAGE.html)";
  for (effect_chart& chart : charts) {
    char path[] = "/tmp/sum_compare_page_chart_XXXXXX";
    const int fd = mkostemp(path, O_CLOEXEC);
    if (fd < 0) return std::string("the charts could not be drawn: ") + std::strerror(errno);
    const bool written =
        write(fd, chart.script.data(), chart.script.size()) == static_cast<ssize_t>(chart.script.size());
    close(fd);
    const child_result run =
        written ? run_child("gnuplot", {path}, current_environment(), {120, 16 << 20, 0.5, interrupted})
                : child_result{};
    unlink(path);
    if (!written) return "the charts could not be drawn: cannot write gnuplot's script" + how;
    if (run.failure == "interrupted") return "the charts were not drawn: interrupted while gnuplot drew them";
    const std::size_t start = run.out.find("<svg");
    if (run.exit_status != 0 || !run.failure.empty() || start == std::string::npos) {
      const std::string why = !run.failure.empty() ? run.failure
                              : run.err.empty()    ? std::string("gnuplot drew nothing")
                                                   : "gnuplot failed: " + run.err.substr(0, run.err.find('\n'));
      return "the charts could not be drawn: " + why + how;
    }
    chart.svg = run.out.substr(start);  // inline in the page: no XML declaration or doctype
  }
  return {};
}

}  // namespace omp_sums
