#include "tools/report/json.hpp"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

#include "tools/report/json_facts.hpp"
#include "tools/report/json_schema.hpp"

namespace omp_sums {

namespace {

using json = nlohmann::ordered_json;

json json_seconds(const run_record& r, double value) {
  return r.reading.problem.empty() ? json_number(value) : nullptr;
}
json settings_json(const run_plan& plan, int setting) {
  json values = json::object();
  for (const auto& [name, value] : plan.settings[static_cast<std::size_t>(setting)].env) values[name] = value;
  return values;
}

const std::string& build_name(const run_plan& plan, int setting) {
  return plan.settings[static_cast<std::size_t>(setting)].build;
}

const std::string& size_name(const run_plan& plan, int setting) {
  return plan.settings[static_cast<std::size_t>(setting)].size;
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
              {"build", build_name(plan, r.c.setting)},
              {"size", size_name(plan, r.c.setting)},
              {"settings", settings_json(plan, r.c.setting)},
              {"elements", r.reading.elements > 0 ? json(r.reading.elements) : json(nullptr)}};
  if (!prints_pages(*r.c.program) && (prints_placement(*r.c.program) || !r.reading.threads.empty())) {
    json where = json::object();  // thread -> the processor its placement line reports
    for (const auto& [thread, reported] : r.reading.threads) where[std::to_string(thread)] = reported.processor;
    run["placement"] = where;
  }
  if (prints_pages(*r.c.program)) {
    json pages = json::object();  // thread -> the node it read on, and its block's share there
    for (const auto& [thread, reported] : r.reading.threads)
      pages[std::to_string(thread)] = {{"node", reported.node}, {"local_percent", reported.local_percent}};
    run["pages"] = pages;
  }
  return run;
}

json calibration_run_json(const run_plan& plan, const run_record& r) {
  return {{"threads", r.c.threads},
          {"run", r.round},
          {"valid", r.reading.problem.empty()},
          {"problem", r.reading.problem},
          {"fields", r.reading.result_fields},
          {"standard_error", r.standard_error},
          {"build", build_name(plan, r.c.setting)},
          {"size", size_name(plan, r.c.setting)},
          {"settings", settings_json(plan, r.c.setting)}};
}

json aggregate_json(const run_plan& plan, const case_stats& c) {
  return {{"program", c.c.program->name},
          {"threads", c.c.threads},
          {"runs", c.runs},
          {"valid_runs", c.walls.size()},
          {"precision_reached", plan.precision > 0 ? json(c.precision_reached) : json(nullptr)},
          {"median_seconds", c.wall.median},
          {"median_ci_low", c.median_ci.low},
          {"median_ci_high", c.median_ci.high},
          {"min_seconds", c.wall.min},
          {"max_seconds", c.wall.max},
          {"spread_percent", c.spread_percent},
          {"median_thread_seconds", json_number(c.thread_median)},
          {"ns_per_element_per_thread", json_number(c.ns_per_element_per_thread)},
          {"speedup", json_number(c.speedup)},
          {"floor_seconds", json_number(c.floor_seconds)},
          {"of_floor", json_number(c.of_floor)},
          {"local_pages_percent", json_number(c.local_pages_percent)},
          {"processor_share", json_number(c.processor_share)},
          {"time_shared", c.time_shared},
          {"build", build_name(plan, c.c.setting)},
          {"size", size_name(plan, c.c.setting)},
          {"settings", settings_json(plan, c.c.setting)},
          {"placement", c.placement ? json{{"distinct_processors", c.placement->distinct_processors},
                                           {"shared_core", c.placement->runs_sharing_core > 0}}
                                    : json(nullptr)}};
}

json region_run_json(const run_plan& plan, const region_run& run) {
  json regions = json::array();
  for (const recorded_region& region : run.regions) {
    json threads = json::array();
    for (const region_time& thread : region.threads) {
      threads.push_back(
          {{"work", thread.work}, {"barrier", thread.barrier}, {"lock", thread.lock}, {"overhead", thread.overhead}});
    }
    regions.push_back({{"where", region.where},
                       {"instances", region.instances},
                       {"team", region.team},
                       {"wall_seconds", region.wall},
                       {"events", region.events},
                       {"threads", threads}});
  }
  return {{"program", run.c.program->name},
          {"threads", run.c.threads},
          {"run", run.round},
          {"problem", run.problem},
          {"seconds", json_number(run.seconds)},
          {"ns_per_event", json_number(run.ns_per_event)},
          {"build", build_name(plan, run.c.setting)},
          {"size", size_name(plan, run.c.setting)},
          {"settings", settings_json(plan, run.c.setting)},
          {"regions", regions}};
}

// A case's regions across its region runs, as its aggregate holds them.
json regions_json(const case_regions& figures) {
  json out = json::array();
  for (const region_figure& region : figures.regions) {
    json item = {{"where", region.where},
                 {"instances", region.instances},
                 {"team", region.team},
                 {"team_seconds", region.team_seconds}};
    const std::pair<const char*, const share_figure*> parts[] = {
        {"work", &region.work}, {"barrier", &region.barrier}, {"lock", &region.lock}, {"overhead", &region.overhead}};
    for (const auto& [part, share] : parts) {
      item[std::string(part) + "_share"] = share->median;
      item[std::string(part) + "_share_ci_low"] = share->low;
      item[std::string(part) + "_share_ci_high"] = share->high;
    }
    item["imbalance"] = json_number(region.imbalance);
    out.push_back(item);
  }
  return out;
}

// What every format says the run shows: its lines with the notes that weaken them.
json verdict_json(const verdict& said) {
  const auto lines = [](const std::vector<verdict_line>& of) {
    json out = json::array();
    for (const verdict_line& line : of) out.push_back({{"text", line.text}, {"weakened_by", line.weakened_by}});
    return out;
  };
  json notes = json::array();
  for (std::size_t n = 0; n < said.notes.size(); ++n) {
    const trust_note& note = said.notes[n];
    notes.push_back({{"number", touching(note) ? json(n + 1) : json(nullptr)},
                     {"text", note.text},
                     {"touches", note.touches},
                     {"every", note.every}});
  }
  return {{"heading", heading_text(said)},
          {"findings", lines(said.findings)},
          {"unmeasured", lines(said.unmeasured)},
          {"untold", lines(said.untold)},
          {"notes", notes},
          {"weakening_all", said.weakening_all},
          {"conditions", said.conditions}};
}

// A headline's reading of its interval, by the name the schema gives it.
const char* reading_name(reading reads) {
  switch (reads) {
    case reading::above: return "above";
    case reading::below: return "below";
    case reading::level: return "level";
    case reading::too_small: return "too_small";
    case reading::cannot_tell: break;
  }
  return "cannot_tell";
}

}  // namespace

