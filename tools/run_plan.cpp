#include "tools/run_plan.hpp"

#include <algorithm>

run_plan make_plan(const compare_options& options, int processors) {
  run_plan plan;
  plan.size = options.size;
  plan.rounds = options.repeat + 1;
  plan.timeout_seconds = options.timeout_seconds;
  plan.threads = options.threads;
  if (plan.threads.empty()) {
    for (int t = 1; t <= std::max(processors, 1); ++t) plan.threads.push_back(t);
  }
  // The serial build ignores OMP_NUM_THREADS: it runs once, as the one-thread reference, ahead
  // of the team sizes, whatever they are.
  std::vector<int> team_sizes = plan.threads;
  if (team_sizes.front() != 1) team_sizes.insert(team_sizes.begin(), 1);
  for (int threads : team_sizes) {
    for (const std::string& name : options.programs) {
      const program_description& p = program(name);
      const bool asked = std::find(plan.threads.begin(), plan.threads.end(), threads) != plan.threads.end();
      if (p.on_team ? asked : threads == 1) plan.cases.push_back({&p, threads});
    }
  }
  return plan;
}

int planned_runs(const run_plan& plan) { return static_cast<int>(plan.cases.size()) * plan.rounds; }
