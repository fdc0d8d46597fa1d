#include "tools/compare_report.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "tools/machine_facts.hpp"
#include "tools/placement.hpp"
#include "tools/runner.hpp"
#include "tools/suite_build.hpp"

namespace {

using json = nlohmann::ordered_json;

constexpr floor_kind kFloorKinds[] = {floor_kind::add_latency, floor_kind::inorder_streams, floor_kind::read_bandwidth,
                                      floor_kind::line_transfer};

std::string joined(const std::vector<std::string>& items, const std::string& separator) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : separator) + item;
  return text;
}

// "optimised -O3 ...; serial -O0 ..." for the profiles the plan's programs were built with.
std::string build_profiles(const run_plan& plan) {
  std::vector<std::string> used;
  for (const built_profile& profile : kBuiltProfiles) {
    for (const run_case& c : plan.cases) {
      if (profile_of(c.program->name) == profile.name) {
        used.push_back(std::string(profile.name) + " " + std::string(profile.flags));
        break;
      }
    }
  }
  return joined(used, "; ");
}

// A JSON number, or null where there is none.
json json_number(double value) {
  if (value < 0 || !std::isfinite(value)) return nullptr;
  return value;
}

std::string csv_field(const std::string& text) {
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

// A time of a valid run, or "" where the run failed or printed none.
std::string csv_seconds(const run_record& r, double value) {
  return !r.reading.problem.empty() || value < 0 || !std::isfinite(value) ? "" : printed("%.9g", value);
}

json json_seconds(const run_record& r, double value) { return r.reading.problem.empty() ? json_number(value) : nullptr; }

std::string interval_text(const interval& ci, const char* format) {
  if (ci.coverage <= 0) return "-";
  return "[" + printed(format, ci.low) + ", " + printed(format, ci.high) + "]" + (ci.coverage < 0.95 ? "*" : "");
}

// A floor's value as people read it, and its name in the table.
std::string floor_label(floor_kind kind) {
  switch (kind) {
    case floor_kind::add_latency: return "add latency, ns per add";
    case floor_kind::inorder_streams: return "in-order streams, s";
    case floor_kind::read_bandwidth: return "read bandwidth, GB/s";
    case floor_kind::line_transfer: return "line transfer, ns";
  }
  return "";
}

}  // namespace

void print_wrapped(const std::string& text, std::size_t width, std::size_t indent) {
  std::size_t column = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = std::min(text.find(' ', at), text.size());
    const std::string word = text.substr(at, end - at);
    if (column > indent && column + 1 + word.size() > width) {
      std::printf("\n%*s", static_cast<int>(indent), "");
      column = indent;
    } else if (at > 0) {
      std::putchar(' ');
      ++column;
    }
    std::fputs(word.c_str(), stdout);
    column += word.size();
    at = end + 1;
  }
  std::putchar('\n');
}

void print_header(const run_plan& plan, const std::string& bin, double load_before, const machine_topology& machine) {
  std::vector<std::string> teams;
  for (int t : plan.threads) teams.push_back(std::to_string(t));
  std::vector<std::string> settings = runtime_settings();
  for (std::string& setting : settings) {
    if (setting.rfind("OMP_NUM_THREADS=", 0) == 0) setting += " (replaced by each case's team size)";
  }
  std::printf("sum_compare: %d elements, %d measured runs per case after one warm-up, threads %s\n", plan.size,
              plan.rounds - 1, joined(teams, ",").c_str());
  std::printf("processor:   %s, %d online; this process may use %zu: %s\n", processor_model().c_str(),
              processors_online(), machine.allowed.size(), processor_list(machine.allowed).c_str());
  std::printf("topology:    %s%s\n", topology_line(machine).c_str(),
              machine.this_system ? "" : " (not this machine's: given to hwloc, e.g. by HWLOC_SYNTHETIC)");
  std::printf("caches:      %s\n", caches_line(machine).c_str());
  print_wrapped("array:       " + array_line(8LL * plan.size, machine), 100, 13);
  std::printf("settings:    %s\n", settings.empty() ? "no OMP_*, GOMP_* or KMP_* variable set; OMP_NUM_THREADS is set per case"
                                                    : joined(settings, " ").c_str());
  std::printf("build:       %s; %s\n", std::string(kCompiler).c_str(), build_profiles(plan).c_str());
  std::printf("programs:    %s\n", bin.c_str());
  std::printf("plan:        %zu cases (the calibration on each team size among them), %lld runs, about %.0f s; each "
              "run at most %d s\n",
              plan.cases.size(), planned_runs(plan), estimated_seconds(plan), plan.timeout_seconds);
  if (std::any_of(plan.cases.begin(), plan.cases.end(), [](const run_case& c) { return !c.program->on_team; })) {
    std::printf("             sum_baseline_serial runs on one thread only, as the serial reference\n");
  }
  if (plan.settings.size() > 1) {
    std::string line = printed("             every case under each of %zu settings:", plan.settings.size());
    for (const setting& under : plan.settings) line += " [" + setting_label(under) + "]";
    print_wrapped(line, 100, 13);
  }
  if (load_before >= 0) std::printf("load:        %.2f over the minute before the run\n", load_before);
  std::printf("\n");
}