namespace {

// What was asked: the plan, and each command as given.
void add_plan(json& out, const run_plan& plan) {
  out["sizes"] = sizes_json(plan.sizes);
  out["repeat"] = plan.rounds - 1;
  out["threads"] = plan.threads;
  out["timeout_seconds"] = plan.timeout_seconds;
  out["precision"] = plan.precision > 0 ? json(plan.precision) : json(nullptr);
  out["max_time"] = plan.max_seconds > 0 ? json(plan.max_seconds) : json(nullptr);
  out["programs"] = json::array();
  for (const run_case& c : plan.cases) {
    json& programs = out["programs"];
    const bool listed = std::find(programs.begin(), programs.end(), c.program->name) != programs.end();
    if (find_program(c.program->name) != nullptr && !listed) programs.push_back(c.program->name);
  }
  out["commands"] = json::array();
  if (plan.commands) {
    for (const command_program& command : *plan.commands) {
      const command_wanted& wanted = command.wanted;
      out["commands"].push_back({{"name", wanted.name},
                                 {"line", wanted.line},
                                 {"argv", wanted.argv},
                                 {"shell", wanted.shell},
                                 {"time_regex", wanted.time_regex},
                                 {"expect", wanted.expect},
                                 {"expect_exit", wanted.expect_exit}});
    }
  }
}

// Each --env variable with its values in order; every combination of them ran.
json env_json(const run_plan& plan) {
  json env = json::object();
  for (const auto& [name, value] : plan.settings[0].env) {
    json values = json::array();
    for (const setting& under : plan.settings) {
      for (const auto& [other, other_value] : under.env) {
        if (other == name && std::find(values.begin(), values.end(), other_value) == values.end())
          values.push_back(other_value);
      }
    }
    env[name] = values;
  }
  return env;
}

// The machine and its builds.
void add_machine(json& out, const report& r) {
  out["host"] = r.facts.host;
  out["processor"] = r.facts.processor;
  out["processors_online"] = r.facts.processors_online;
  out["allowed_processors"] = r.machine.allowed;
  out["topology"] = topology_json(r.machine);
  // Every build ran every case; a run gives its build by name ("" for the one default build).
  out["builds"] = json::array();
  for (const build_facts& build : r.facts.builds) {
    out["builds"].push_back({{"name", build.name},
                             {"bin", build.bin},
                             {"compiler", build.compiler},
                             {"profiles", build.profiles},
                             {"openmp_runtimes", build.runtimes}});
  }
}

// What the runtime was set to, what the kernel does with pages and clocks, and the read sweep.
void add_settings(json& out, const report& r) {
  out["runtime_settings"] = json::object();
  for (const std::string& setting : r.facts.runtime_settings) {
    const std::size_t equals = setting.find('=');
    out["runtime_settings"][setting.substr(0, equals)] = equals == std::string::npos ? "" : setting.substr(equals + 1);
  }
  out["transparent_huge_pages"] =
      r.facts.transparent_huge_pages.empty() ? json(nullptr) : json(r.facts.transparent_huge_pages);
  out["numa_balancing"] = r.facts.numa_balancing < 0 ? json(nullptr) : json(r.facts.numa_balancing == 1);
  out["clock"] = clock_json(r.facts.clock);
  out["sweep"] = sweep_json(r.sweep);
}

// How the runs went.
void add_conditions(json& out, const report& r) {
  out["budget"] = budget_json(r.budget);
  out["memory_available"] = r.conditions.memory_available > 0 ? json(r.conditions.memory_available) : json(nullptr);
  out["estimated_seconds"] = json_number(r.conditions.estimated_seconds);
  out["load_before"] = json_number(r.conditions.load_before);
  out["steal_percent"] = json_number(r.conditions.steal_percent);
  out["seconds"] = r.conditions.seconds;
  out["calibration_seconds"] = r.conditions.calibration_seconds;
  out["failed_runs"] = r.conditions.failures;
}

json floor_json(const run_plan& plan, const floor_stats& f) {
  return {{"name", describe(f.kind).name},
          {"threads", f.threads},
          {"build", build_name(plan, f.setting)},
          {"size", size_name(plan, f.setting)},
          {"settings", settings_json(plan, f.setting)},
          {"value", f.median},
          {"unit", describe(f.kind).unit},
          {"ci_low", f.ci.low},
          {"ci_high", f.ci.high},
          {"values", f.values},
          {"scheduled", f.scheduled},
          {"processor_share", json_number(f.processor_share)}};
}

json headline_json(const headline& h) {
  const bool has_ratio = h.ratio >= 0;
  const json reference = h.reference_name.empty() ? json(nullptr)
                                                  : json{{"name", h.reference_name},
                                                         {"ratio", h.reference_ratio},
                                                         {"ci_low", h.reference_ci.low},
                                                         {"ci_high", h.reference_ci.high}};
  return {{"text", h.text},
          {"effect", h.effect == effect_kind::none ? json(nullptr) : json(name_of(h.effect))},
          {"ratio", json_number(h.ratio)},
          {"ci_low", has_ratio ? json(h.ci.low) : json(nullptr)},
          {"ci_high", has_ratio ? json(h.ci.high) : json(nullptr)},
          {"precise", h.precise},
          {"supported", h.supported},
          {"reads", reading_name(h.reads)},
          {"reference", reference}};
}

json warning_json(const warning& w) {
  json figures = json::object();
  for (const auto& [name, value] : w.figures) figures[name] = value;
  return {{"kind", name_of(w.kind)},
          {"case", w.subject},
          {"text", (w.advice.empty() ? w.text : w.text + " " + w.advice) + (w.detail.empty() ? "" : "\n" + w.detail)},
          {"figures", figures}};
}

}  // namespace

