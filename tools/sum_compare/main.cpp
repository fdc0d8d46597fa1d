// sum_compare: runs the array-sum programs side by side over a range of team sizes, repeats
// every case, validates every run, and reports medians, spread and speed-ups, with optional
// CSV, JSON and a gnuplot chart. Plan, check the set-up, run, analyse, report; or report the
// runs of an earlier JSON again, compare two of them, or merge several machines' runs.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "tools/analysis/cache_levels.hpp"
#include "tools/analysis/comparison.hpp"
#include "tools/analysis/merge.hpp"
#include "tools/analysis/report.hpp"
#include "tools/catalog/suite_build.hpp"
#include "tools/catalog/text.hpp"
#include "tools/report/console.hpp"
#include "tools/report/exports.hpp"
#include "tools/report/json.hpp"
#include "tools/run/child_process.hpp"
#include "tools/run/clock_facts.hpp"
#include "tools/run/machine_facts.hpp"
#include "tools/run/machine_sweep.hpp"
#include "tools/run/planning.hpp"
#include "tools/run/region_runs.hpp"
#include "tools/run/run_facts.hpp"
#include "tools/run/runner.hpp"
#include "tools/run/topology.hpp"
#include "tools/sum_compare/options.hpp"
#include "tools/sum_compare/shared.hpp"

