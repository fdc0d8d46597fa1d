#include "tools/runner.hpp"

#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "tools/child_process.hpp"
#include "tools/program_output.hpp"
#include "tools/statistics.hpp"
#include "tools/text_formats.hpp"

std::string excerpt(const std::string& text) {
  constexpr std::size_t kept_lines = 8;
  constexpr std::size_t line_length = 240;
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t newline = std::min(text.find('\n', at), text.size());
    lines.push_back(text.substr(at, newline - at));
    at = newline + 1;
  }
  std::string cut;
  for (std::size_t k = 0; k < lines.size(); ++k) {
    if (lines.size() > 2 * kept_lines && k == kept_lines) {
      cut += "[... " + std::to_string(lines.size() - 2 * kept_lines) + " lines left out ...]\n";
      k = lines.size() - kept_lines;
    }
    const std::string& line = lines[k];
    cut += line.size() > line_length ? line.substr(0, line_length) + " [... line cut]\n" : line + "\n";
  }
  return cut;
}

std::string kept_start(const std::string& text, std::size_t kept) {
  if (text.size() <= kept) return text;
  return text.substr(0, kept) + "\n[... " + std::to_string(text.size() - kept) + " more bytes not kept]\n";
}

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
  for (int round = 0; round < plan.rounds || more_rounds_wanted(plan, records, started, last_round); ++round) {
    for (const run_case& c : plan.cases) {
      ++done;
      if (progress) {
        std::fputs(("\rrun " + printed("%lld of %lld: ", done, std::max(total, done)) + terminal_line(case_name(plan, c)) + "   ").c_str(),
                   stderr);
      }
      std::vector<std::string> env = caller_env;
      set_variable(env, "OMP_NUM_THREADS", std::to_string(c.threads));
      for (const auto& [variable, value] : plan.settings[static_cast<std::size_t>(c.setting)].env) set_variable(env, variable, value);
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
        std::fputs((terminal_line(printed("FAILED: %s (run %d): %s", case_name(plan, c).c_str(), round, reading.problem.c_str())) +
                    "\n--- its output ---\n" + terminal_text(excerpt(result.out)) + "--- its standard error ---\n" +
                    terminal_text(excerpt(result.err)) + "---\n")
                       .c_str(),
                   stderr);
      }
      if (!result.left_behind.empty()) {
        if (progress) std::fputc('\n', stderr);
        std::string pids;
        for (int pid : result.left_behind) pids += (pids.empty() ? "" : ", ") + std::to_string(pid);
        std::fputs((terminal_line(printed("Warning: %s (run %d) left processes running outside its process group, where "
                                          "sum_compare does not stop them: pid %s",
                                          case_name(plan, c).c_str(), round, pids.c_str())) + "\n")
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
