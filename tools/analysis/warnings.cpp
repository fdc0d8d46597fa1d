#include "tools/analysis/warnings.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include <re2/re2.h>

#include "tools/catalog/text.hpp"

namespace omp_sums {

namespace {

// The value of a runtime setting as the case's runs saw it: from its --env setting, else the
// caller's; "" where neither sets it.
std::string setting_of(const run_plan& plan, const run_case& c, const run_facts& facts, const std::string& name) {
  for (const auto& [variable, value] : plan.settings[static_cast<std::size_t>(c.setting)].env) {
    if (variable == name) return value;
  }
  return runtime_setting(facts, name);
}

// True when the runtime binds the case's threads to places: then a placement line says where a
// thread stayed, not only where it was when it printed.
bool threads_bound(const run_plan& plan, const run_case& c, const run_facts& facts) {
  const std::string bind = setting_of(plan, c, facts, "OMP_PROC_BIND");
  return (!bind.empty() && bind != "false") || !setting_of(plan, c, facts, "GOMP_CPU_AFFINITY").empty();
}

// Where the threads of a placement program ran, when that undoes what the case measures.
void placement_warnings(const run_plan& plan, const case_stats& c, const machine_topology& machine,
                        const run_facts& facts, std::vector<warning>& said) {
  const placement_summary& where = *c.placement;
  const std::string name = case_name(plan, c.c);
  const int allowed = static_cast<int>(machine.allowed.size());
  if (c.c.threads > allowed) {
    said.push_back({warning_kind::placement,
                    name,
                    printed("Placement: %s: more threads than the %d processors this process may use, so they take "
                            "turns.",
                            name.c_str(), allowed),
                    {},
                    {{"processors", allowed}}});
  } else if (where.runs_sharing_core > 0) {
    const bool processor = where.runs_sharing_processor > 0;
    const int runs = processor ? where.runs_sharing_processor : where.runs_sharing_core;
    std::string text =
        printed("Placement: %s: two threads %s in %d of %d runs", name.c_str(),
                processor ? "shared a processor" : "shared a core (its hardware threads)", runs, where.runs);
    if (!threads_bound(plan, c.c, facts)) {
      text += ", as they printed their placement; unbound (no OMP_PROC_BIND), they may have moved apart since.";
    } else if (processor) {
      text += ": bound there, they took turns on it, so those runs did not run the team at once.";
    } else {
      text += ": bound there, they shared its execution units.";
    }
    said.push_back({warning_kind::placement, name, text, {}, {{"runs_sharing", runs}, {"runs", where.runs}}});
  }
  if (where.runs_spanning_kinds > 0) {
    said.push_back({warning_kind::core_kinds,
                    name,
                    printed("Core kinds: %s: its threads ran on cores of more than one kind in %d of %d runs, and a "
                            "team that spans kinds goes at the pace of its slower kind.",
                            name.c_str(), where.runs_spanning_kinds, where.runs),
                    {},
                    {{"runs_spanning_kinds", where.runs_spanning_kinds}, {"runs", where.runs}}});
  }
  const std::string bind = setting_of(plan, c.c, facts, "OMP_PROC_BIND");
  if (where.runs_on_one_node > 0 && !bind.empty() && bind != "false") {
    said.push_back(
        {warning_kind::placement,
         name,
         // The case's name holds the setting where --env gave it.
         printed("Placement: %s: %severy thread sat on NUMA node %d in %d of %d runs, while the other "
                 "nodes this process may use stayed idle.",
                 name.c_str(),
                 name.find("OMP_PROC_BIND=" + bind) == std::string::npos ? ("under OMP_PROC_BIND=" + bind + " ").c_str()
                                                                         : "",
                 where.node, where.runs_on_one_node, where.runs),
         {},
         {{"node", where.node}, {"runs_on_one_node", where.runs_on_one_node}, {"runs", where.runs}}});
  }
}

// The runtime setting that a line of the OpenMP runtime's own rejects (libgomp: "Invalid value
// for environment variable OMP_PLACES"; libomp: "OMP: Warning #42: OMP_PROC_BIND: ..."), or "".
std::string rejected_setting(const std::string& line) {
  static const RE2 gnu("^libgomp: \\w+ value for environment variable ([A-Z_][A-Z0-9_]*)");
  static const RE2 llvm("^OMP: Warning #[0-9]+: ([A-Z_][A-Z0-9_]*)");
  std::string setting;
  if (RE2::PartialMatch(line, gnu, &setting) || RE2::PartialMatch(line, llvm, &setting)) return setting;
  return {};
}

// True for a line the OpenMP runtime writes itself: its warnings, hints and notices, or blank.
bool runtime_remark(const std::string& line) {
  return line.empty() || line.rfind("libgomp: ", 0) == 0 || line.rfind("OMP: ", 0) == 0;
}

// Each setting the runtime rejected, under each of the plan's settings: the runs ran without it.
void runtime_setting_warnings(const run_plan& plan, const std::vector<run_record>& records, const run_facts& facts,
                              std::vector<warning>& said) {
  std::map<std::pair<int, std::string>, std::pair<int, std::string>> rejected;  // (setting, name) -> runs, line
  std::map<int, int> runs_under;
  for (const run_record& r : records) {
    ++runs_under[r.c.setting];
    std::set<std::string> named;
    for (const std::string& line : lines_of(r.standard_error)) {
      const std::string name = rejected_setting(line);
      if (name.empty() || !named.insert(name).second) continue;
      auto& [runs, first] = rejected[{r.c.setting, name}];
      ++runs;
      if (first.empty()) first = kept_line(line, 240);
    }
  }
  for (const auto& [key, found] : rejected) {
    const auto& [under, name] = key;
    const std::string value = setting_of(plan, {&kCalibration, 1, under}, facts, name);
    const std::string label = setting_label(plan.settings[static_cast<std::size_t>(under)]);
    said.push_back({warning_kind::runtime_setting,
                    label,
                    printed("Rejected: the OpenMP runtime refused %s=%s in %d of %d runs%s (\"%s\"): they ran as if it "
                            "were not set.",
                            name.c_str(), value.c_str(), found.first, runs_under[under],
                            label.empty() ? "" : (" under " + label).c_str(), found.second.c_str()),
                    {},
                    {{"runs", found.first}}});
  }
}

// Each case's valid runs that wrote to standard error, more than the runtime's own remarks, with
// the first of them.
void standard_error_warnings(const run_plan& plan, const std::vector<run_record>& records, std::vector<warning>& said) {
  const auto wrote = [](const run_record& r) {
    const std::vector<std::string> lines = lines_of(r.standard_error);
    return !std::all_of(lines.begin(), lines.end(), runtime_remark);
  };
  std::vector<const run_record*> first_of_case;
  for (const run_record& r : records) {
    if (!r.reading.problem.empty() || !wrote(r)) continue;
    const bool known = std::any_of(first_of_case.begin(), first_of_case.end(),
                                   [&](const run_record* seen) { return same_case(seen->c, r.c); });
    if (!known) first_of_case.push_back(&r);
  }
  for (const run_record* first : first_of_case) {
    int valid = 0;
    int writing = 0;
    for (const run_record& r : records) {
      if (!same_case(r.c, first->c) || !r.reading.problem.empty()) continue;
      ++valid;
      writing += wrote(r) ? 1 : 0;
    }
    const std::string name = case_name(plan, first->c);
    said.push_back({warning_kind::standard_error,
                    name,
                    printed("Warning: %s wrote to standard error in %d of its %d valid runs, first:", name.c_str(),
                            writing, valid),
                    excerpt(first->standard_error),
                    {{"runs_with_output", writing}, {"valid_runs", valid}},
                    first->c});
  }
}

// Far-out values that also lie more than 10% from the median: in a tight sample the fences
// alone flag jitter that moves nothing.
void noise_warning(const run_plan& plan, const case_stats& c, const run_facts& facts, std::vector<warning>& said) {
  std::vector<double> far = outliers(c.walls);
  std::erase_if(far, [&](double value) { return std::fabs(value - c.wall.median) <= 0.1 * c.wall.median; });
  if (c.spread_percent <= 20 && far.empty()) return;
  std::string values;
  for (double value : far) values += (values.empty() ? "" : ", ") + printed("%.6f s", value);
  const std::string name = case_name(plan, c.c);
  said.push_back({warning_kind::noise,
                  name,
                  printed("Noisy: %s spreads %.0f%% (median %.6f s)", name.c_str(), c.spread_percent, c.wall.median) +
                      (far.empty() ? "" : printed(", far out: %s", values.c_str())) + ".",
                  {},
                  {{"spread_percent", c.spread_percent}, {"median_seconds", c.wall.median}},
                  c.c,
                  setting_of(plan, c.c, facts, "OMP_PROC_BIND").empty()
                      ? "For noisy cases: raise --repeat, quiet the machine, or bind the threads (OMP_PROC_BIND=close "
                        "OMP_PLACES=cores)."
                      : "For noisy cases: raise --repeat or quiet the machine."});
}

// Usable processors of several kinds: a team larger than the largest kind spans them, and an
// unbound team of any size may.
void core_kind_warning(const machine_topology& machine, std::vector<warning>& said) {
  const std::vector<std::string> kinds = usable_kinds(machine);
  if (kinds.size() < 2) return;
  int largest = 0;
  for (const core_kind& kind : machine.kinds) {
    const auto usable = std::count_if(kind.processors.begin(), kind.processors.end(), [&](int processor) {
      return std::find(machine.allowed.begin(), machine.allowed.end(), processor) != machine.allowed.end();
    });
    largest = std::max(largest, static_cast<int>(usable));
  }
  said.push_back({warning_kind::core_kinds,
                  "",
                  printed("Core kinds: the processors this process may use are of %zu kinds, ", kinds.size()) +
                      joined(kinds, " and ") +
                      printed(": teams of more than %d threads span them, and the threads of an unbound team of any "
                              "size may; bind a team to the processors of one kind (OMP_PLACES) to measure that kind "
                              "alone.",
                              largest),
                  {},
                  {{"kinds", static_cast<double>(kinds.size())}, {"largest_kind", largest}}});
}

}  // namespace

std::vector<warning> find_warnings(const run_plan& plan, const std::vector<run_record>& records,
                                   const figures& measured, const machine_topology& machine, const run_facts& facts) {
  std::vector<warning> said;
  core_kind_warning(machine, said);
  runtime_setting_warnings(plan, records, facts, said);
  standard_error_warnings(plan, records, said);
  std::set<const program_description*> told_unknown;
  for (const case_stats& c : measured.cases) {
    const std::size_t before = said.size();
    if (c.placement) placement_warnings(plan, c, machine, facts, said);
    for (std::size_t k = before; k < said.size(); ++k) said[k].about = c.c;
    // Once a command: on one thread where the thread ran changes nothing the case compares.
    if (!c.placement_unknown.empty() && c.c.threads > 1 && told_unknown.insert(c.c.program).second) {
      const std::string name = std::string(c.c.program->name);
      said.push_back({warning_kind::placement,
                      case_name(plan, c.c),
                      "Placement unknown: " + name + ": " + c.placement_unknown + ".",
                      {},
                      {},
                      c.c});
    }
    noise_warning(plan, c, facts, said);
  }
  return said;
}

std::vector<std::string> advice_of(const std::vector<warning>& warnings) {
  std::vector<std::string> advice;
  for (const warning& w : warnings) {
    if (!w.advice.empty() && std::find(advice.begin(), advice.end(), w.advice) == advice.end())
      advice.push_back(w.advice);
  }
  return advice;
}

}  // namespace omp_sums
