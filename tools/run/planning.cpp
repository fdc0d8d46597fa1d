#include "tools/run/planning.hpp"

#include <algorithm>
#include <climits>

#include "tools/catalog/text.hpp"

namespace omp_sums {

std::vector<int> default_team_sizes(int processors) {
  std::vector<int> sizes;
  for (int t = 1; t <= std::max(processors, 1); t *= 2) sizes.push_back(t);
  if (sizes.back() != std::max(processors, 1)) sizes.push_back(processors);
  return sizes;
}

namespace {

// The cases under one setting: by team size, the calibration, then the programs. The serial build
// ignores OMP_NUM_THREADS: it runs once, as the one-thread reference, ahead of the team sizes,
// whatever they are. Each team size that runs gets its calibration.
std::vector<run_case> cases_under(const plan_request& options, const std::vector<int>& threads, int under,
                                  const std::deque<command_program>& commands) {
  std::vector<int> team_sizes = threads;
  if (team_sizes.front() != 1) team_sizes.insert(team_sizes.begin(), 1);
  std::vector<run_case> cases;
  for (int team_size : team_sizes) {
    const bool asked = std::find(threads.begin(), threads.end(), team_size) != threads.end();
    std::vector<run_case> team;
    for (const std::string& name : options.programs) {
      const program_description& p = program(name);
      if (p.on_team ? asked : team_size == 1) team.push_back({&p, team_size, under});
    }
    // A command's speed-up is over its own one-thread case, as a program's is.
    for (const command_program& command : commands) team.push_back({&command.described, team_size, under});
    if (team.empty()) continue;
    cases.push_back({&kCalibration, team_size, under});
    cases.insert(cases.end(), team.begin(), team.end());
  }
  return cases;
}

// The commands' descriptions as cases' programs, each named after its command.
std::shared_ptr<const std::deque<command_program>> command_programs(const plan_request& options) {
  auto commands = std::make_shared<std::deque<command_program>>();
  for (const command_wanted& wanted : options.commands) {
    command_program& added = commands->emplace_back(command_program{
        wanted,
        {"", array_fill::none, true, nullptr, nullptr, nullptr, {-1, -1, -1}, 0, false, true, program_role::command}});
    added.described.name = added.wanted.name;
  }
  return commands;
}

std::vector<int> team_sizes_of(const plan_request& options, int processors) {
  return options.threads.empty() ? default_team_sizes(processors) : options.threads;
}

}  // namespace

long long planned_run_count(const plan_request& options, int processors) {
  long long count =
      static_cast<long long>(
          cases_under(options, team_sizes_of(options, processors), 0, *command_programs(options)).size()) *
      (options.repeat + 1) * static_cast<long long>(std::max<std::size_t>(options.builds.size(), 1)) *
      static_cast<long long>(std::clamp<std::size_t>(options.sizes.size(), 1, kMostSettings + 1));
  for (const setting_dimension& dimension : options.dimensions) {
    if (__builtin_mul_overflow(count, static_cast<long long>(dimension.values.size()), &count)) return LLONG_MAX;
  }
  return count;
}

std::string plan_refusal(const plan_request& options, int processors) {
  long long settings = static_cast<long long>(std::max<std::size_t>(options.builds.size(), 1)) *
                       static_cast<long long>(std::min<std::size_t>(options.sizes.size(), kMostSettings + 1));
  for (const setting_dimension& dimension : options.dimensions) {
    settings = std::min(settings * static_cast<long long>(dimension.values.size()), kMostSettings + 1);
  }
  if (settings > kMostSettings) {
    return "the plan has more than " + std::to_string(kMostSettings) +
           " settings (builds times sizes times --env combinations)";
  }
  if (const long long runs = planned_run_count(options, processors); runs > kMostRuns) {
    return "the plan has " + (runs == LLONG_MAX ? std::string("too many") : std::to_string(runs)) +
           " runs, more than the " + std::to_string(kMostRuns) + " it runs at once";
  }
  return {};
}

run_plan make_plan(const plan_request& options, int processors) {
  run_plan plan;
  plan.sizes = options.sizes;
  plan.rounds = options.repeat + 1;
  plan.timeout_seconds = options.timeout_seconds;
  plan.precision = options.precision;
  plan.max_seconds = options.precision > 0 ? options.max_seconds : 0;
  plan.threads = team_sizes_of(options, processors);
  plan.builds = options.builds;
  if (plan.builds.empty()) plan.builds.push_back({"", options.bin_dir, options.bin_dir});
  for (const build_location& build : plan.builds) plan.settings.push_back({build.name, "", {}});
  for (const setting_dimension& dimension : options.dimensions) {
    std::vector<setting> combined;
    for (const setting& earlier : plan.settings) {
      for (const std::string& value : dimension.values) {
        combined.push_back(earlier);
        combined.back().env.emplace_back(dimension.name, value);
      }
    }
    plan.settings = combined;
  }
  // The sizes innermost: a setting's sizes lie side by side in the tables. One size needs no name.
  if (plan.sizes.size() > 1) {
    std::vector<setting> sized;
    for (const setting& earlier : plan.settings) {
      for (const array_size& size : plan.sizes) {
        sized.push_back(earlier);
        sized.back().size = size.name;
      }
    }
    plan.settings = sized;
  }
  plan.commands = command_programs(options);
  for (int under = 0; under < static_cast<int>(plan.settings.size()); ++under) {
    const std::vector<run_case> cases = cases_under(options, plan.threads, under, *plan.commands);
    plan.cases.insert(plan.cases.end(), cases.begin(), cases.end());
  }
  return plan;
}

double estimated_seconds(const run_plan& plan, const run_costs& costs) {
  double round = 0;
  for (const run_case& c : plan.cases) {
    const auto cost = costs.find(std::string(c.program->name));
    if (cost == costs.end() || cost->second.fixed < 0) return -1;
    round += cost->second.fixed + cost->second.per_element * elements_of(plan, c);
  }
  return round * plan.rounds;
}

namespace {

std::string numbers_text(const std::vector<int>& values) {
  std::string text;
  for (int value : values) text += (text.empty() ? "" : ",") + std::to_string(value);
  return text;
}

}  // namespace

budget_cut fit_budget(plan_request& asked, int processors, const run_costs& costs, int budget, int least_elements) {
  budget_cut cut{budget, estimated_seconds(make_plan(asked, processors), costs), {}, ""};
  const auto estimate = [&] { return estimated_seconds(make_plan(asked, processors), costs); };
  if (cut.full_seconds < 0 || cut.full_seconds <= budget) return cut;
  const std::vector<int> all_teams = team_sizes_of(asked, processors);
  const int all_elements = asked.sizes[0].elements;
  const int all_repeat = asked.repeat;
  cut.full_plan =
      "--threads " + numbers_text(all_teams) + " --size " + asked.sizes[0].name + printed(" --repeat %d", all_repeat);

  std::vector<int> teams = all_teams;
  while (teams.size() > 2 && estimate() > budget) {
    teams.erase(teams.begin() + static_cast<std::ptrdiff_t>(teams.size() / 2));
    asked.threads = teams;
  }
  if (teams != all_teams) cut.cuts.push_back("team sizes " + numbers_text(teams) + " of " + numbers_text(all_teams));

  // The estimate is linear in the elements: solved for the budget, in whole MiB of elements.
  const double full = estimate();
  if (full > budget && all_elements > least_elements) {
    asked.sizes[0].elements = least_elements;
    const double least = estimate();
    const double per_element = (full - least) / (all_elements - least_elements);
    const long long fitting = least >= budget || !(per_element > 0)
                                  ? least_elements
                                  : least_elements + static_cast<long long>((budget - least) / per_element);
    asked.sizes[0].elements =
        static_cast<int>(std::clamp<long long>(fitting / (1 << 20) * (1 << 20), least_elements, all_elements));
    if (asked.sizes[0].elements < all_elements) {
      asked.sizes[0].uncut_elements = all_elements;
      cut.cuts.push_back(printed("the array from %d to %d elements", all_elements, asked.sizes[0].elements));
    }
  }
  if (estimate() > budget && asked.repeat > kLeastBudgetRepeat) {
    asked.repeat = kLeastBudgetRepeat;
    cut.cuts.push_back(printed("%d measured runs a case of %d", kLeastBudgetRepeat, all_repeat));
  }
  return cut;
}

}  // namespace omp_sums
