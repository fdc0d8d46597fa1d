#include "tools/run/runner.hpp"

#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "tools/analysis/statistics.hpp"
#include "tools/catalog/text.hpp"
#include "tools/run/child_process.hpp"
#include "tools/run/planning.hpp"
#include "tools/run/program_output.hpp"

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

}  // namespace

std::vector<run_record> run_plan_rounds(const run_plan& plan, const runner_settings& settings, run_totals& totals) {
  const bool progress = isatty(STDERR_FILENO) != 0;
  const long long total = planned_runs(plan);
  const run_limits limits{plan.timeout_seconds, kOutputCap, 0.5, settings.interrupted};
  const std::vector<std::string> caller_env = current_environment();
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
        std::fputs(("\rrun " + printed("%lld of %lld: ", done, std::max(total, done)) +
                    terminal_line(case_name(plan, c)) + "   ")
                       .c_str(),
                   stderr);
      }
      std::vector<std::string> env = caller_env;
      set_variable(env, "OMP_NUM_THREADS", std::to_string(c.threads));
      for (const auto& [variable, value] : plan.settings[static_cast<std::size_t>(c.setting)].env)
        set_variable(env, variable, value);
      const auto start = std::chrono::steady_clock::now();
      const child_result result = run_child(program_path(plan, c), {std::to_string(plan.size)}, env, limits);
      const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (c.program->role == program_role::calibration) totals.calibration_seconds += elapsed;
      if (result.failure == "interrupted") {
        if (progress) std::fputc('\n', stderr);
        return records;
      }
      const program_run reading = read_run(*c.program, plan.size, c.threads, result);
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
            (terminal_line(printed("Warning: %s (run %d) left processes running outside its process group, where "
                                   "sum_compare does not stop them: pid %s",
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
  if (progress) std::fprintf(stderr, "\r%*s\r", 60, "");
  return records;
}
