// sum_compare: runs the array-sum programs side by side over a range of team sizes, repeats
// every case, validates every run, and reports medians, spread and speed-ups, with optional
// CSV, JSON and a gnuplot chart. Plan, check the set-up, run, analyse, report; or report the
// runs of an earlier JSON again, compare two of them, or merge several machines' runs.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "tools/analysis/comparison.hpp"
#include "tools/analysis/merge.hpp"
#include "tools/analysis/report.hpp"
#include "tools/catalog/suite_build.hpp"
#include "tools/catalog/text.hpp"
#include "tools/report/console.hpp"
#include "tools/report/exports.hpp"
#include "tools/report/json.hpp"
#include "tools/run/child_process.hpp"
#include "tools/run/machine_facts.hpp"
#include "tools/run/planning.hpp"
#include "tools/run/run_facts.hpp"
#include "tools/run/runner.hpp"
#include "tools/run/topology.hpp"
#include "tools/sum_compare/options.hpp"

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

// A closed standard stream would be the next descriptor opened: an output file would take the
// console's text. /dev/null holds its place instead.
void hold_standard_descriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    const int null = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != fd) {
      dup2(null, fd);
      close(null);
    }
  }
}

void complain(const std::string& problem) {
  std::fputs(terminal_line("sum_compare: " + problem).append("\n").c_str(), stderr);
}

// Everything that would make the runs useless, found before the first: a plan with no case,
// programs that cannot be run.
std::string check_programs(const run_plan& plan) {
  if (plan.cases.empty()) return "the plan has no case to run";
  for (const run_case& c : plan.cases) {
    const std::string path = program_path(plan, c);
    struct stat file {};
    const bool runnable = stat(path.c_str(), &file) == 0 && S_ISREG(file.st_mode) && access(path.c_str(), X_OK) == 0;
    if (!runnable) {
      return "cannot run " + path + ": " +
             (S_ISDIR(file.st_mode) ? std::string("Is a directory") : std::strerror(errno)) +
             (plan.builds.size() > 1 || !plan.builds[0].name.empty()
                  ? " (build the suite into each --build directory)"
                  : " (build the suite, or give --bin the directory of its programs)");
    }
  }
  return {};
}

// The caller's runtime settings reach the header, the page and the JSON: none may hold a
// control character, as no --env value may.
std::string check_runtime_settings(const run_facts& facts) {
  for (const std::string& setting : facts.runtime_settings) {
    if (has_control_character(setting)) {
      return "the runtime setting " + setting.substr(0, setting.find('=')) +
             " holds a control character (a line break, a tab, an escape)";
    }
  }
  return {};
}

// How long one run of the plan's size takes here: one run of its first program on one thread,
// which allocates and fills the array as every run does. -1 where it fails.
double probe_seconds(const run_plan& plan, const runner_settings& settings) {
  const run_case& first = plan.cases.at(plan.cases.size() > 1 ? 1 : 0);  // past the calibration
  std::vector<std::string> env = current_environment();
  set_variable(env, "OMP_NUM_THREADS", "1");
  const auto start = std::chrono::steady_clock::now();
  const child_result probe = run_child(program_path(plan, first), {std::to_string(plan.size)}, env,
                                       {plan.timeout_seconds, kOutputCap, 0.5, settings.interrupted});
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return probe.exit_status == 0 && probe.failure.empty() ? seconds : -1;
}

// Runs the plan, each run exported as it finishes; how the runs went goes to r.conditions.
void run_measurements(report& r, runner_settings& settings, exports& out) {
  settings.on_run = [&](const run_record& record) { export_run(out, r.plan, record); };
  run_totals totals;
  const cpu_time before = cpu_time_so_far();
  const auto start = std::chrono::steady_clock::now();
  r.records = run_plan_rounds(r.plan, settings, totals);
  r.conditions.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.conditions.steal_percent = steal_percent(before, cpu_time_so_far());
  r.conditions.calibration_seconds = totals.calibration_seconds;
  r.conditions.complete = stop_signal == 0;
  r.conditions.failures = totals.failures;
}

