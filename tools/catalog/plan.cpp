#include "tools/catalog/plan.hpp"

#include "tools/catalog/text.hpp"

namespace omp_sums {

std::string setting_label(const setting& under) {
  std::string env;
  for (const auto& [name, value] : under.env) env += (env.empty() ? "" : " ") + name + "=" + value;
  std::vector<std::string> parts;
  if (!under.build.empty()) parts.push_back("build " + under.build);
  if (!under.size.empty()) parts.push_back("size " + under.size);
  if (!env.empty()) parts.push_back(env);
  return joined(parts, ", ");
}

const build_location& build_named(const run_plan& plan, const std::string& name) {
  for (const build_location& build : plan.builds) {
    if (build.name == name) return build;
  }
  return plan.builds.at(0);
}

const command_wanted* command_of(const run_plan& plan, const run_case& c) {
  if (c.program->role != program_role::command || !plan.commands) return nullptr;
  for (const command_program& command : *plan.commands) {
    if (&command.described == c.program) return &command.wanted;
  }
  return nullptr;
}

const array_size& size_named(const run_plan& plan, const std::string& name) {
  for (const array_size& size : plan.sizes) {
    if (size.name == name) return size;
  }
  return plan.sizes.at(0);
}

int elements_under(const run_plan& plan, int setting) {
  return size_named(plan, plan.settings.at(static_cast<std::size_t>(setting)).size).elements;
}

int elements_of(const run_plan& plan, const run_case& c) { return elements_under(plan, c.setting); }

std::string program_path(const run_plan& plan, const run_case& c) {
  if (const command_wanted* command = command_of(plan, c)) return command->shell ? "/bin/sh" : command->argv.at(0);
  const build_location& build = build_named(plan, plan.settings.at(static_cast<std::size_t>(c.setting)).build);
  return (c.program->role == program_role::calibration ? build.tool_dir : build.bin) + "/" +
         std::string(c.program->name);
}

std::vector<std::string> program_arguments(const run_plan& plan, const run_case& c) {
  if (const command_wanted* command = command_of(plan, c)) {
    if (command->shell) return {"-c", command->line};
    return {command->argv.begin() + 1, command->argv.end()};
  }
  return {std::to_string(elements_of(plan, c))};
}

std::vector<const program_description*> compared_programs(const run_plan& plan) {
  std::vector<const program_description*> programs;
  for (const program_description& program : kPrograms) {
    if (program.compared) programs.push_back(&program);
  }
  if (plan.commands) {
    for (const command_program& command : *plan.commands) programs.push_back(&command.described);
  }
  return programs;
}

std::string case_name(const run_plan& plan, const run_case& c) {
  const std::string under = setting_label(plan.settings.at(static_cast<std::size_t>(c.setting)));
  return std::string(c.program->name) + " on " + std::to_string(c.threads) + (c.threads == 1 ? " thread" : " threads") +
         (under.empty() ? "" : " under " + under);
}

long long planned_runs(const run_plan& plan) { return static_cast<long long>(plan.cases.size()) * plan.rounds; }

}  // namespace omp_sums