void print_tables(const run_plan& plan, const figures& measured) {
  std::printf("%-20s %7s %10s %-23s %7s %10s %8s %8s %10s %7s\n", "program", "threads", "median s", "  95% interval",
              "spread", "thread s", "ns/elem", "speed-up", "floor s", "x floor");
  bool serial_shown = false;
  int shown_setting = -1;
  for (const case_stats& c : measured.cases) {
    if (plan.settings.size() > 1 && c.c.setting != shown_setting) {
      shown_setting = c.c.setting;
      std::printf("under %s:\n", setting_label(plan.settings[static_cast<std::size_t>(shown_setting)]).c_str());
    }
    const std::string thread_time = c.thread_median >= 0 ? printed("%.6f", c.thread_median) : "-";
    const std::string speedup = c.speedup >= 0 ? printed("%.2fx", c.speedup) : "-";
    const std::string floor = c.floor_seconds >= 0 ? printed("%.6f", c.floor_seconds) : "-";
    const std::string of_floor = c.of_floor >= 0 ? printed("%.2fx", c.of_floor) : "-";
    serial_shown = serial_shown || !c.c.program->on_team;
    std::printf("%-20s %7d %10.6f %-23s %6.1f%% %10s %8.3f %8s %10s %7s\n", std::string(c.c.program->name).c_str(),
                c.c.threads, c.wall.median, interval_text(c.median_ci, "%.6f").c_str(), c.spread_percent,
                thread_time.c_str(), c.ns_per_element_per_thread, speedup.c_str(), floor.c_str(), of_floor.c_str());
  }
  std::printf("(seconds are medians of the measured runs, with a distribution-free 95%% interval; the serial build\n"
              " reports process CPU time; ns/elem is the median time per element a thread handles; speed-up is over the\n"
              " same program on one thread; floor s is the in-order floor of the team size (machine floors below),\n"
              " x floor the median over it%s%s)\n\n",
              std::any_of(measured.cases.begin(), measured.cases.end(), [](const case_stats& c) { return c.median_ci.coverage < 0.95; })
                  ? ";\n * fewer than 6 runs cannot give 95%: the interval is then the smallest to the largest run"
                  : "",
              serial_shown ? ";\n the serial build runs on one thread only, as the reference, whatever --threads holds" : "");
  if (measured.floors.empty()) return;

  std::printf("%-33s %7s %10s %s\n", "machine floor (calibrate)", "threads", "median", "  95% interval");
  shown_setting = -1;
  for (const floor_stats& f : measured.floors) {
    if (plan.settings.size() > 1 && f.setting != shown_setting) {
      shown_setting = f.setting;
      std::printf("under %s:\n", setting_label(plan.settings[static_cast<std::size_t>(shown_setting)]).c_str());
    }
    const char* format = f.kind == floor_kind::inorder_streams ? "%.6f" : f.kind == floor_kind::read_bandwidth ? "%.1f" : "%.3f";
    std::printf("%-33s %7d %10s %s\n", floor_label(f.kind).c_str(), f.threads, printed(format, f.median).c_str(),
                interval_text(f.ci, format).c_str());
  }
  std::printf("(add latency: one dependent double add per thread, all threads at once; in-order streams: each thread's\n"
              " in-order block sum alone, no fork, barrier, join or atomic: the slowest thread; read bandwidth: the\n"
              " same blocks read with a reassociated, vectorised sum; line transfer: one cache line handed between\n"
              " two threads)\n\n");
}