// Flushed, and how standard output went: 0, or the errno of its first failed write.
int flush_standard_output() {
  errno = 0;
  return std::fflush(stdout) != 0 || std::ferror(stdout) != 0 ? (errno != 0 ? errno : EIO) : 0;
}

// The tables, warnings and headlines, then the files; returns the exit status.
int print_and_export(report& r, exports& out) {
  analyse(r);
  say(as_console(r));
  if (stop_signal != 0) {
    std::printf("Interrupted by %s after %zu of %lld measured runs: the figures above are of those.\n",
                sigabbrev_np(stop_signal), r.records.size(),
                planned_runs(r.plan) - static_cast<long long>(r.plan.cases.size()));
  }
  const int failures = r.conditions.failures;
  if (failures > 0) {
    std::printf("%d run%s failed: %s.\n", failures, failures == 1 ? "" : "s",
                r.saved ? "their problems are in the saved runs" : "see standard error");
  }

  // Flushed before gnuplot runs, so that its time does not hold back what is printed.
  const int stdout_error = flush_standard_output();
  std::vector<std::string> problems = finish_exports(out, r, &stop_signal);
  if (stdout_error != 0)
    problems.push_back(std::string("cannot write standard output: ") + std::strerror(stdout_error));
  for (const std::string& problem : problems) complain(problem);
  if (stop_signal != 0) return 128 + stop_signal;
  return (failures == 0 || r.saved) && problems.empty() ? 0 : 1;
}

int refuse(exports& out, const std::string& problem) {
  discard_exports(out);
  complain(problem);
  return 2;
}

// The saved runs that the options name, each as an input no output may replace.
std::vector<input_file> saved_inputs(const compare_options& options) {
  std::vector<input_file> inputs;
  if (!options.from_path.empty()) inputs.push_back({"--from reads", options.from_path});
  for (const std::string& path : options.compare_paths) inputs.push_back({"--compare reads", path});
  for (const std::string& path : options.merge_paths) inputs.push_back({"--merge reads", path});
  return inputs;
}

// --from: the saved runs reported as when they ran.
int report_saved(const compare_options& options) {
  exports out;
  report r;
  if (std::string problem = open_exports(options.outputs, saved_inputs(options), out); !problem.empty())
    return refuse(out, problem);
  if (std::string problem = read_saved_report(options.from_path, r); !problem.empty()) return refuse(out, problem);
  r.saved = true;
  catch_stop_signals();
  say(console_header(r));
  for (const run_record& record : r.records) export_run(out, r.plan, record);
  return print_and_export(r, out);
}

// The files of a comparison or a merge put in place, standard output flushed; the exit status.
template <typename Summary>
int finish_summary(exports& out, const Summary& summary) {
  const int stdout_error = flush_standard_output();
  std::vector<std::string> problems = finish_exports(out, summary);
  if (stdout_error != 0)
    problems.push_back(std::string("cannot write standard output: ") + std::strerror(stdout_error));
  for (const std::string& problem : problems) complain(problem);
  return problems.empty() ? 0 : 1;
}

// --compare: two saved runs side by side.
int compare_saved(const compare_options& options) {
  exports out;
  if (std::string problem = open_exports(options.outputs, saved_inputs(options), out); !problem.empty())
    return refuse(out, problem);
  report base;
  report now;
  for (auto [path, r] : {std::pair{&options.compare_paths[0], &base}, {&options.compare_paths[1], &now}}) {
    if (std::string problem = read_saved_report(*path, *r); !problem.empty()) return refuse(out, problem);
    analyse(*r);
  }
  const comparison compared = compare_reports(options.compare_paths[0], options.compare_paths[1], base, now);
  say(as_console(compared));
  int status = finish_summary(out, compared);
  if (options.fail_if_slower >= 0) {
    for (const compared_figure* figure : slower_than(compared.compared, options.fail_if_slower)) {
      complain(printed("%s is %.1f%% slower [%.1f%%, %.1f%%], more than --fail-if-slower %g%%", figure->name.c_str(),
                       100 * (figure->ratio - 1), 100 * (figure->ci.low - 1), 100 * (figure->ci.high - 1),
                       100 * options.fail_if_slower));
      status = 1;
    }
  }
  return status;
}

