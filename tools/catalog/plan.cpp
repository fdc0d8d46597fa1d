#include "tools/catalog/plan.hpp"

std::string setting_label(const setting& under) {
  std::string label;
  for (const auto& [name, value] : under.env) label += (label.empty() ? "" : " ") + name + "=" + value;
  if (under.build.empty()) return label;
  return "build " + under.build + (label.empty() ? "" : ", " + label);
}

const build_location& build_named(const run_plan& plan, const std::string& name) {
  for (const build_location& build : plan.builds) {
    if (build.name == name) return build;
  }
  return plan.builds.at(0);
}

std::string program_path(const run_plan& plan, const run_case& c) {
  const build_location& build = build_named(plan, plan.settings.at(static_cast<std::size_t>(c.setting)).build);
  return (c.program->role == program_role::calibration ? build.tool_dir : build.bin) + "/" +
         std::string(c.program->name);
}

std::string case_name(const run_plan& plan, const run_case& c) {
  const std::string under = setting_label(plan.settings.at(static_cast<std::size_t>(c.setting)));
  return std::string(c.program->name) + " on " + std::to_string(c.threads) + (c.threads == 1 ? " thread" : " threads") +
         (under.empty() ? "" : " under " + under);
}

long long planned_runs(const run_plan& plan) { return static_cast<long long>(plan.cases.size()) * plan.rounds; }
