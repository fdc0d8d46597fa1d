#include "tools/compare_report.hpp"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

#include "tools/machine_facts.hpp"
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

void print_header(const run_plan& plan, const std::string& bin, double load_before) {
  std::vector<std::string> teams;
  for (int t : plan.threads) teams.push_back(std::to_string(t));
  std::vector<std::string> settings = runtime_settings();
  for (std::string& setting : settings) {
    if (setting.rfind("OMP_NUM_THREADS=", 0) == 0) setting += " (replaced by each case's team size)";
  }
  const std::vector<int> allowed = allowed_processors();
  std::printf("sum_compare: %d elements, %d measured runs per case after one warm-up, threads %s\n", plan.size,
              plan.rounds - 1, joined(teams, ",").c_str());
  std::printf("processor:   %s, %d online; this process may use %zu: %s\n", processor_model().c_str(),
              processors_online(), allowed.size(), processor_list(allowed).c_str());
  std::printf("settings:    %s\n", settings.empty() ? "no OMP_*, GOMP_* or KMP_* variable set; OMP_NUM_THREADS is set per case"
                                                    : joined(settings, " ").c_str());
  std::printf("build:       %s; %s\n", std::string(kCompiler).c_str(), build_profiles(plan).c_str());
  std::printf("programs:    %s\n", bin.c_str());
  std::printf("plan:        %zu cases (the calibration on each team size among them), %d runs, about %.0f s; each "
              "run at most %d s\n",
              plan.cases.size(), planned_runs(plan), estimated_seconds(plan), plan.timeout_seconds);
  for (const run_case& c : plan.cases) {
    if (!c.program->on_team) {
      std::printf("             %s runs on one thread only, as the serial reference\n", std::string(c.program->name).c_str());
    }
  }
  if (load_before >= 0) std::printf("load:        %.2f over the minute before the run\n", load_before);
  std::printf("\n");
}

void print_tables(const figures& measured) {
  std::printf("%-20s %7s %10s %-23s %7s %10s %8s %8s %10s %7s\n", "program", "threads", "median s", "  95% interval",
              "spread", "thread s", "ns/elem", "speed-up", "floor s", "x floor");
  bool serial_shown = false;
  for (const case_stats& c : measured.cases) {
    const std::string thread_time = c.thread_median >= 0 ? printed("%.6f", c.thread_median) : "-";
    const std::string speedup = c.speedup >= 0 ? printed("%.2fx", c.speedup) : "-";
    const std::string floor = c.floor_seconds >= 0 ? printed("%.6f", c.floor_seconds) : "-";
    const std::string of_floor = c.of_floor >= 0 ? printed("%.2fx", c.of_floor) : "-";
    serial_shown = serial_shown || !c.c.program->on_team;
    std::printf("%-20s %7d %10.6f %-23s %6.1f%% %10s %8.3f %8s %10s %7s\n", std::string(c.c.program->name).c_str(),
                c.c.threads, c.wall.median, interval_text(c.median_ci, "%.6f").c_str(), c.spread_percent,
                thread_time.c_str(), c.ns_per_element_per_thread, speedup.c_str(), floor.c_str(), of_floor.c_str());
  }
  std::printf("(seconds are medians of the measured runs, with a distribution-free 95%% interval%s; the serial build\n"
              " reports process CPU time; ns/elem is the median time per element a thread handles; speed-up is over the\n"
              " same program on one thread; floor s is the in-order floor of the team size (machine floors below),\n"
              " x floor the median over it%s)\n\n",
              std::any_of(measured.cases.begin(), measured.cases.end(), [](const case_stats& c) { return c.median_ci.coverage < 0.95; })
                  ? " (* fewer than 6 runs give less than 95%)"
                  : "",
              serial_shown ? ";\n the serial build runs on one thread only, as the reference, whatever --threads holds" : "");
  if (measured.floors.empty()) return;

  std::printf("%-33s %7s %10s %s\n", "machine floor (calibrate)", "threads", "median", "  95% interval");
  for (const floor_stats& f : measured.floors) {
    const char* format = f.kind == floor_kind::inorder_streams ? "%.6f" : f.kind == floor_kind::read_bandwidth ? "%.1f" : "%.3f";
    std::printf("%-33s %7d %10s %s\n", floor_label(f.kind).c_str(), f.threads, printed(format, f.median).c_str(),
                interval_text(f.ci, format).c_str());
  }
  std::printf("(add latency: one dependent double add per thread, all threads at once; in-order streams: each thread's\n"
              " in-order block sum alone, no fork, barrier, join or atomic: the slowest thread; read bandwidth: the\n"
              " same blocks read with a reassociated, vectorised sum; line transfer: one cache line handed between\n"
              " two threads)\n\n");
}