// --merge: the saved runs of several machines side by side, the slow ones flagged.
int merge_saved(const compare_options& options) {
  exports out;
  if (std::string problem = open_exports(options.outputs, saved_inputs(options), out); !problem.empty())
    return refuse(out, problem);
  std::vector<report> runs(options.merge_paths.size());
  for (std::size_t k = 0; k < runs.size(); ++k) {
    if (std::string problem = read_saved_report(options.merge_paths[k], runs[k]); !problem.empty())
      return refuse(out, problem);
    analyse(runs[k]);
  }
  if (std::string problem = merge_refusal(options.merge_paths, runs); !problem.empty()) return refuse(out, problem);
  const merged_runs merged = merge_runs(options.merge_paths, runs);
  say(as_console(merged));
  return finish_summary(out, merged);
}

// A run of the plan, or with --dry-run its header alone.
int run_and_report(compare_options& options) {
  exports out;
  report r;
  r.machine = read_topology();
  const int processors = static_cast<int>(r.machine.allowed.size());
  plan_request& asked = options.plan;
  if (std::string problem = plan_refusal(asked, processors); !problem.empty()) {
    return refuse(out, problem + "; fewer --env values, builds, team sizes or --repeat");
  }
  if (asked.builds.empty())
    asked.builds.push_back({"", asked.bin_dir.empty() ? own_directory() : asked.bin_dir, own_directory()});
  r.plan = make_plan(asked, processors);
  runner_settings settings{&stop_signal, {}};
  r.facts = facts_of_this_run(r.plan);
  std::vector<input_file> inputs;
  for (const build_location& build : r.plan.builds) {
    inputs.push_back(
        {"sum_compare reads as the facts of " + (build.name.empty() ? std::string("the build") : "build " + build.name),
         build.bin + "/" + std::string(kBuildFactsFile)});
  }
  if (std::string problem = check_runtime_settings(r.facts); !problem.empty()) return refuse(out, problem);
  if (std::string problem = check_programs(r.plan); !problem.empty()) return refuse(out, problem);
  if (std::string problem = open_exports(options.outputs, inputs, out); !problem.empty()) return refuse(out, problem);
  catch_stop_signals();
  adopt_orphans();

  r.conditions.load_before = load_average();
  r.conditions.estimated_seconds = estimated_seconds(r.plan, probe_seconds(r.plan, settings));
  say(console_header(r));
  if (options.mode == compare_mode::dry_run) {
    if (const int error = flush_standard_output(); error != 0) {
      complain(std::string("cannot write standard output: ") + std::strerror(error));
      return 1;
    }
    return 0;
  }
  std::fflush(stdout);
  run_measurements(r, settings, out);
  return print_and_export(r, out);
}

int sum_compare(int argc, char** argv) {
  compare_options options;
  if (const std::optional<int> status = parse_compare_options(argc, argv, options)) return *status;
  switch (options.mode) {
    case compare_mode::from: return report_saved(options);
    case compare_mode::compare: return compare_saved(options);
    case compare_mode::merge: return merge_saved(options);
    case compare_mode::run:
    case compare_mode::dry_run: return run_and_report(options);
  }
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  hold_standard_descriptors();
  // Whatever fails unforeseen ends sum_compare with a line and status 1; the files' temporaries
  // go as the stack unwinds, and the programs die with it.
  try {
    return sum_compare(argc, argv);
  } catch (const std::bad_alloc&) {
    complain("out of memory");
  } catch (const std::exception& error) {
    complain(std::string("stopped by an unexpected fault: ") + error.what());
  }
  return 1;
}
