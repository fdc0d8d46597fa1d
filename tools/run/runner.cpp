#include "tools/run/runner.hpp"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "tools/analysis/statistics.hpp"
#include "tools/catalog/text.hpp"
#include "tools/run/child_process.hpp"
#include "tools/run/command_output.hpp"
#include "tools/run/machine_facts.hpp"
#include "tools/run/planning.hpp"
#include "tools/run/program_output.hpp"

namespace omp_sums {

namespace {

// Past the planned rounds, --precision wants another while a case's median interval is wider
// than asked and another round, as long as the last, still ends within --max-time.
bool more_rounds_wanted(const run_plan& plan, const std::vector<run_record>& records,
                        std::chrono::steady_clock::time_point started, std::chrono::steady_clock::duration last_round) {
  if (plan.precision <= 0) return false;
  // A tenth more than the last round leaves the report its moment within the time too.
  if (std::chrono::steady_clock::now() - started + last_round * 11 / 10 > std::chrono::seconds(plan.max_seconds)) {
    return false;
  }
  for (const run_case& c : plan.cases) {
    if (c.program->role == program_role::calibration) continue;
    std::vector<double> walls;
    for (const run_record& r : records) {
      if (same_case(r.c, c) && r.reading.problem.empty()) walls.push_back(r.reading.seconds);
    }
    if (!median_within(walls, plan.precision)) return true;
  }
  return false;
}

std::string minutes_and_seconds(double seconds) {
  const long long whole = std::llround(seconds);
  return printed("%lld:%02lld", whole / 60, whole % 60);
}

}  // namespace

std::vector<std::string> case_environment(const run_plan& plan, const run_case& c,
                                          const std::vector<std::string>& caller_env) {
  std::vector<std::string> env = caller_env;
  set_variable(env, "OMP_NUM_THREADS", std::to_string(c.threads));
  // A command's runtime says where each thread runs; --env may still set either variable. The
  // size's elements are the command's to read: its line is its own.
  if (command_of(plan, c) != nullptr) {
    set_variable(env, "OMP_DISPLAY_AFFINITY", "TRUE");
    set_variable(env, "OMP_AFFINITY_FORMAT", kAffinityFormat);
    set_variable(env, kElementsVariable, std::to_string(elements_of(plan, c)));
  }
  for (const auto& [variable, value] : plan.settings[static_cast<std::size_t>(c.setting)].env)
    set_variable(env, variable, value);
  return env;
}

std::string progress_line(long long done, long long total, double elapsed, const std::string& running,
                          std::size_t width) {
  const long long finished = done - 1;
  const std::string rest = finished > 0 ? minutes_and_seconds(elapsed / finished * (total - finished)) : "-";
  std::string line =
      printed("run %lld of %lld, %s, ETA %s: ", done, total, minutes_and_seconds(elapsed).c_str(), rest.c_str()) +
      terminal_line(running);
  // One column short of the width, so that the terminal never wraps it.
  if (width > 1 && line.size() > width - 1) line.resize(width - 1);
  return line;
}

std::vector<run_record> run_plan_rounds(const run_plan& plan, const runner_settings& settings, run_totals& totals) {
  const bool progress = isatty(STDERR_FILENO) != 0;
  const std::size_t width = terminal_columns(STDERR_FILENO, 80);
  const long long total = planned_runs(plan);
  const run_limits limits{plan.timeout_seconds, kOutputCap, 0.5, settings.interrupted};
  const std::vector<std::string> caller_env = current_environment();
  // The bound of every processor number a command's affinity line may name.
  const int processors_configured = static_cast<int>(std::max(sysconf(_SC_NPROCESSORS_CONF), 1L));
  std::vector<run_record> records;
  long long done = 0;
  const auto started = std::chrono::steady_clock::now();
  auto round_started = started;
  std::chrono::steady_clock::duration last_round{};
  // --precision adds rounds, but never past kMostRunsPerCase measured ones.
  for (int round = 0;
       round < plan.rounds || (round <= kMostRunsPerCase && more_rounds_wanted(plan, records, started, last_round));
       ++round) {
    for (const run_case& c : plan.cases) {
      ++done;
      if (progress) {
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        // Erased to the end before each redraw, so that no longer line leaves its tail.
        std::fputs(
            ("\r" + progress_line(done, std::max(total, done), elapsed, case_name(plan, c), width) + "\x1b[K").c_str(),
            stderr);
        std::fflush(stderr);
      }
      const std::vector<std::string> env = case_environment(plan, c, caller_env);
      const auto start = std::chrono::steady_clock::now();
      child_result result = run_child(program_path(plan, c), program_arguments(plan, c), env, limits);
      const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (c.program->role == program_role::calibration) totals.calibration_seconds += elapsed;
      if (result.failure == "interrupted") {
        if (progress) std::fputc('\n', stderr);
        return records;
      }
      const command_wanted* command = command_of(plan, c);
      program_run reading =
          command != nullptr ? read_command_run(*command, c.threads, result, elapsed, {processors_configured, 1.0 * plan.timeout_seconds})
                             : read_run(*c.program, elements_of(plan, c), c.threads, result);
      // A problem quotes the run's output: what a record keeps of it is bounded as its output is.
      reading.problem = kept_line(reading.problem, kKeptProblem);
      // The runtime's affinity lines are the placement, not something the command wrote.
      std::map<int, std::vector<int>> places;
      if (command != nullptr) result.err = without_affinity_lines(result.err, places, c.threads, processors_configured);
      if (!reading.problem.empty()) {
        ++totals.failures;
        if (progress) std::fputc('\n', stderr);
        std::fputs((terminal_line(printed("FAILED: %s (run %d): %s", case_name(plan, c).c_str(), round,
                                          reading.problem.c_str())) +
                    "\n--- its output ---\n" + terminal_text(excerpt(result.out)) + "--- its standard error ---\n" +
                    terminal_text(excerpt(result.err)) + "---\n")
                       .c_str(),
                   stderr);
      }
      if (!result.left_behind.empty()) {
        if (progress) std::fputc('\n', stderr);
        std::string pids;
        for (int pid : result.left_behind) pids += (pids.empty() ? "" : ", ") + std::to_string(pid);
        std::fputs(
            (terminal_line(printed("Warning: %s (run %d) left processes running outside its process group; "
                                   "sum_compare stopped them: pid %s",
                                   case_name(plan, c).c_str(), round, pids.c_str())) +
             "\n")
                .c_str(),
            stderr);
      }
      if (round == 0) continue;  // the warm-up
      records.push_back({c, round, reading, kept_start(result.err, kKeptStandardError)});
      if (settings.on_run) settings.on_run(records.back());
    }
    last_round = std::chrono::steady_clock::now() - round_started;
    round_started = std::chrono::steady_clock::now();
  }
  if (progress) std::fputs("\r\x1b[K", stderr);
  return records;
}

}  // namespace omp_sums
