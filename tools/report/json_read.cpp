#include <algorithm>
#include <map>
#include <new>
#include <nlohmann/json.hpp>
#include <tuple>

#include "tools/catalog/text.hpp"
#include "tools/report/json.hpp"
#include "tools/report/json_facts.hpp"
#include "tools/report/json_schema.hpp"
#include "tools/report/json_upgrade.hpp"
#include "tools/report/output_files.hpp"
#include "tools/run/planning.hpp"

namespace omp_sums {

namespace {

using json = nlohmann::ordered_json;

// What made the plan the saved runs followed.
plan_request options_of(const json& in) {
  plan_request options;
  options.sizes = sizes_of(in.at("sizes"));
  options.repeat = in.at("repeat");
  options.threads = in.at("threads").get<std::vector<int>>();
  std::sort(options.threads.begin(), options.threads.end());
  options.timeout_seconds = in.at("timeout_seconds");
  options.precision = number_or(in.at("precision"), 0);
  options.max_seconds = static_cast<int>(number_or(in.at("max_time"), 0));
  for (const json& name : in.at("programs")) options.programs.push_back(name);
  const json& commands = in.at("commands");
  for (std::size_t k = 0; k < commands.size(); ++k) {
    const json& command = commands[k];
    command_wanted wanted{command.at("name"),       command.at("line"),   command.at("argv"),       command.at("shell"),
                          command.at("time_regex"), command.at("expect"), command.at("expect_exit")};
    const std::string where = "/commands/" + std::to_string(k);
    if (find_program(wanted.name) != nullptr || wanted.name == kCalibration.name ||
        std::any_of(options.commands.begin(), options.commands.end(),
                    [&](const command_wanted& earlier) { return earlier.name == wanted.name; })) {
      throw saved_fault{where + "/name",
                        "the name " + wanted.name + " of a program of the suite or of another command"};
    }
    if (!wanted.shell && wanted.argv.empty()) throw saved_fault{where + "/argv", "a command of no words"};
    options.commands.push_back(wanted);
  }
  for (const auto& [name, values] : in.at("env").items()) {
    options.dimensions.push_back({name, values.get<std::vector<std::string>>()});
  }
  const json& builds = in.at("builds");
  for (std::size_t k = 0; k < builds.size(); ++k) {
    const std::string name = builds[k].at("name");
    for (const build_location& earlier : options.builds) {
      if (earlier.name == name) {
        throw saved_fault{"/builds/" + std::to_string(k) + "/name",
                          name.empty() ? "the default build (no name) twice" : "the build " + name + " twice"};
      }
    }
    options.builds.push_back({name, builds[k].at("bin"), builds[k].at("bin")});
  }
  return options;
}

// The plan's cases by program, team size and setting; its settings by build and --env values.
struct case_index {
  std::map<std::tuple<const program_description*, int, int>, run_case> cases;
  std::map<setting, int, bool (*)(const setting&, const setting&)> settings{[](const setting& a, const setting& b) {
    return std::tie(a.build, a.size, a.env) < std::tie(b.build, b.size, b.env);
  }};
};

case_index index_of(const run_plan& plan) {
  case_index index;
  for (std::size_t k = 0; k < plan.settings.size(); ++k) index.settings.emplace(plan.settings[k], static_cast<int>(k));
  for (const run_case& c : plan.cases) index.cases.emplace(std::tuple{c.program, c.threads, c.setting}, c);
  return index;
}

// The plan's case that a saved run belongs to.
run_case case_of(const case_index& index, const program_description& program, const json& run,
                 const std::string& where) {
  const int threads = run.at("threads");
  setting under{run.at("build"), run.at("size"), {}};
  for (const auto& [name, value] : run.at("settings").items()) under.env.emplace_back(name, value.get<std::string>());
  const auto setting_at = index.settings.find(under);
  if (setting_at != index.settings.end()) {
    const auto found = index.cases.find({&program, threads, setting_at->second});
    if (found != index.cases.end()) return found->second;
  }
  throw saved_fault{
      where,
      printed("a run of %s on %d thread%s", std::string(program.name).c_str(), threads, threads == 1 ? "" : "s") +
          (setting_label(under).empty() ? "" : " under " + setting_label(under)) + " that is not in the file's plan"};
}

// The suite's program or the plan's command that a saved run names.
const program_description& program_named(const run_plan& plan, const std::string& name, const std::string& where) {
  if (const program_description* found = find_program(name)) return *found;
  for (const command_program& command : *plan.commands) {
    if (command.wanted.name == name) return command.described;
  }
  throw saved_fault{where + "/program",
                    "a run of " + name + ", neither a program of the suite nor a command of the file"};
}

run_record program_record(const run_plan& plan, const case_index& index, const json& run, const std::string& where) {
  const program_description& program = program_named(plan, run.at("program").get<std::string>(), where);
  run_record record{case_of(index, program, run, where), run.at("run"), {}, run.at("standard_error")};
  record.reading.problem = run.at("problem");
  record.reading.sum = run.at("sum");
  record.reading.seconds = number_or(run.at("wall_seconds"), -1);
  if (record.reading.seconds > plan.timeout_seconds)
    throw saved_fault{where + "/wall_seconds", printed("a run of %g s, past its time limit of %d s",
                                                       record.reading.seconds, plan.timeout_seconds)};
  record.reading.thread_seconds = number_or(run.at("thread_seconds"), -1);
  record.reading.elements = static_cast<long long>(number_or(run.at("elements"), 0));
  if (run.contains("pages")) {
    for (const auto& [thread, page] : run.at("pages").items()) {
      record.reading.threads[std::stoi(thread)] = {-1, page.at("node"), page.at("local_percent")};
    }
  }
  if (run.contains("placement") && !run.contains("pages")) {
    for (const auto& [thread, processor] : run.at("placement").items()) {
      record.reading.threads[std::stoi(thread)].processor = processor;
    }
  }
  return record;
}

run_record calibration_record(const case_index& index, const json& run, const std::string& where) {
  run_record record{case_of(index, kCalibration, run, where), run.at("run"), {}, run.at("standard_error")};
  record.reading.problem = run.at("problem");
  record.reading.result_fields = run.at("fields").get<std::vector<std::string>>();
  return record;
}

region_run region_run_of(const run_plan& plan, const case_index& index, const json& run, const std::string& where) {
  const program_description& program = program_named(plan, run.at("program").get<std::string>(), where);
  region_run read{case_of(index, program, run, where),
                  run.at("run"),
                  run.at("problem"),
                  number_or(run.at("seconds"), -1),
                  number_or(run.at("ns_per_event"), -1),
                  {}};
  for (const json& region : run.at("regions")) {
    recorded_region recorded{region.at("where"),        region.at("instances"), region.at("team"),
                             region.at("wall_seconds"), region.at("events"),    {}};
    for (const json& thread : region.at("threads"))
      recorded.threads.push_back({thread.at("work"), thread.at("barrier"), thread.at("lock"), thread.at("overhead")});
    read.regions.push_back(recorded);
  }
  return read;
}

// Everything but the figures, from a document that holds the schema.
void read_document(const json& in, report& r) {
  const plan_request options = options_of(in);
  if (std::string refused = plan_refusal(options, static_cast<int>(options.threads.size())); !refused.empty()) {
    throw saved_fault{"/env", refused};
  }
  r.plan = make_plan(options, static_cast<int>(options.threads.size()));
  r.machine = topology_of(in);
  r.facts.host = in.at("host");
  r.facts.processor = in.at("processor");
  r.facts.processors_online = in.at("processors_online");
  for (const json& build : in.at("builds")) {
    r.facts.builds.push_back(
        {build.at("name"), build.at("bin"), build.at("compiler"), build.at("profiles"), build.at("openmp_runtimes")});
  }
  for (const auto& [name, value] : in.at("runtime_settings").items()) {
    r.facts.runtime_settings.push_back(name + "=" + value.get<std::string>());
  }
  r.facts.transparent_huge_pages = in.at("transparent_huge_pages").is_null() ? "" : in.at("transparent_huge_pages");
  r.facts.numa_balancing = in.at("numa_balancing").is_null() ? -1 : in.at("numa_balancing").get<bool>() ? 1 : 0;
  r.facts.clock = clock_of(in.at("clock"));
  r.sweep = sweep_of(in.at("sweep"));
  r.caches = measure_caches(r.machine, r.sweep);
  r.budget = budget_of(in.at("budget"));
  r.conditions.memory_available = static_cast<unsigned long long>(number_or(in.at("memory_available"), 0));
  r.conditions.complete = in.at("complete");
  r.conditions.estimated_seconds = number_or(in.at("estimated_seconds"), -1);
  r.conditions.load_before = number_or(in.at("load_before"), -1);
  r.conditions.steal_percent = number_or(in.at("steal_percent"), -1);
  r.conditions.seconds = in.at("seconds");
  r.conditions.calibration_seconds = in.at("calibration_seconds");
  r.conditions.failures = in.at("failed_runs");

  const case_index index = index_of(r.plan);
  r.records.clear();
  const json& runs = in.at("runs");
  for (std::size_t k = 0; k < runs.size(); ++k)
    r.records.push_back(program_record(r.plan, index, runs[k], "/runs/" + std::to_string(k)));
  const json& calibration = in.at("calibration_runs");
  for (std::size_t k = 0; k < calibration.size(); ++k) {
    r.records.push_back(calibration_record(index, calibration[k], "/calibration_runs/" + std::to_string(k)));
  }

  r.region_runs.clear();
  if (in.contains("region_runs")) {
    const json& region_runs = in.at("region_runs");
    for (std::size_t k = 0; k < region_runs.size(); ++k)
      r.region_runs.push_back(region_run_of(r.plan, index, region_runs[k], "/region_runs/" + std::to_string(k)));
  }
  r.regions_unavailable = in.contains("regions_unavailable") ? in.at("regions_unavailable").get<std::string>() : "";

  // Back into the order they ran: round by round, each in the plan's order of cases.
  std::map<std::tuple<const program_description*, int, int>, std::size_t> position;
  for (std::size_t k = 0; k < r.plan.cases.size(); ++k) {
    const run_case& c = r.plan.cases[k];
    position.emplace(std::tuple{c.program, c.threads, c.setting}, k);
  }
  std::vector<std::pair<std::pair<int, std::size_t>, std::size_t>> order;  // (round, case) -> record
  std::map<std::size_t, int> runs_of_case;
  for (std::size_t k = 0; k < r.records.size(); ++k) {
    const run_case& c = r.records[k].c;
    const std::size_t at = position.at({c.program, c.threads, c.setting});
    if (++runs_of_case[at] > kMostRunsPerCase) {
      throw saved_fault{"/runs", "more than " + std::to_string(kMostRunsPerCase) + " runs of " + case_name(r.plan, c)};
    }
    order.push_back({{r.records[k].round, at}, k});
  }
  std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<run_record> sorted;
  sorted.reserve(order.size());
  for (const auto& entry : order) sorted.push_back(std::move(r.records[entry.second]));
  r.records = std::move(sorted);
}

}  // namespace

std::string report_from_json(const std::string& text, report& r) {
  std::string problem;
  nlohmann::json document = parsed_json(text, problem);
  if (!problem.empty()) return "is not JSON: " + problem;
  if (!document.is_object() || !document.contains("tool") || document["tool"] != "sum_compare") {
    return "is not a JSON file that sum_compare wrote";
  }
  if (document.contains("compare") || document.contains("machines")) {
    return std::string("is the JSON of a ") + (document.contains("compare") ? "--compare" : "--merge") +
           ", not of a run";
  }
  if (std::string refused = upgrade_saved_run(document); !refused.empty()) return refused;
  if (std::string violation = schema_violation(document, "run"); !violation.empty())
    return "breaks the schema at " + violation;
  try {
    read_document(document, r);
  } catch (const saved_fault& fault) {
    return "does not hold a whole sum_compare run at " + fault.where + ": " + fault.what;
  } catch (const std::bad_alloc&) {
    throw;                                 // not the file's fault
  } catch (const std::exception& error) {  // what the schema lets through and the reading does not expect
    return std::string("does not hold a whole sum_compare run: ") + error.what();
  }
  return {};
}

std::string read_saved_report(const std::string& path, report& r) {
  std::string text;
  if (std::string problem = read_whole_file(path, text); !problem.empty()) return problem;
  const std::string problem = report_from_json(text, r);
  return problem.empty() ? problem : path + " " + problem;
}

}  // namespace omp_sums
