#include "tools/run_facts.hpp"

#include "tools/machine_facts.hpp"
#include "tools/suite_build.hpp"

run_facts facts_of_this_run(const run_plan& plan, const std::string& bin) {
  std::string profiles;
  for (const built_profile& profile : kBuiltProfiles) {
    for (const run_case& c : plan.cases) {
      if (profile_of(c.program->name) == profile.name) {
        profiles += (profiles.empty() ? "" : "; ") + std::string(profile.name) + " " + std::string(profile.flags);
        break;
      }
    }
  }
  return {processor_model(), processors_online(), runtime_settings(), std::string(kCompiler), profiles, bin};
}

std::string runtime_setting(const run_facts& facts, const std::string& name) {
  for (const std::string& setting : facts.runtime_settings) {
    if (setting.rfind(name + "=", 0) == 0) return setting.substr(name.size() + 1);
  }
  return {};
}
