#include "tools/report_json.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>

namespace {

using json = nlohmann::ordered_json;

// A JSON number, or null where there is none.
json json_number(double value) {
  if (value < 0 || !std::isfinite(value)) return nullptr;
  return value;
}

double number_or(const json& value, double none) { return value.is_null() ? none : value.get<double>(); }

json json_seconds(const run_record& r, double value) { return r.reading.problem.empty() ? json_number(value) : nullptr; }
json settings_json(const run_plan& plan, int setting) {
  json values = json::object();
  for (const auto& [name, value] : plan.settings[static_cast<std::size_t>(setting)]) values[name] = value;
  return values;
}

json topology_json(const machine_topology& machine) {
  json caches = json::array();
  for (const cache_group& cache : machine.caches) {
    caches.push_back({{"level", cache.level}, {"kind", cache.kind == 'd' ? "data" : "unified"}, {"bytes", cache.bytes},
                      {"count", cache.count}});
  }
  return {{"packages", machine.packages},
          {"numa_nodes", machine.numa_nodes},
          {"cores", machine.cores},
          {"processors", machine.processors},
          {"this_system", machine.this_system},
          {"caches", caches},
          {"last_level", machine.last_level},
          {"last_level_count", machine.last_level_count},
          {"last_level_cache_bytes", machine.last_level_bytes},
          {"core_of_processor", machine.core_of},
          {"node_of_processor", machine.node_of}};
}

json run_json(const run_plan& plan, const run_record& r) {
  json run = {{"program", r.c.program->name},
              {"threads", r.c.threads},
              {"run", r.round},
              {"wall_seconds", json_seconds(r, r.reading.seconds)},
              {"thread_seconds", json_seconds(r, r.reading.thread_seconds)},
              {"sum", r.reading.sum},
              {"valid", r.reading.problem.empty()},
              {"problem", r.reading.problem},
              {"standard_error", r.standard_error},
              {"settings", settings_json(plan, r.c.setting)}};
  if (prints_placement(*r.c.program)) {
    json where = json::object();  // thread -> the processor its placement line reports
    for (const auto& [thread, fields] : r.reading.thread_fields) where[std::to_string(thread)] = std::stoi(fields.at(1));
    run["placement"] = where;
  }
  return run;
}

json calibration_run_json(const run_plan& plan, const run_record& r) {
  return {{"threads", r.c.threads}, {"run", r.round}, {"valid", r.reading.problem.empty()},
          {"problem", r.reading.problem}, {"fields", r.reading.result_fields}, {"standard_error", r.standard_error},
          {"settings", settings_json(plan, r.c.setting)}};
}

json aggregate_json(const run_plan& plan, const case_stats& c) {
  return {{"program", c.c.program->name},
          {"threads", c.c.threads},
          {"valid_runs", c.walls.size()},
          {"median_seconds", c.wall.median},
          {"median_ci_low", c.median_ci.low},
          {"median_ci_high", c.median_ci.high},
          {"min_seconds", c.wall.min},
          {"max_seconds", c.wall.max},
          {"spread_percent", c.spread_percent},
          {"median_thread_seconds", json_number(c.thread_median)},
          {"ns_per_element_per_thread", c.ns_per_element_per_thread},
          {"speedup", json_number(c.speedup)},
          {"floor_seconds", json_number(c.floor_seconds)},
          {"of_floor", json_number(c.of_floor)},
          {"settings", settings_json(plan, c.c.setting)},
          {"placement", c.placement ? json{{"distinct_processors", c.placement->distinct_processors},
                                           {"shared_core", c.placement->runs_sharing_core > 0}}
                                    : json(nullptr)}};
}

}  // namespace