namespace omp_sums {

namespace {

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

// Everything that would make the runs useless, found before the first: a plan with no case,
// programs that cannot be run.
std::string check_programs(const run_plan& plan) {
  if (plan.cases.empty()) return "the plan has no case to run";
  for (const run_case& c : plan.cases) {
    std::string path = program_path(plan, c);
    const command_wanted* command = command_of(plan, c);
    // A command's first word without a slash is looked for in PATH, as a shell would.
    if (command != nullptr && path.find('/') == std::string::npos) path = in_path(path);
    struct stat file {};
    const bool runnable = stat(path.c_str(), &file) == 0 && S_ISREG(file.st_mode) && access(path.c_str(), X_OK) == 0;
    if (!runnable && command != nullptr) {
      return "--command " + command->name + " cannot run " + program_path(plan, c) + ": " +
             (S_ISDIR(file.st_mode) ? std::string("Is a directory") : std::strerror(errno));
    }
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

// How long one run of case C takes here on THREADS threads, on ELEMENTS (a command on its own
// size). -1 where it fails.
double probe_seconds(const run_plan& plan, const run_case& c, int threads, int elements,
                     const runner_settings& settings) {
  const run_case on_team{c.program, threads, c.setting};
  const std::vector<std::string> env = case_environment(plan, on_team, current_environment());
  const command_wanted* command = command_of(plan, c);
  const std::vector<std::string> arguments =
      command != nullptr ? program_arguments(plan, c) : std::vector<std::string>{std::to_string(elements)};
  const auto start = std::chrono::steady_clock::now();
  const child_result probe =
      run_child(program_path(plan, c), arguments, env, {plan.timeout_seconds, kOutputCap, 0.5, settings.interrupted});
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return probe.exit_status == (command != nullptr ? command->expect_exit : 0) && probe.failure.empty() ? seconds : -1;
}

// What a run of each of the plan's programs costs here, from probe runs: on one thread, as
// allocating and filling the array dominate its runs on any team; the calibration on the largest
// team. Each runs on the plan's largest array up to kProbeElements and, where that falls short of
// the largest, on one element too: the start-up, and the time per element between the two.
// The caller's commands are probed only when RUN_COMMANDS: a dry run runs none of them.
run_costs probe_costs(const run_plan& plan, const runner_settings& settings, bool run_commands) {
  std::map<std::string, const run_case*> probed;  // program -> the case to probe
  int largest = 1;
  for (const run_case& c : plan.cases) {
    const run_case*& probe = probed[std::string(c.program->name)];
    if (probe == nullptr || (c.program->role == program_role::calibration && c.threads > probe->threads)) probe = &c;
    largest = std::max(largest, elements_of(plan, c));
  }
  const int at = std::min(largest, kProbeElements);
  run_costs costs;
  for (const auto& [name, c] : probed) {
    if (!run_commands && command_of(plan, *c) != nullptr) {
      costs[name] = {-1, 0};
      continue;
    }
    const int threads = c->program->role == program_role::calibration ? c->threads : 1;
    const double seconds = probe_seconds(plan, *c, threads, at, settings);
    if (seconds < 0 || at == largest || command_of(plan, *c) != nullptr) {
      costs[name] = {seconds, 0};
      continue;
    }
    const double start_up = probe_seconds(plan, *c, threads, 1, settings);
    costs[name] = {start_up, start_up < 0 ? 0 : std::max(0.0, (seconds - start_up) / (at - 1))};
  }
  return costs;
}

// Each --size as the elements it stands for on MACHINE (the caches as measured). Returns an
// empty string, or why one cannot be had there.
std::string resolve_sizes(plan_request& asked, const machine_topology& machine) {
  for (array_size& size : asked.sizes) {
    if (std::string problem = resolve_size(size.name, machine, size); !problem.empty()) return problem;
  }
  return {};
}

bool names_a_cache(const plan_request& asked) {
  return std::any_of(asked.sizes.begin(), asked.sizes.end(), [](const array_size& size) {
    return std::find(std::begin(kSizeNames), std::end(kSizeNames), size.name) != std::end(kSizeNames);
  });
}

// Why the plan's largest array cannot be had in the memory AVAILABLE, or "".
std::string memory_refusal(const run_plan& plan, unsigned long long available) {
  const array_size* largest = &plan.sizes[0];
  for (const array_size& size : plan.sizes) {
    if (size.elements > largest->elements) largest = &size;
  }
  const unsigned long long bytes = 8ULL * static_cast<unsigned long long>(largest->elements);
  if (available == 0 || bytes <= available) return {};
  return printed(
      "the plan's largest array, %d elements (%s), does not fit in the %s of memory available now (the "
      "kernel's MemAvailable, within this process's cgroup limit); give --size a smaller count",
      largest->elements, size_text(bytes).c_str(), size_text(available).c_str());
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
  r.facts.clock.after = current_frequencies(r.machine.allowed);
  r.conditions.calibration_seconds = totals.calibration_seconds;
  r.conditions.complete = stop_signal == 0;
  r.conditions.failures = totals.failures;
}

// The runs under the region tool, after the timed ones: what the tool perturbs is never timed.
void run_regions(report& r, const runner_settings& settings) {
  const region_setup setup = find_region_setup(own_directory());
  if (!setup.problem.empty()) {
    r.regions_unavailable = setup.problem;
    return;
  }
  r.region_runs = run_region_rounds(r.plan, setup, r.plan.rounds - 1, settings);
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
  // What can be checked before anything runs is, on the plan before its sizes are resolved.
  r.plan = make_plan(asked, processors);
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

  // The caches that sizes are named after, measured: what the machine reports may be false.
  runner_settings settings{&stop_signal, {}};
  r.conditions.memory_available = memory_available();
  if (names_a_cache(asked)) {
    r.sweep = run_sweep(asked.builds[0].tool_dir + "/" + std::string(kCalibration.name),
                        sweep_bytes(r.machine, r.conditions.memory_available), processors, &stop_signal);
    r.caches = measure_caches(r.machine, r.sweep);
  }
  machine_topology sizing = as_measured(r.machine, r.caches);
  if (r.conditions.memory_available > 0) sizing.memory_bytes = r.conditions.memory_available;
  if (std::string problem = resolve_sizes(asked, sizing); !problem.empty()) return refuse(out, problem);
  r.plan = make_plan(asked, processors);
  if (std::string problem = memory_refusal(r.plan, r.conditions.memory_available); !problem.empty())
    return refuse(out, problem);
  if (std::string problem = unsaveable(r); !problem.empty()) {
    return refuse(out, "the run's JSON would break its schema at " + problem +
                           ": shorter or fewer --env, --command, --expect or --time-regex values");
  }

  const bool dry_run = options.mode == compare_mode::dry_run;
  const run_costs costs = probe_costs(r.plan, settings, !dry_run);
  r.conditions.commands_unprobed = dry_run && r.plan.commands && !r.plan.commands->empty();
  if (asked.budget_seconds > 0 && asked.sizes.size() == 1) {
    r.budget = fit_budget(asked, processors, costs, asked.budget_seconds,
                          std::min(asked.sizes[0].elements, least_beyond_caches(sizing)));
    r.plan = make_plan(asked, processors);
  }
  r.conditions.estimated_seconds = estimated_seconds(r.plan, costs);
  r.facts.clock = read_clock_facts(r.machine.allowed);
  say(console_header(r, console_width()));
  if (dry_run) {
    if (const int error = flush_standard_output(); error != 0) {
      complain(std::string("cannot write standard output: ") + std::strerror(error));
      return 1;
    }
    return 0;
  }
  std::fflush(stdout);
  run_measurements(r, settings, out);
  if (options.regions && stop_signal == 0) run_regions(r, settings);
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

}  // namespace omp_sums

using namespace omp_sums;

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
