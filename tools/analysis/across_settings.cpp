#include "tools/analysis/sentences.hpp"

#include "tools/catalog/text.hpp"

std::vector<headline> across_settings(const run_plan& plan, const figures& measured) {
  std::vector<headline> said;
  const int threads = plan.threads.back();
  const std::string first_under = setting_label(plan.settings[0]);
  const auto compare = [&](const std::string& name, const std::vector<double>& first, const std::vector<double>& other,
                           int setting, std::vector<run_case> cases) {
    const ratio_figure time = ratio_of(other, first);
    const std::string under = setting_label(plan.settings[static_cast<std::size_t>(setting)]);
    if (!has_ratio(time)) {
      said.push_back({printed("%s on %d threads under ", name.c_str(), threads) + under + " against under " +
                      first_under + kNoRatio});
      return;
    }
    const std::string text = printed("%s on %d threads takes ", name.c_str(), threads) + with_interval(time) +
                             " the time under " + under + " that it takes under " + first_under +
                             (differs(time) ? "." : ": no measurable difference.");
    said.push_back(found(of_effect(rests_on(text, time), "settings", name + " under " + under, std::move(cases)),
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
  for (const program_description* program : programs) {
    const case_stats* first = find_case(measured.cases, *program, threads, 0);
    if (first == nullptr) continue;
    for (int setting = 1; setting < static_cast<int>(plan.settings.size()); ++setting) {
      const case_stats* other = find_case(measured.cases, *program, threads, setting);
      if (other != nullptr)
        compare(std::string(program->name), first->walls, other->walls, setting, {first->c, other->c});
    }
  }
  const floor_stats* first = find_floor(measured.floors, floor_kind::fork_join, threads, 0);
  for (int setting = 1; first != nullptr && setting < static_cast<int>(plan.settings.size()); ++setting) {
    const floor_stats* other = find_floor(measured.floors, floor_kind::fork_join, threads, setting);
    if (other != nullptr) compare("A fork/join", first->values, other->values, setting, {});
  }
  return said;
}