namespace {

bool same_case(const run_case& a, const run_case& b) {
  return a.program == b.program && a.threads == b.threads && a.setting == b.setting;
}

// OMP_PROC_BIND as the case's runs saw it: from its --env setting, else the caller's.
std::string proc_bind_of(const run_plan& plan, const run_case& c) {
  for (const auto& [name, value] : plan.settings[static_cast<std::size_t>(c.setting)]) {
    if (name == "OMP_PROC_BIND") return value;
  }
  const char* callers = std::getenv("OMP_PROC_BIND");
  return callers != nullptr ? callers : "";
}

// True when the runtime binds the case's threads to places: then a placement line says where a
// thread stayed, not only where it was when it printed.
bool threads_bound(const run_plan& plan, const run_case& c) {
  const std::string bind = proc_bind_of(plan, c);
  bool affinity = std::getenv("GOMP_CPU_AFFINITY") != nullptr;
  for (const auto& [name, value] : plan.settings[static_cast<std::size_t>(c.setting)]) affinity |= name == "GOMP_CPU_AFFINITY";
  return (!bind.empty() && bind != "false") || affinity;
}

// Where the threads of a placement program ran, when that undoes what the case measures.
std::vector<std::string> placement_warnings(const run_plan& plan, const case_stats& c, const machine_topology& machine) {
  std::vector<std::string> said;
  const placement_summary& where = *c.placement;
  const std::string name = case_name(plan, c.c);
  const int allowed = static_cast<int>(machine.allowed.size());
  if (c.c.threads > allowed) {
    said.push_back(printed("Placement: %s: more threads than the %d processors this process may use, so they take "
                           "turns.", name.c_str(), allowed));
  } else if (where.runs_sharing_core > 0) {
    const bool processor = where.runs_sharing_processor > 0;
    std::string text = printed("Placement: %s: two threads %s in %d of %d runs", name.c_str(),
                               processor ? "shared a processor" : "shared a core (its hardware threads)",
                               processor ? where.runs_sharing_processor : where.runs_sharing_core, where.runs);
    if (!threads_bound(plan, c.c)) {
      text += ", as they printed their placement; unbound (no OMP_PROC_BIND), they may have moved apart since.";
    } else if (processor) {
      text += ": bound there, they took turns on it, so those runs did not run the team at once.";
    } else {
      text += ": bound there, they shared its execution units.";
    }
    said.push_back(text);
  }
  const std::string bind = proc_bind_of(plan, c.c);
  if (where.runs_on_one_node > 0 && !bind.empty() && bind != "false") {
    said.push_back(printed("Placement: %s: under OMP_PROC_BIND=%s every thread sat on NUMA node %d in %d of %d runs, "
                           "while the other nodes this process may use stayed idle.",
                           name.c_str(), bind.c_str(), where.node, where.runs_on_one_node, where.runs));
  }
  return said;
}

}  // namespace