std::string as_json(const report& r, writing&) {
  json out;
  out["tool"] = "sum_compare";
  out["schema_version"] = kJsonSchemaVersion;
  out["complete"] = r.conditions.complete;
  add_plan(out, r.plan);
  add_machine(out, r);
  out["env"] = env_json(r.plan);
  add_settings(out, r);
  add_conditions(out, r);
  out["runs"] = json::array();
  out["calibration_runs"] = json::array();
  for (const run_record& record : r.records) {
    const bool calibration = record.c.program->role == program_role::calibration;
    out[calibration ? "calibration_runs" : "runs"].push_back(calibration ? calibration_run_json(r.plan, record)
                                                                         : run_json(r.plan, record));
  }
  if (!r.region_runs.empty()) {
    out["region_runs"] = json::array();
    for (const region_run& run : r.region_runs) out["region_runs"].push_back(region_run_json(r.plan, run));
  }
  if (!r.regions_unavailable.empty()) out["regions_unavailable"] = r.regions_unavailable;
  out["floors"] = json::array();
  for (const floor_stats& f : r.measured.floors) out["floors"].push_back(floor_json(r.plan, f));
  out["aggregates"] = json::array();
  for (const case_stats& c : r.measured.cases) {
    json aggregate = aggregate_json(r.plan, c);
    for (const case_regions& figures : r.regions) {
      if (same_case(figures.c, c.c)) aggregate["regions"] = regions_json(figures);
    }
    out["aggregates"].push_back(aggregate);
  }
  out["headlines"] = json::array();
  for (const headline& h : r.said) out["headlines"].push_back(headline_json(h));
  out["verdict"] = verdict_json(r.judged);
  out["warnings"] = json::array();
  for (const warning& w : r.warnings) out["warnings"].push_back(warning_json(w));
  // Child output may hold any bytes: invalid UTF-8 is replaced, so the file stays valid JSON.
  return out.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string as_json(const comparison& compared_runs, writing&) {
  const auto number = [](double value) { return std::isfinite(value) ? json(value) : json(nullptr); };
  json out = {{"tool", "sum_compare"},
              {"schema_version", kJsonSchemaVersion},
              {"compare", {{"base", compared_runs.base_path}, {"new", compared_runs.new_path}}},
              {"differences", compared_runs.differences},
              {"verdict", verdict_json(compared_runs.judged)}};
  out["compared"] = json::array();
  for (const compared_figure& figure : compared_runs.compared) {
    out["compared"].push_back({{"name", figure.name},
                               {"floor", figure.floor},
                               {"base_median", figure.base_median},
                               {"new_median", figure.new_median},
                               {"ratio", number(figure.ratio)},
                               {"ci_low", number(figure.ci.low)},
                               {"ci_high", number(figure.ci.high)},
                               {"p_value", figure.p_value},
                               {"verdict", figure.verdict}});
    if (!figure.why.empty()) out["compared"].back()["why"] = figure.why;
  }
  if (!compared_runs.regions.empty()) {
    out["regions"] = json::array();
    for (const compared_region& region : compared_runs.regions) {
      out["regions"].push_back({{"name", region.name},
                                {"base_share", region.base.median},
                                {"base_ci_low", region.base.low},
                                {"base_ci_high", region.base.high},
                                {"new_share", region.now.median},
                                {"new_ci_low", region.now.low},
                                {"new_ci_high", region.now.high},
                                {"p_value", region.p_value},
                                {"verdict", region.verdict},
                                {"why", region.why}});
    }
  }
  return out.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string as_json(const merged_runs& merged, writing&) {
  json out = {{"tool", "sum_compare"},
              {"schema_version", kJsonSchemaVersion},
              {"machines", json::array()},
              {"figures", json::array()},
              {"flagged", json::array()}};
  for (const merged_machine& machine : merged.machines) {
    out["machines"].push_back({{"name", machine.name},
                               {"file", machine.path},
                               {"host", machine.host},
                               {"processor", machine.processor},
                               {"slow_figures", machine.slow_figures},
                               {"compared_figures", machine.compared_figures}});
    if (machine.flagged) out["flagged"].push_back(machine.name);
  }
  for (const merged_figure& figure : merged.figures) {
    json cells = json::object();
    for (std::size_t k = 0; k < figure.cells.size(); ++k) {
      const merged_cell& cell = figure.cells[k];
      cells[merged.machines[k].name] =
          cell.measured ? json{{"median", cell.median}, {"slow", cell.slow}} : json(nullptr);
    }
    out["figures"].push_back({{"name", figure.name}, {"floor", figure.floor}, {"machines", cells}});
  }
  if (!merged.regions.empty()) out["regions"] = json::array();
  for (const merged_region& region : merged.regions) {
    json cells = json::object();
    for (std::size_t k = 0; k < region.waiting.size(); ++k) {
      const share_figure& share = region.waiting[k];
      cells[merged.machines[k].name] =
          region.measured[k] ? json{{"waiting_share", share.median}, {"ci_low", share.low}, {"ci_high", share.high}}
                             : json(nullptr);
    }
    out["regions"].push_back({{"name", region.name}, {"machines", cells}});
  }
  out["verdict"] = verdict_json(merged.judged);
  return out.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string unsaveable(const report& r) {
  writing how;
  return schema_violation(json::parse(as_json(r, how)), "run");
}

}  // namespace omp_sums
