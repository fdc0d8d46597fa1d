#include "tools/run/run_facts.hpp"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "tools/catalog/suite_build.hpp"
#include "tools/run/machine_facts.hpp"

namespace omp_sums {

namespace {

using json = nlohmann::ordered_json;

// The compiler, and the profiles and runtimes of the plan's programs: in the facts file's order
// of profiles and the plan's order of programs.
void read_facts(const run_plan& plan, const json& in, build_facts& facts) {
  facts.compiler = in.at("compiler");
  const json& programs = in.at("programs");
  std::map<std::string, std::string> programs_of_runtime;
  std::vector<std::string> runtimes;
  std::vector<std::string> used_profiles;
  for (const run_case& c : plan.cases) {
    const std::string name(c.program->name);
    if (!programs.contains(name)) continue;
    const std::string runtime = programs.at(name).at("openmp_runtime");
    const std::string profile = programs.at(name).at("profile");
    std::string& listed = programs_of_runtime[runtime];
    if ((listed + " ").find(" " + name + " ") != std::string::npos) continue;
    if (listed.empty()) runtimes.push_back(runtime);
    listed += (listed.empty() ? " for " : " ") + name;
    if (std::find(used_profiles.begin(), used_profiles.end(), profile) == used_profiles.end())
      used_profiles.push_back(profile);
  }
  for (const auto& [profile, flags] : in.at("profiles").items()) {
    if (std::find(used_profiles.begin(), used_profiles.end(), profile) == used_profiles.end()) continue;
    facts.profiles += (facts.profiles.empty() ? "" : "; ") + profile + " " + flags.get<std::string>();
  }
  for (const std::string& runtime : runtimes) {
    facts.runtimes += (facts.runtimes.empty() ? "" : "; ") + runtime + programs_of_runtime[runtime];
  }
}

// The bracketed word of /sys/kernel/mm/transparent_hugepage/enabled ("always [madvise] never").
std::string huge_page_mode() {
  std::ifstream file("/sys/kernel/mm/transparent_hugepage/enabled");
  std::string line;
  if (!std::getline(file, line)) return {};
  const std::size_t open = line.find('[');
  const std::size_t close = line.find(']', open);
  const std::string mode =
      open != std::string::npos && close != std::string::npos ? line.substr(open + 1, close - open - 1) : "";
  return mode == "always" || mode == "madvise" || mode == "never" ? mode : "";
}

int numa_balancing() {
  std::ifstream file("/proc/sys/kernel/numa_balancing");
  int mode = -1;
  if (!(file >> mode)) return -1;
  return mode == 0 ? 0 : 1;  // 1 and 2 (memory tiering) both move pages
}

}  // namespace

build_facts read_build_facts(const run_plan& plan, const build_location& build) {
  const std::string path = build.bin + "/" + std::string(kBuildFactsFile);
  build_facts facts{build.name, build.bin, "unknown (no " + path + ")", "", ""};
  std::ifstream file(path);
  if (!file.is_open()) return facts;
  try {
    read_facts(plan, json::parse(file), facts);
  } catch (const json::exception&) {
    facts = {build.name, build.bin, "unknown (" + path + " is not as a build writes it)", "", ""};
  }
  return facts;
}

run_facts facts_of_this_run(const run_plan& plan) {
  char host[HOST_NAME_MAX + 1] = {};
  if (gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
  run_facts facts{host, processor_model(), processors_online(), runtime_settings(), {}};
  for (const build_location& build : plan.builds) facts.builds.push_back(read_build_facts(plan, build));
  facts.transparent_huge_pages = huge_page_mode();
  facts.numa_balancing = numa_balancing();
  return facts;
}

}  // namespace omp_sums
