#include "tools/report_json.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>

namespace {

using json = nlohmann::ordered_json;

double number_or(const json& value, double none) { return value.is_null() ? none : value.get<double>(); }

machine_topology topology_of(const json& in) {
  machine_topology machine;
  const json& topology = in.at("topology");
  machine.packages = topology.at("packages");
  machine.numa_nodes = topology.at("numa_nodes");
  machine.cores = topology.at("cores");
  machine.processors = topology.at("processors");
  machine.this_system = topology.at("this_system");
  for (const json& cache : topology.at("caches")) {
    machine.caches.push_back({cache.at("level"), cache.at("kind") == "data" ? 'd' : 'u', cache.at("bytes"), cache.at("count")});
  }
  machine.last_level = topology.at("last_level");
  machine.last_level_count = topology.at("last_level_count");
  machine.last_level_bytes = topology.at("last_level_cache_bytes");
  machine.core_of = topology.at("core_of_processor").get<std::map<int, int>>();
  machine.node_of = topology.at("node_of_processor").get<std::map<int, int>>();
  machine.allowed = in.at("allowed_processors").get<std::vector<int>>();
  return machine;
}

// The plan the saved runs followed, made again from the options that made it.
run_plan plan_of(const json& in) {
  compare_options options;
  options.size = in.at("elements");
  options.repeat = in.at("repeat");
  options.threads = in.at("threads").get<std::vector<int>>();
  options.timeout_seconds = in.at("timeout_seconds");
  options.precision = number_or(in.at("precision"), 0);
  options.max_seconds = static_cast<int>(number_or(in.at("max_time"), 0));
  for (const json& name : in.at("programs")) {
    if (find_program(name.get<std::string>()) == nullptr) throw std::out_of_range("unknown program " + name.dump());
    options.programs.push_back(name);
  }
  for (const auto& [name, values] : in.at("env").items()) {
    options.dimensions.push_back({name, values.get<std::vector<std::string>>()});
  }
  for (const json& build : in.at("builds")) options.builds.push_back({build.at("name"), build.at("bin"), build.at("bin")});
  if (options.builds.empty()) throw std::out_of_range("no build");
  return make_plan(options, static_cast<int>(options.threads.size()));
}

// The plan's case that a saved run belongs to.
run_case case_of(const run_plan& plan, const program_description& program, const json& run) {
  const int threads = run.at("threads");
  setting under{run.at("build"), {}};
  for (const auto& [name, value] : run.at("settings").items()) under.env.emplace_back(name, value.get<std::string>());
  for (const run_case& c : plan.cases) {
    if (c.program == &program && c.threads == threads && plan.settings[static_cast<std::size_t>(c.setting)] == under) return c;
  }
  throw std::out_of_range("a run of " + std::string(program.name) + " that is not in the plan");
}

run_record program_record(const run_plan& plan, const json& run) {
  const program_description* program = find_program(run.at("program").get<std::string>());
  if (program == nullptr) throw std::out_of_range("unknown program " + run.at("program").dump());
  run_record record{case_of(plan, *program, run), run.at("run"), {}, run.at("standard_error")};
  record.reading.problem = run.at("problem");
  record.reading.sum = run.at("sum");
  record.reading.seconds = number_or(run.at("wall_seconds"), -1);
  record.reading.thread_seconds = number_or(run.at("thread_seconds"), -1);
  if (run.contains("placement")) {
    for (const auto& [thread, processor] : run.at("placement").items()) {
      record.reading.thread_fields[std::stoi(thread)] = {thread, std::to_string(processor.get<int>())};
    }
  }
  return record;
}

run_record calibration_record(const run_plan& plan, const json& run) {
  run_record record{case_of(plan, kCalibration, run), run.at("run"), {}, run.at("standard_error")};
  record.reading.problem = run.at("problem");
  record.reading.result_fields = run.at("fields").get<std::vector<std::string>>();
  return record;
}

}  // namespace

std::string read_saved_report(const std::string& path, report& r) {
  std::ifstream file(path);
  if (!file) return "cannot read " + path + ": " + std::strerror(errno);
  const json in = json::parse(file, nullptr, false);
  if (in.is_discarded()) return path + " is not complete JSON (cut short, or not JSON at all)";
  if (!in.is_object() || in.value("tool", "") != "sum_compare") return path + " is not a JSON file that sum_compare wrote";
  if (!in.contains("schema_version") || in["schema_version"] != kJsonSchemaVersion) {
    return path + " has schema version " + (in.contains("schema_version") ? in["schema_version"].dump() : "none") +
           "; this sum_compare reads version " + std::to_string(kJsonSchemaVersion);
  }
  try {
    r.plan = plan_of(in);
    r.machine = topology_of(in);
    r.facts.host = in.at("host");
    r.facts.processor = in.at("processor");
    r.facts.processors_online = in.at("processors_online");
    for (const json& build : in.at("builds")) {
      r.facts.builds.push_back({build.at("name"), build.at("bin"), build.at("compiler"), build.at("profiles"),
                                build.at("openmp_runtimes")});
    }
    for (const auto& [name, value] : in.at("runtime_settings").items()) {
      r.facts.runtime_settings.push_back(name + "=" + value.get<std::string>());
    }
    r.conditions.complete = in.at("complete");
    r.conditions.estimated_seconds = number_or(in.at("estimated_seconds"), -1);
    r.conditions.load_before = number_or(in.at("load_before"), -1);
    r.conditions.steal_percent = number_or(in.at("steal_percent"), -1);
    r.conditions.seconds = in.at("seconds");
    r.conditions.calibration_seconds = in.at("calibration_seconds");
    r.conditions.failures = in.at("failed_runs");
    r.records.clear();
    for (const json& run : in.at("runs")) r.records.push_back(program_record(r.plan, run));
    for (const json& run : in.at("calibration_runs")) r.records.push_back(calibration_record(r.plan, run));
  } catch (const std::exception& error) {
    return path + " does not hold a whole sum_compare run: " + error.what();
  }
  // Back into the order they ran: round by round, each in the plan's order of cases.
  const auto position = [&](const run_record& record) {
    const auto at = std::find_if(r.plan.cases.begin(), r.plan.cases.end(),
                                 [&](const run_case& c) { return same_case(c, record.c); });
    return std::pair{record.round, at - r.plan.cases.begin()};
  };
  std::stable_sort(r.records.begin(), r.records.end(),
                   [&](const run_record& a, const run_record& b) { return position(a) < position(b); });
  return {};
}
