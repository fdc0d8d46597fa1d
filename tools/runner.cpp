#include "tools/runner.hpp"

#include <unistd.h>

#include <cstdio>

#include "tools/child_process.hpp"

std::vector<run_record> run_plan_rounds(const run_plan& plan, const std::string& bin, int& failures) {
  const bool progress = isatty(STDERR_FILENO) != 0;
  const int total = planned_runs(plan);
  std::vector<std::string> env = current_environment();
  std::vector<run_record> records;
  int done = 0;
  for (int round = 0; round < plan.rounds; ++round) {
    for (const run_case& c : plan.cases) {
      const std::string name(c.program->name);
      ++done;
      if (progress) std::fprintf(stderr, "\rcase %d of %d: %s on %d threads   ", done, total, name.c_str(), c.threads);
      set_variable(env, "OMP_NUM_THREADS", std::to_string(c.threads));
      const child_result result = run_child(bin + "/" + name, {std::to_string(plan.size)}, env);
      const program_run reading = read_run(*c.program, plan.size, c.threads, result);
      if (!reading.problem.empty()) {
        ++failures;
        if (progress) std::fputc('\n', stderr);
        std::fprintf(stderr, "FAILED: %s on %d threads (run %d): %s\n--- its output ---\n%s--- its standard error ---\n%s---\n",
                     name.c_str(), c.threads, round, reading.problem.c_str(), result.out.c_str(), result.err.c_str());
      }
      if (round > 0) records.push_back({c, round, reading});
    }
  }
  if (progress) std::fprintf(stderr, "\r%*s\r", 60, "");
  return records;
}
