#include "tools/report/chart.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string_view>

#include "tools/analysis/sentences.hpp"
#include "tools/catalog/programs.hpp"
#include "tools/catalog/text.hpp"
#include "tools/report/palette.hpp"
#include "tools/report/text_formats.hpp"
#include "tools/run/child_process.hpp"
#include "tools/run/machine_facts.hpp"

namespace omp_sums {

namespace {

// gnuplot's chart is read whole; far above any chart of this script.
constexpr std::size_t kChartCap = 64 << 20;

// Blocks two blank lines apart, each a quoted title line and rows. First one row "P F R B T": how
// many program, floor, ratio, bandwidth and time-by-size blocks follow. Then, for every setting,
// one block per program ("threads speed-up ns/elem min-ns/elem max-ns/elem linetype"); then the
// in-order floor of each setting ("threads speed-up linetype"); then packed over padded of each
// setting ("threads ratio low high linetype"). Over several sizes, for the settings that differ
// by size alone: the read bandwidth of each team size ("bytes GB/s linetype"), then each
// program's time per element on the largest team ("bytes ns/elem linetype"). The linetype is
// the program's (the floor's: the reduction's; the ratio's: the packed slots'; a team size's:
// one after the programs'), as gnuplot_linetypes() sets them. NaN marks what was not measured.
// A figure for the chart: NaN (not drawn) where a median of 0 s left it undefined.
double drawn(double value) { return std::isfinite(value) ? value : NAN; }

}  // namespace

std::string chart_data(const run_plan& plan, const figures& measured) {
  std::string blocks;
  int counts[5] = {0, 0, 0, 0, 0};
  const auto block = [&](int kind, const std::string& title, const std::string& rows) {
    // A data file's string ends at a quote or a line: neither may come from the title.
    std::string safe = terminal_text(title);
    for (char& c : safe) c = c == '"' || c == '\n' || c == '\t' ? '\'' : c;
    blocks += "\n\n\"" + safe + "\"\n" + (rows.empty() ? "1 NaN NaN NaN NaN 1\n" : rows);
    ++counts[kind];
  };
  const auto titled = [&](const std::string& name, int setting) {
    const std::string label = setting_label(plan.settings[static_cast<std::size_t>(setting)]);
    return label.empty() ? name : name + " [" + label + "]";
  };
  const int settings = static_cast<int>(plan.settings.size());
  for (int setting = 0; setting < settings; ++setting) {
    const std::vector<const program_description*> programs = compared_programs(plan);
    for (std::size_t place = 0; place < programs.size(); ++place) {
      const program_description& program = *programs[place];
      std::string rows;
      for (const case_stats& c : measured.cases) {
        if (c.c.program != &program || c.c.setting != setting) continue;
        // ns per element only where the element count is known (a command's elements= line).
        const double per_element = c.elements > 0 ? 1e9 * c.c.threads / static_cast<double>(c.elements) : NAN;
        rows += printed("%d %.9g %.9g %.9g %.9g %zu\n", c.c.threads, c.speedup >= 0 ? c.speedup : NAN,
                        c.ns_per_element_per_thread >= 0 ? c.ns_per_element_per_thread : NAN, c.wall.min * per_element,
                        c.wall.max * per_element, place + 1);
      }
      if (!rows.empty()) block(0, titled(std::string(program.name), setting), rows);
    }
  }
  for (int setting = 0; setting < settings; ++setting) {
    std::string rows;
    const floor_stats* one = measured_floor(measured.floors, floor_kind::inorder_streams, 1, setting);
    for (const floor_stats& f : measured.floors) {
      if (f.kind == floor_kind::inorder_streams && f.setting == setting && one != nullptr) {
        rows += printed("%d %.9g %td\n", f.threads, drawn(one->median / f.median),
                        &program_with(program_role::reduction) - kPrograms + 1);
      }
    }
    block(1, titled("in-order floor", setting), rows);
  }
  for (int setting = 0; setting < settings; ++setting) {
    std::string rows;
    for (int threads : plan.threads) {
      const case_stats* packed = find_case(measured.cases, program_role::packed_slots, threads, setting);
      const case_stats* padded = find_case(measured.cases, program_role::padded_slots, threads, setting);
      if (packed == nullptr || padded == nullptr) continue;
      const interval ci = ratio_interval(packed->walls, padded->walls);
      rows += printed("%d %.9g %.9g %.9g %td\n", threads, drawn(packed->wall.median / padded->wall.median),
                      drawn(ci.low), drawn(ci.high), packed->c.program - kPrograms + 1);
    }
    if (!rows.empty()) block(2, titled("packed / padded", setting), rows);  // no panel without both slot programs
  }
  const std::vector<const program_description*> programs = compared_programs(plan);
  for (const std::vector<int>& group : plan.sizes.size() > 1 ? size_groups(plan) : std::vector<std::vector<int>>{}) {
    const std::string label = group_label(plan, group);
    std::vector<int> sized = group;
    std::stable_sort(sized.begin(), sized.end(),
                     [&](int a, int b) { return elements_under(plan, a) < elements_under(plan, b); });
    for (std::size_t k = 0; k < plan.threads.size(); ++k) {
      std::string rows;
      for (int setting : sized) {
        const floor_stats* f = measured_floor(measured.floors, floor_kind::read_bandwidth, plan.threads[k], setting);
        if (f != nullptr)
          rows += printed("%.9g %.9g %zu\n", 8.0 * elements_under(plan, setting), f->median, programs.size() + k + 1);
      }
      if (!rows.empty()) block(3, threads_text(plan.threads[k]) + (label.empty() ? "" : " [" + label + "]"), rows);
    }
    for (std::size_t place = 0; place < programs.size(); ++place) {
      std::string rows;
      for (int setting : sized) {
        const case_stats* c = find_case(measured.cases, *programs[place], plan.threads.back(), setting);
        if (c != nullptr && c->ns_per_element_per_thread >= 0)
          rows +=
              printed("%.9g %.9g %zu\n", 8.0 * elements_under(plan, setting), c->ns_per_element_per_thread, place + 1);
      }
      if (!rows.empty()) block(4, std::string(programs[place]->name) + (label.empty() ? "" : " [" + label + "]"), rows);
    }
  }
  return printed("\"blocks\"\n%d %d %d %d %d\n", counts[0], counts[1], counts[2], counts[3], counts[4]) + blocks;
}

namespace {

// gnuplot's variables of the caches' marks on the size panels: cache_marks of them, each
// cache_mark_K bytes with its label cache_label_K (each level's smallest cache).
std::string cache_mark_variables(const machine_topology& machine) {
  std::map<int, const cache_group*> smallest;
  for (const cache_group& cache : machine.caches) {
    const cache_group*& kept = smallest[cache.level];
    if (kept == nullptr || cache.bytes < kept->bytes) kept = &cache;
  }
  std::string variables = printed("cache_marks = %zu; ", smallest.size());
  int k = 0;
  for (const auto& [level, cache] : smallest) {
    ++k;
    variables +=
        printed("cache_mark_%d = %llu.0; cache_label_%d = ", k, cache->bytes, k) +
        gnuplot_string(printed("L%d%s %s", level, cache->kind == 'd' ? "d" : "", size_text(cache->bytes).c_str())) +
        "; ";
  }
  return variables;
}

// The chart script, where the build tree and an installation both put it.
std::string chart_script() { return own_directory() + "/" SUITE_CHART_SCRIPT; }

}  // namespace

std::string gnuplot_problem() {
  if (access(chart_script().c_str(), R_OK) != 0) {
    return "--plot needs the chart script " + chart_script() + ": " + std::strerror(errno) +
           " (build or install the suite whole)";
  }
  const child_result run = run_child("gnuplot", {"--version"}, current_environment(), {10, 1 << 16});
  if (run.exit_status == 0) return {};
  const std::string why = run.failure.empty() ? run.err : run.failure;
  return "--plot needs gnuplot, which cannot be run here (" + why.substr(0, why.find('\n')) +
         "); install it with: apt-get install gnuplot-nox";
}

std::string as_chart(const report& r, writing& how) {
  const std::string format = how.path.substr(how.path.size() - 3);
  const auto fails = [&](std::string problem) {
    how.problem = std::move(problem);
    return std::string();
  };
  if (r.measured.cases.empty()) return fails("no valid case to draw in the chart");
  if (!how.draw_charts) return fails("the chart was not drawn: asked to draw none");
  const std::string data = chart_data(r.plan, r.measured);
  char data_path[] = "/tmp/sum_compare_chart_XXXXXX";
  const int fd = mkostemp(data_path, O_CLOEXEC);
  if (fd < 0) return fails(std::string("cannot write the chart's data: ") + std::strerror(errno));
  const ssize_t written = write(fd, data.data(), data.size());
  const std::string write_error = written < 0 ? std::strerror(errno) : "short write";
  close(fd);
  if (written != static_cast<ssize_t>(data.size())) {
    unlink(data_path);
    return fails("cannot write the chart's data: " + write_error);
  }
  // gnuplot draws to its standard output: every byte of the chart is then written, and any
  // failure seen, by sum_compare itself.
  child_result run;
  try {
    run = run_child(
        "gnuplot",
        {"-e",
         gnuplot_linetypes(compared_programs(r.plan).size() + r.plan.threads.size()) + cache_mark_variables(r.machine),
         "-c", chart_script(), "chart." + format, data_path, "stdout"},
        current_environment(), {120, kChartCap, 0.5, how.interrupted});
  } catch (...) {
    unlink(data_path);
    throw;
  }
  unlink(data_path);
  if (run.failure == "interrupted") return fails("the chart was not drawn: interrupted while gnuplot drew it");
  if (run.exit_status != 0 || !run.failure.empty() || run.out.empty()) {
    return fails("gnuplot failed: " + (run.failure.empty() ? run.err : run.failure));
  }
  return run.out;
}

}  // namespace omp_sums