std::string json_document(const report& r) {
  const run_plan& plan = r.plan;
  json out;
  out["tool"] = "sum_compare";
  out["schema_version"] = kJsonSchemaVersion;
  out["complete"] = r.conditions.complete;
  out["elements"] = plan.size;
  out["repeat"] = plan.rounds - 1;
  out["threads"] = plan.threads;
  out["timeout_seconds"] = plan.timeout_seconds;
  out["programs"] = json::array();
  for (const run_case& c : plan.cases) {
    json& programs = out["programs"];
    const bool listed = std::find(programs.begin(), programs.end(), c.program->name) != programs.end();
    if (c.program->role != program_role::calibration && !listed) programs.push_back(c.program->name);
  }
  out["processor"] = r.facts.processor;
  out["processors_online"] = r.facts.processors_online;
  out["allowed_processors"] = r.machine.allowed;
  out["topology"] = topology_json(r.machine);
  out["compiler"] = r.facts.compiler;
  out["build_profiles"] = r.facts.profiles;
  out["bin"] = r.facts.bin;
  // Each --env variable with its values in order; every combination of them ran.
  out["env"] = json::object();
  for (const auto& [name, value] : plan.settings[0]) {
    json values = json::array();
    for (const setting& under : plan.settings) {
      for (const auto& [other, other_value] : under) {
        if (other == name && std::find(values.begin(), values.end(), other_value) == values.end()) values.push_back(other_value);
      }
    }
    out["env"][name] = values;
  }
  out["runtime_settings"] = json::object();
  for (const std::string& setting : r.facts.runtime_settings) {
    const std::size_t equals = setting.find('=');
    out["runtime_settings"][setting.substr(0, equals)] = equals == std::string::npos ? "" : setting.substr(equals + 1);
  }
  out["load_before"] = json_number(r.conditions.load_before);
  out["steal_percent"] = json_number(r.conditions.steal_percent);
  out["seconds"] = r.conditions.seconds;
  out["calibration_seconds"] = r.conditions.calibration_seconds;
  out["failed_runs"] = r.conditions.failures;
  out["runs"] = json::array();
  out["calibration_runs"] = json::array();
  for (const run_record& record : r.records) {
    if (record.c.program->role == program_role::calibration) {
      out["calibration_runs"].push_back(calibration_run_json(plan, record));
    } else {
      out["runs"].push_back(run_json(plan, record));
    }
  }
  out["floors"] = json::array();
  for (const floor_stats& f : r.measured.floors) {
    out["floors"].push_back({{"name", describe(f.kind).name},
                             {"threads", f.threads},
                             {"settings", settings_json(plan, f.setting)},
                             {"value", f.median},
                             {"unit", describe(f.kind).unit},
                             {"ci_low", f.ci.low},
                             {"ci_high", f.ci.high},
                             {"values", f.values}});
  }
  out["aggregates"] = json::array();
  for (const case_stats& c : r.measured.cases) out["aggregates"].push_back(aggregate_json(plan, c));
  out["headlines"] = json::array();
  for (const headline& h : r.said) {
    const bool has_ratio = h.ratio >= 0;
    out["headlines"].push_back({{"text", h.text},
                                {"ratio", json_number(h.ratio)},
                                {"ci_low", has_ratio ? json(h.ci.low) : json(nullptr)},
                                {"ci_high", has_ratio ? json(h.ci.high) : json(nullptr)},
                                {"precise", h.precise},
                                {"supported", h.supported}});
  }
  out["warnings"] = json::array();
  for (const warning& w : r.warnings) {
    json figures = json::object();
    for (const auto& [name, value] : w.figures) figures[name] = value;
    out["warnings"].push_back({{"kind", w.kind}, {"case", w.subject}, {"text", w.text}, {"figures", figures}});
  }
  // Child output may hold any bytes: invalid UTF-8 is replaced, so the file stays valid JSON.
  return out.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

namespace {

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
  for (const json& name : in.at("programs")) {
    if (find_program(name.get<std::string>()) == nullptr) throw std::out_of_range("unknown program " + name.dump());
    options.programs.push_back(name);
  }
  for (const auto& [name, values] : in.at("env").items()) {
    options.dimensions.push_back({name, values.get<std::vector<std::string>>()});
  }
  return make_plan(options, static_cast<int>(options.threads.size()));
}

// The plan's case that a saved run belongs to.
run_case case_of(const run_plan& plan, const program_description& program, const json& run) {
  const int threads = run.at("threads");
  setting under;
  for (const auto& [name, value] : run.at("settings").items()) under.emplace_back(name, value.get<std::string>());
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
    r.facts.processor = in.at("processor");
    r.facts.processors_online = in.at("processors_online");
    r.facts.compiler = in.at("compiler");
    r.facts.profiles = in.at("build_profiles");
    r.facts.bin = in.at("bin");
    for (const auto& [name, value] : in.at("runtime_settings").items()) {
      r.facts.runtime_settings.push_back(name + "=" + value.get<std::string>());
    }
    r.conditions.complete = in.at("complete");
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
