#include "tools/analysis/sentences.hpp"

#include <algorithm>

#include "tools/catalog/text.hpp"

namespace omp_sums {

namespace {

// The first setting at the same size as SETTING: the one it is compared with.
int reference_of(const run_plan& plan, int setting) {
  int first = 0;
  while (plan.settings[static_cast<std::size_t>(first)].size != plan.settings[static_cast<std::size_t>(setting)].size)
    ++first;
  return first;
}

}  // namespace

std::vector<headline> across_settings(const run_plan& plan, const figures& measured) {
  std::vector<headline> said;
  const int threads = plan.threads.back();
  const auto compare = [&](const std::string& name, const std::vector<double>& first, const std::vector<double>& other,
                           int setting, std::vector<run_case> cases) {
    const std::string first_under = setting_label(plan.settings[static_cast<std::size_t>(reference_of(plan, setting))]);
    const ratio_figure time = ratio_of(other, first);
    const std::string under = setting_label(plan.settings[static_cast<std::size_t>(setting)]);
    if (!has_ratio(time)) {
      said.push_back({printed("%s on %d threads under ", name.c_str(), threads) + under + " against under " +
                      first_under + kNoRatio});
      return;
    }
    const std::string text = printed("%s on %d threads takes ", name.c_str(), threads) + with_interval(time) +
                             " the time under " + under + " that it takes under " + first_under +
                             (differs(time) ? "." : ": " + without_effect(time, 1, "no measurable difference") + ".");
    said.push_back(
        found(of_effect(rests_on(text, time), effect_kind::settings, name + " under " + under, std::move(cases)),
              printed("%s on %d threads under ", name.c_str(), threads) + under + ": ", time,
              "the time under " + (first_under.empty() ? std::string("the first") : first_under)));
  };
  std::vector<const program_description*> programs;
  for (program_role role :
       {program_role::reduction, program_role::first_touch, program_role::packed_slots, program_role::padded_slots})
    programs.push_back(&program_with(role));
  if (plan.commands) {
    for (const command_program& command : *plan.commands) programs.push_back(&command.described);
  }
  // Each setting against the first at its size: another size is another workload, which the
  // sizes' own headlines read per element.
  for (const program_description* program : programs) {
    for (int setting = 1; setting < static_cast<int>(plan.settings.size()); ++setting) {
      const int reference = reference_of(plan, setting);
      const case_stats* first = find_case(measured.cases, *program, threads, reference);
      const case_stats* other = find_case(measured.cases, *program, threads, setting);
      if (reference != setting && first != nullptr && other != nullptr)
        compare(std::string(program->name), first->walls, other->walls, setting, {first->c, other->c});
    }
  }
  for (int setting = 1; setting < static_cast<int>(plan.settings.size()); ++setting) {
    const int reference = reference_of(plan, setting);
    const floor_stats* first = find_floor(measured.floors, floor_kind::fork_join, threads, reference);
    const floor_stats* other = find_floor(measured.floors, floor_kind::fork_join, threads, setting);
    if (reference != setting && first != nullptr && other != nullptr)
      compare("A fork/join", first->values, other->values, setting, {});
  }
  return said;
}

std::vector<std::vector<int>> size_groups(const run_plan& plan) {
  std::vector<std::vector<int>> groups;
  for (int setting = 0; setting < static_cast<int>(plan.settings.size()); ++setting) {
    const struct setting& under = plan.settings[static_cast<std::size_t>(setting)];
    const auto same = [&](const std::vector<int>& group) {
      const struct setting& first = plan.settings[static_cast<std::size_t>(group[0])];
      return first.build == under.build && first.env == under.env;
    };
    const auto group = std::find_if(groups.begin(), groups.end(), same);
    if (group == groups.end()) {
      groups.push_back({setting});
    } else {
      group->push_back(setting);
    }
  }
  return groups;
}

std::string group_label(const run_plan& plan, const std::vector<int>& group) {
  setting first = plan.settings[static_cast<std::size_t>(group.at(0))];
  first.size.clear();
  return setting_label(first);
}

}  // namespace omp_sums
