#include "tools/run_plan.hpp"

#include <algorithm>

std::string setting_label(const setting& values) {
  std::string label;
  for (const auto& [name, value] : values) label += (label.empty() ? "" : " ") + name + "=" + value;
  return label;
}

std::string case_name(const run_plan& plan, const run_case& c) {
  const std::string under = setting_label(plan.settings.at(static_cast<std::size_t>(c.setting)));
  return std::string(c.program->name) + " on " + std::to_string(c.threads) + (c.threads == 1 ? " thread" : " threads") +
         (under.empty() ? "" : " under " + under);
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
  plan.settings = {{}};
  for (const setting_dimension& dimension : options.dimensions) {
    std::vector<setting> combined;
    for (const setting& earlier : plan.settings) {
      for (const std::string& value : dimension.values) {
        combined.push_back(earlier);
        combined.back().emplace_back(dimension.name, value);
      }
    }
    plan.settings = combined;
  }
  // The serial build ignores OMP_NUM_THREADS: it runs once, as the one-thread reference, ahead
  // of the team sizes, whatever they are. Each team size that runs gets its calibration.
  std::vector<int> team_sizes = plan.threads;
  if (team_sizes.front() != 1) team_sizes.insert(team_sizes.begin(), 1);
  for (int under = 0; under < static_cast<int>(plan.settings.size()); ++under) {
    for (int threads : team_sizes) {
      const bool asked = std::find(plan.threads.begin(), plan.threads.end(), threads) != plan.threads.end();
      std::vector<run_case> team;
      for (const std::string& name : options.programs) {
        const program_description& p = program(name);
        if (p.on_team ? asked : threads == 1) team.push_back({&p, threads, under});
      }
      if (team.empty()) continue;
      plan.cases.push_back({&kCalibration, threads, under});
      plan.cases.insert(plan.cases.end(), team.begin(), team.end());
    }
  }
  return plan;
}

int planned_runs(const run_plan& plan) { return static_cast<int>(plan.cases.size()) * plan.rounds; }

double estimated_seconds(const run_plan& plan) {
  // Measured on a 2-core VM: about 22 ns per element and 5 ms per run, most of it the kernel
  // handing out the array's pages and the fill.
  return planned_runs(plan) * (0.005 + 22e-9 * plan.size);
}
