#include "tools/run_plan.hpp"

#include <algorithm>

std::string case_name(const run_case& c) {
  return std::string(c.program->name) + " on " + std::to_string(c.threads) + (c.threads == 1 ? " thread" : " threads");
}

std::vector<int> default_team_sizes(int processors) {
  std::vector<int> sizes;
  for (int t = 1; t <= std::max(processors, 1); t *= 2) sizes.push_back(t);
  if (sizes.back() != std::max(processors, 1)) sizes.push_back(processors);
  return sizes;
}

run_plan make_plan(const compare_options& options, int processors) {
  run_plan plan;
  plan.size = options.size;
  plan.rounds = options.repeat + 1;
  plan.timeout_seconds = options.timeout_seconds;
  plan.threads = options.threads.empty() ? default_team_sizes(processors) : options.threads;
  // The serial build ignores OMP_NUM_THREADS: it runs once, as the one-thread reference, ahead
  // of the team sizes, whatever they are. Each team size that runs gets its calibration.
  std::vector<int> team_sizes = plan.threads;
  if (team_sizes.front() != 1) team_sizes.insert(team_sizes.begin(), 1);
  for (int threads : team_sizes) {
    const bool asked = std::find(plan.threads.begin(), plan.threads.end(), threads) != plan.threads.end();
    std::vector<run_case> team;
    for (const std::string& name : options.programs) {
      const program_description& p = program(name);
      if (p.on_team ? asked : threads == 1) team.push_back({&p, threads});
    }
    if (team.empty()) continue;
    plan.cases.push_back({&kCalibration, threads});
    plan.cases.insert(plan.cases.end(), team.begin(), team.end());
  }
  return plan;
}

int planned_runs(const run_plan& plan) { return static_cast<int>(plan.cases.size()) * plan.rounds; }

double estimated_seconds(const run_plan& plan) {
  // Measured on a 2-core VM: about 22 ns per element and 5 ms per run, most of it the kernel
  // handing out the array's pages and the fill.
  return planned_runs(plan) * (0.005 + 22e-9 * plan.size);
}