void print_warnings(const run_plan& plan, const std::vector<run_record>& records, const figures& measured,
                    const machine_topology& machine) {
  std::vector<const run_record*> first_of_case;  // each case's first valid run that wrote there
  for (const run_record& r : records) {
    if (!r.reading.problem.empty() || r.standard_error.empty()) continue;
    const bool known = std::any_of(first_of_case.begin(), first_of_case.end(),
                                   [&](const run_record* seen) { return same_case(seen->c, r.c); });
    if (!known) first_of_case.push_back(&r);
  }
  bool warned = false;
  for (const run_record* first : first_of_case) {
    int valid = 0;
    int wrote = 0;
    for (const run_record& r : records) {
      if (!same_case(r.c, first->c) || !r.reading.problem.empty()) continue;
      ++valid;
      wrote += r.standard_error.empty() ? 0 : 1;
    }
    std::printf("Warning: %s wrote to standard error in %d of its %d valid runs, first:\n%s",
                case_name(plan, first->c).c_str(), wrote, valid, excerpt(first->standard_error).c_str());
    warned = true;
  }
  for (const case_stats& c : measured.cases) {
    if (c.placement) {
      for (const std::string& warning : placement_warnings(plan, c, machine)) {
        print_wrapped(warning, 100, 2);
        warned = true;
      }
    }
    // Far-out values that also lie more than 10% from the median: in a tight sample the fences
    // alone flag jitter that moves nothing.
    std::vector<double> far = outliers(c.walls);
    std::erase_if(far, [&](double value) { return std::fabs(value - c.wall.median) <= 0.1 * c.wall.median; });
    if (c.spread_percent <= 20 && far.empty()) continue;
    std::string values;
    for (double value : far) values += (values.empty() ? "" : ", ") + printed("%.6f s", value);
    print_wrapped(printed("Noisy: %s spreads %.0f%% (median %.6f s)", case_name(plan, c.c).c_str(), c.spread_percent,
                          c.wall.median) +
                      (far.empty() ? "" : printed(", far out: %s", values.c_str())) +
                      (proc_bind_of(plan, c.c).empty()
                           ? "; raise --repeat, quiet the machine, or bind the threads (OMP_PROC_BIND=close OMP_PLACES=cores)."
                           : "; raise --repeat or quiet the machine."),
                  100, 2);
    warned = true;
  }
  if (warned) std::printf("\n");
}

void print_headlines(const std::vector<headline>& said) {
  std::printf("What the run shows (ratios of medians, with 95%% bootstrap intervals):\n");
  for (const headline& sentence : said) print_wrapped("- " + sentence.text, 100, 2);
  if (said.empty()) std::printf("- (run sum_walltime and both slot programs to get the headlines)\n");
  if (std::any_of(said.begin(), said.end(), [](const headline& sentence) { return !sentence.precise; })) {
    std::printf("* fewer than 6 runs on a side cannot give a 95%% interval: no sentence claims an effect from it\n"
                "  (raise --repeat)\n");
  }
  std::printf("\n");
}

void print_conditions(const run_conditions& conditions) {
  std::printf("The runs took %.1f s, %.1f s (%.0f%%) of it the calibration", conditions.seconds,
              conditions.calibration_seconds,
              conditions.seconds > 0 ? 100 * conditions.calibration_seconds / conditions.seconds : 0.0);
  if (conditions.steal_percent >= 0) std::printf("; the hypervisor stole %.1f%% of the CPU time meanwhile", conditions.steal_percent);
  std::printf(".\n");
}

std::string csv_header() { return "program,threads,run,elements,wall_seconds,thread_seconds,sum,valid,problem,settings\n"; }

std::string csv_rows(const run_plan& plan, const run_record& r) {
  const std::string problem = csv_field(r.reading.problem);
  const std::string under = csv_field(setting_label(plan.settings[static_cast<std::size_t>(r.c.setting)]));
  const int valid = r.reading.problem.empty() ? 1 : 0;
  if (r.c.program != &kCalibration) {
    return printed("%s,%d,%d,%d,%s,%s,%s,%d,%s,%s\n", std::string(r.c.program->name).c_str(), r.c.threads, r.round,
                 plan.size, csv_seconds(r, r.reading.seconds).c_str(), csv_seconds(r, r.reading.thread_seconds).c_str(),
                 csv_field(r.reading.sum).c_str(), valid, problem.c_str(), under.c_str());
  }
  std::string rows;
  for (floor_kind kind : kFloorKinds) {
    const std::size_t field = static_cast<std::size_t>(kind);
    double seconds = -1;
    if (field < r.reading.result_fields.size()) {
      seconds = std::strtod(r.reading.result_fields[field].c_str(), nullptr);
      if (kind == floor_kind::add_latency || kind == floor_kind::line_transfer) seconds *= 1e-9;
    }
    if (kind == floor_kind::line_transfer && r.c.threads == 1) continue;
    rows += printed("floor:%s,%d,%d,%d,%s,,,%d,%s,%s\n", std::string(floor_name(kind)).c_str(), r.c.threads, r.round,
                    plan.size, csv_seconds(r, seconds).c_str(), valid, problem.c_str(), under.c_str());
  }
  return rows;
}

