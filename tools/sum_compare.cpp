// sum_compare: runs the array-sum programs side by side over a range of team sizes, repeats
// every case, validates every run, and reports medians, spread and speed-ups, with optional
// CSV, JSON and a gnuplot chart. Plan, check the set-up, run, aggregate, report.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/aggregate.hpp"
#include "tools/chart.hpp"
#include "tools/compare_options.hpp"
#include "tools/compare_report.hpp"
#include "tools/headlines.hpp"
#include "tools/machine_facts.hpp"
#include "tools/output_files.hpp"
#include "tools/run_plan.hpp"
#include "tools/runner.hpp"
#include "tools/topology.hpp"

namespace {

volatile std::sig_atomic_t stop_signal = 0;

void note_stop_signal(int signal_number) { stop_signal = signal_number; }

// SIGINT, SIGTERM, SIGHUP (a closed terminal) and SIGQUIT stop the running program and end the
// plan early; a closed standard output is a write error to report, not a reason to die with the
// runs unsaved.
void catch_stop_signals() {
  struct sigaction action {};
  action.sa_handler = note_stop_signal;
  sigemptyset(&action.sa_mask);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaction(signal_number, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

struct outputs {
  staged_file csv;
  staged_file json;
  staged_file chart;
};

void discard_outputs(outputs& out) {
  for (staged_file* file : {&out.csv, &out.json, &out.chart}) discard_staged(*file);
}

// Everything that would make the runs useless, found before the first: a plan too large or with
// no case, programs that cannot be run, output paths that clash or cannot be written, no gnuplot
// for a chart.
std::string check_set_up(const run_plan& plan, const runner_settings& settings, const compare_options& options,
                         outputs& out) {
  if (plan.cases.empty()) return "the plan has no case to run";
  for (const run_case& c : plan.cases) {
    const std::string path = (c.program == &kCalibration ? settings.tool_dir : settings.bin) + "/" + std::string(c.program->name);
    struct stat file {};
    const bool runnable = stat(path.c_str(), &file) == 0 && S_ISREG(file.st_mode) && access(path.c_str(), X_OK) == 0;
    if (!runnable) {
      return "cannot run " + path + ": " + (S_ISDIR(file.st_mode) ? std::string("Is a directory") : std::strerror(errno)) +
             " (build the suite, or give --bin the directory of its programs)";
    }
  }
  const std::pair<const char*, const std::string*> paths[] = {
      {"--csv", &options.csv_path}, {"--json", &options.json_path}, {"--plot", &options.plot_path}};
  for (std::size_t a = 0; a < std::size(paths); ++a) {
    for (std::size_t b = a + 1; b < std::size(paths); ++b) {
      if (!paths[a].second->empty() && !paths[b].second->empty() && same_file(*paths[a].second, *paths[b].second)) {
        return std::string(paths[a].first) + " and " + paths[b].first + " name the same file, " + *paths[a].second;
      }
    }
  }
  if (!options.plot_path.empty()) {
    if (std::string problem = gnuplot_problem(); !problem.empty()) return problem;
  }
  for (auto [file, path] : {std::pair{&out.csv, &options.csv_path}, {&out.json, &options.json_path}, {&out.chart, &options.plot_path}}) {
    if (path->empty()) continue;
    if (std::string problem = open_staged(*path, *file); !problem.empty()) return problem;
  }
  return {};
}

// Writes the JSON and the chart and puts every file in place; returns what went wrong.
std::vector<std::string> finish_outputs(outputs& out, const run_plan& plan, const std::vector<run_record>& records,
                                        const figures& measured, const std::vector<headline>& said,
                                        const run_conditions& conditions, const machine_topology& machine) {
  std::vector<std::string> problems;
  if (out.json.fd >= 0) write_staged(out.json, json_document(plan, records, measured, said, conditions, machine));
  if (out.chart.fd >= 0) {
    std::string image;
    const std::string format = out.chart.path.substr(out.chart.path.size() - 3);
    if (std::string problem = draw_chart(format, plan, measured, &stop_signal, image); problem.empty()) {
      write_staged(out.chart, image);
    } else {
      discard_staged(out.chart);
      problems.push_back(problem);
    }
  }
  for (staged_file* file : {&out.csv, &out.json, &out.chart}) {
    if (file->fd < 0) continue;
    if (std::string problem = commit_staged(*file); !problem.empty()) problems.push_back(problem);
  }
  return problems;
}

}  // namespace

int main(int argc, char** argv) {
  compare_options options;
  if (const std::optional<int> status = parse_compare_options(argc, argv, options)) return *status;
  const machine_topology machine = read_topology();
  const int processors = static_cast<int>(machine.allowed.size());
  if (const long long runs = planned_run_count(options, processors); runs > kMostRuns) {
    std::fprintf(stderr, "sum_compare: the plan has %lld runs, more than the %lld it runs at once; fewer --env "
                 "values, team sizes or --repeat\n", runs, kMostRuns);
    return 2;
  }
  const run_plan plan = make_plan(options, processors);
  runner_settings settings{options.bin_dir.empty() ? own_directory() : options.bin_dir, own_directory(), &stop_signal,
                           {}};
  outputs out;
  if (const std::string problem = check_set_up(plan, settings, options, out); !problem.empty()) {
    discard_outputs(out);
    std::fprintf(stderr, "sum_compare: %s\n", problem.c_str());
    return 2;
  }
  catch_stop_signals();
  adopt_orphans();

  run_conditions conditions;
  conditions.load_before = load_average();
  print_header(plan, settings.bin, conditions.load_before, machine);
  if (options.dry_run) {
    discard_outputs(out);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  std::fflush(stdout);
  write_staged(out.csv, csv_header());
  settings.on_run = [&](const run_record& record) { write_staged(out.csv, csv_rows(plan, record)); };
  run_totals totals;
  const cpu_time before = cpu_time_so_far();
  const auto start = std::chrono::steady_clock::now();
  const std::vector<run_record> records = run_plan_rounds(plan, settings, totals);
  conditions.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  conditions.steal_percent = steal_percent(before, cpu_time_so_far());
  conditions.calibration_seconds = totals.calibration_seconds;
  conditions.complete = stop_signal == 0;
  const int failures = totals.failures;

  const figures measured = aggregate(plan, records, machine);
  const std::vector<headline> said = headlines(plan, measured, processors, allowed_numa_nodes(machine));
  print_tables(plan, measured);
  print_warnings(plan, records, measured, machine);
  print_headlines(said);
  print_conditions(conditions);
  if (stop_signal != 0) {
    std::printf("Interrupted by %s after %zu of %lld measured runs: the figures above are of those.\n",
                sigabbrev_np(stop_signal), records.size(), planned_runs(plan) - static_cast<long long>(plan.cases.size()));
  }
  if (failures > 0) std::printf("%d run%s failed: see standard error.\n", failures, failures == 1 ? "" : "s");

  // Flushed before gnuplot runs, so that its time does not hold back what is printed.
  errno = 0;
  const int stdout_error = std::fflush(stdout) != 0 || std::ferror(stdout) != 0 ? (errno != 0 ? errno : EIO) : 0;
  std::vector<std::string> problems = finish_outputs(out, plan, records, measured, said, conditions, machine);
  if (stdout_error != 0) problems.push_back(std::string("cannot write standard output: ") + std::strerror(stdout_error));
  for (const std::string& problem : problems) std::fprintf(stderr, "sum_compare: %s\n", problem.c_str());
  if (stop_signal != 0) return 128 + stop_signal;
  return failures == 0 && problems.empty() ? 0 : 1;
}