void print_warnings(const std::vector<run_record>& records, const figures& measured) {
  std::vector<const run_record*> first_of_case;  // each case's first valid run that wrote there
  for (const run_record& r : records) {
    if (!r.reading.problem.empty() || r.standard_error.empty()) continue;
    const bool known = std::any_of(first_of_case.begin(), first_of_case.end(), [&](const run_record* seen) {
      return seen->c.program == r.c.program && seen->c.threads == r.c.threads;
    });
    if (!known) first_of_case.push_back(&r);
  }
  bool warned = false;
  for (const run_record* first : first_of_case) {
    int valid = 0;
    int wrote = 0;
    for (const run_record& r : records) {
      if (r.c.program != first->c.program || r.c.threads != first->c.threads || !r.reading.problem.empty()) continue;
      ++valid;
      wrote += r.standard_error.empty() ? 0 : 1;
    }
    std::printf("Warning: %s wrote to standard error in %d of its %d valid runs, first:\n%s", case_name(first->c).c_str(),
                wrote, valid, excerpt(first->standard_error).c_str());
    warned = true;
  }
  for (const case_stats& c : measured.cases) {
    // Far-out values that also lie more than 10% from the median: in a tight sample the fences
    // alone flag jitter that moves nothing.
    std::vector<double> far = outliers(c.walls);
    std::erase_if(far, [&](double value) { return std::fabs(value - c.wall.median) <= 0.1 * c.wall.median; });
    if (c.spread_percent <= 20 && far.empty()) continue;
    std::string values;
    for (double value : far) values += (values.empty() ? "" : ", ") + printed("%.6f s", value);
    print_wrapped(printed("Noisy: %s spreads %.0f%% (median %.6f s)", case_name(c.c).c_str(), c.spread_percent,
                          c.wall.median) +
                      (far.empty() ? "" : printed(", far out: %s", values.c_str())) +
                      "; raise --repeat, quiet the machine, or bind the threads (OMP_PROC_BIND=close OMP_PLACES=cores).",
                  100, 2);
    warned = true;
  }
  if (warned) std::printf("\n");
}

void print_headlines(const std::vector<headline>& said) {
  std::printf("What the run shows (ratios of medians, with 95%% bootstrap intervals):\n");
  for (const headline& sentence : said) print_wrapped("- " + sentence.text, 100, 2);
  if (said.empty()) std::printf("- (run sum_walltime and both slot programs to get the headlines)\n");
  std::printf("\n");
}

void print_conditions(const run_conditions& conditions) {
  std::printf("The runs took %.1f s, %.1f s (%.0f%%) of it the calibration", conditions.seconds,
              conditions.calibration_seconds,
              conditions.seconds > 0 ? 100 * conditions.calibration_seconds / conditions.seconds : 0.0);
  if (conditions.steal_percent >= 0) std::printf("; the hypervisor stole %.1f%% of the CPU time meanwhile", conditions.steal_percent);
  std::printf(".\n");
}

void write_csv_header(std::FILE* csv) {
  std::fputs("program,threads,run,elements,wall_seconds,thread_seconds,sum,valid,problem\n", csv);
}

void write_csv_rows(std::FILE* csv, const run_plan& plan, const run_record& r) {
  const std::string problem = csv_field(r.reading.problem);
  const int valid = r.reading.problem.empty() ? 1 : 0;
  if (r.c.program != &kCalibration) {
    std::fprintf(csv, "%s,%d,%d,%d,%s,%s,%s,%d,%s\n", std::string(r.c.program->name).c_str(), r.c.threads, r.round,
                 plan.size, csv_seconds(r, r.reading.seconds).c_str(), csv_seconds(r, r.reading.thread_seconds).c_str(),
                 csv_field(r.reading.sum).c_str(), valid, problem.c_str());
    return;
  }
  for (floor_kind kind : kFloorKinds) {
    const std::size_t field = static_cast<std::size_t>(kind);
    double seconds = -1;
    if (field < r.reading.result_fields.size()) {
      seconds = std::strtod(r.reading.result_fields[field].c_str(), nullptr);
      if (kind == floor_kind::add_latency || kind == floor_kind::line_transfer) seconds *= 1e-9;
    }
    if (kind == floor_kind::line_transfer && r.c.threads == 1) continue;
    std::fprintf(csv, "floor:%s,%d,%d,%d,%s,,,%d,%s\n", std::string(floor_name(kind)).c_str(), r.c.threads, r.round,
                 plan.size, csv_seconds(r, seconds).c_str(), valid, problem.c_str());
  }
}

void write_json(std::FILE* file, const run_plan& plan, const std::vector<run_record>& records, const figures& measured,
                const std::vector<headline>& said, const run_conditions& conditions) {
  json out;
  out["schema_version"] = 2;
  out["complete"] = conditions.complete;
  out["elements"] = plan.size;
  out["repeat"] = plan.rounds - 1;
  out["threads"] = plan.threads;
  out["processor"] = processor_model();
  out["processors_online"] = processors_online();
  out["allowed_processors"] = allowed_processors();
  out["compiler"] = kCompiler;
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
                           {"standard_error", r.standard_error}});
  }
  out["floors"] = json::array();
  for (const floor_stats& f : measured.floors) {
    out["floors"].push_back({{"name", floor_name(f.kind)},
                             {"threads", f.threads},
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
                                 {"of_floor", json_number(c.of_floor)}});
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
  const std::string text = out.dump(2, ' ', false, json::error_handler_t::replace);
  std::fprintf(file, "%s\n", text.c_str());
}