std::string json_document(const run_plan& plan, const std::vector<run_record>& records, const figures& measured,
                const std::vector<headline>& said, const run_conditions& conditions, const machine_topology& machine) {
  const auto settings_of = [&](int setting) {
    json values = json::object();
    for (const auto& [name, value] : plan.settings[static_cast<std::size_t>(setting)]) values[name] = value;
    return values;
  };
  json out;
  out["schema_version"] = 2;
  out["complete"] = conditions.complete;
  out["elements"] = plan.size;
  out["repeat"] = plan.rounds - 1;
  out["threads"] = plan.threads;
  out["processor"] = processor_model();
  out["processors_online"] = processors_online();
  out["allowed_processors"] = machine.allowed;
  json caches = json::array();
  for (const cache_group& cache : machine.caches) {
    caches.push_back({{"level", cache.level}, {"kind", cache.kind == 'd' ? "data" : "unified"}, {"bytes", cache.bytes},
                      {"count", cache.count}});
  }
  out["topology"] = {{"packages", machine.packages},
                     {"numa_nodes", machine.numa_nodes},
                     {"cores", machine.cores},
                     {"processors", machine.processors},
                     {"this_system", machine.this_system},
                     {"caches", caches},
                     {"last_level_cache_bytes", machine.last_level_bytes}};
  out["compiler"] = kCompiler;
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
  for (const std::string& setting : runtime_settings()) {
    const std::size_t equals = setting.find('=');
    out["runtime_settings"][setting.substr(0, equals)] = equals == std::string::npos ? "" : setting.substr(equals + 1);
  }
  out["load_before"] = json_number(conditions.load_before);
  out["steal_percent"] = json_number(conditions.steal_percent);
  out["seconds"] = conditions.seconds;
  out["calibration_seconds"] = conditions.calibration_seconds;
  out["runs"] = json::array();
  for (const run_record& r : records) {
    if (r.c.program == &kCalibration) continue;
    out["runs"].push_back({{"program", r.c.program->name},
                           {"threads", r.c.threads},
                           {"run", r.round},
                           {"wall_seconds", json_seconds(r, r.reading.seconds)},
                           {"thread_seconds", json_seconds(r, r.reading.thread_seconds)},
                           {"sum", r.reading.sum},
                           {"valid", r.reading.problem.empty()},
                           {"problem", r.reading.problem},
                           {"standard_error", r.standard_error},
                           {"settings", settings_of(r.c.setting)}});
  }
  out["floors"] = json::array();
  for (const floor_stats& f : measured.floors) {
    out["floors"].push_back({{"name", floor_name(f.kind)},
                             {"threads", f.threads},
                             {"settings", settings_of(f.setting)},
                             {"value", f.median},
                             {"unit", floor_unit(f.kind)},
                             {"ci_low", f.ci.low},
                             {"ci_high", f.ci.high},
                             {"values", f.values}});
  }
  out["aggregates"] = json::array();
  for (const case_stats& c : measured.cases) {
    out["aggregates"].push_back({{"program", c.c.program->name},
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
                                 {"settings", settings_of(c.c.setting)},
                                 {"placement", c.placement ? json{{"distinct_processors", c.placement->distinct_processors},
                                                                  {"shared_core", c.placement->runs_sharing_core > 0}}
                                                           : json(nullptr)}});
  }
  out["headlines"] = json::array();
  for (const headline& h : said) {
    const bool has_ratio = h.ratio >= 0;
    out["headlines"].push_back({{"text", h.text},
                                {"ratio", json_number(h.ratio)},
                                {"ci_low", has_ratio ? json(h.ci.low) : json(nullptr)},
                                {"ci_high", has_ratio ? json(h.ci.high) : json(nullptr)},
                                {"supported", h.supported}});
  }
  // Child output may hold any bytes: invalid UTF-8 is replaced, so the file stays valid JSON.
  return out.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}
