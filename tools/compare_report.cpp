#include "tools/compare_report.hpp"

#include <cmath>
#include <cstdio>
#include <algorithm>
#include <nlohmann/json.hpp>

#include "tools/machine_facts.hpp"
#include "tools/runner.hpp"
#include "tools/suite_build.hpp"

namespace {

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

// A JSON number, or null where the program printed none.
nlohmann::ordered_json json_number(double value) {
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

nlohmann::ordered_json json_seconds(const run_record& r, double value) {
  return r.reading.problem.empty() ? json_number(value) : nullptr;
}

}  // namespace

void print_header(const run_plan& plan, const std::string& bin) {
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
  std::printf("plan:        %zu cases, %d runs, at most %d s each", plan.cases.size(), planned_runs(plan),
              plan.timeout_seconds);
  for (const run_case& c : plan.cases) {
    if (!c.program->on_team) std::printf("; %s runs on one thread only, the serial reference", std::string(c.program->name).c_str());
  }
  std::printf("\n\n");
}

void print_table(const std::vector<case_stats>& cases) {
  std::printf("%-20s %7s %11s %11s %11s %7s %11s %9s %8s\n", "program", "threads", "median s", "min s", "max s",
              "spread", "thread s", "ns/elem", "speed-up");
  bool serial_shown = false;
  for (const case_stats& c : cases) {
    std::string thread_time = "-";
    if (c.thread_median >= 0) thread_time = printed("%.6f", c.thread_median);
    std::string speedup = "-";
    if (c.speedup >= 0) speedup = printed("%.2fx", c.speedup);
    serial_shown = serial_shown || !c.c.program->on_team;
    std::printf("%-20s %7d %11.6f %11.6f %11.6f %6.1f%% %11s %9.3f %8s\n", std::string(c.c.program->name).c_str(),
                c.c.threads, c.wall.median, c.wall.min, c.wall.max, c.spread_percent, thread_time.c_str(),
                c.ns_per_element_per_thread, speedup.c_str());
  }
  std::printf("(seconds are medians of the measured runs; the serial build reports process CPU time;\n"
              " ns/elem is the median time per element a thread handles; speed-up is over the same\n"
              " program on one thread%s)\n\n",
              serial_shown ? ";\n the serial build runs on one thread only, as the reference, whatever --threads holds"
                           : "");
}

void print_warnings(const std::vector<run_record>& records) {
  std::vector<const run_record*> first_of_case;  // each case's first valid run that wrote there
  for (const run_record& r : records) {
    if (!r.reading.problem.empty() || r.standard_error.empty()) continue;
    const bool known = std::any_of(first_of_case.begin(), first_of_case.end(), [&](const run_record* seen) {
      return seen->c.program == r.c.program && seen->c.threads == r.c.threads;
    });
    if (!known) first_of_case.push_back(&r);
  }
  for (const run_record* first : first_of_case) {
    int valid = 0;
    int wrote = 0;
    for (const run_record& r : records) {
      if (r.c.program != first->c.program || r.c.threads != first->c.threads || !r.reading.problem.empty()) continue;
      ++valid;
      wrote += r.standard_error.empty() ? 0 : 1;
    }
    std::printf("Warning: %s on %d threads wrote to standard error in %d of its %d valid runs, first:\n%s",
                std::string(first->c.program->name).c_str(), first->c.threads, wrote, valid,
                excerpt(first->standard_error).c_str());
  }
  if (!first_of_case.empty()) std::printf("\n");
}

void write_csv_header(std::FILE* csv) {
  std::fputs("program,threads,run,elements,wall_seconds,thread_seconds,sum,valid,problem\n", csv);
}

void write_csv_row(std::FILE* csv, const run_plan& plan, const run_record& r) {
  std::fprintf(csv, "%s,%d,%d,%d,%s,%s,%s,%d,%s\n", std::string(r.c.program->name).c_str(), r.c.threads, r.round,
               plan.size, csv_seconds(r, r.reading.seconds).c_str(), csv_seconds(r, r.reading.thread_seconds).c_str(),
               csv_field(r.reading.sum).c_str(), r.reading.problem.empty() ? 1 : 0, csv_field(r.reading.problem).c_str());
}

void write_json(std::FILE* file, const run_plan& plan, const std::vector<run_record>& records,
                const std::vector<case_stats>& cases, bool complete) {
  nlohmann::ordered_json json;
  json["complete"] = complete;
  json["elements"] = plan.size;
  json["repeat"] = plan.rounds - 1;
  json["processor"] = processor_model();
  json["processors_online"] = processors_online();
  json["allowed_processors"] = allowed_processors();
  json["compiler"] = kCompiler;
  json["runtime_settings"] = nlohmann::ordered_json::object();
  for (const std::string& setting : runtime_settings()) {
    const std::size_t equals = setting.find('=');
    json["runtime_settings"][setting.substr(0, equals)] = equals == std::string::npos ? "" : setting.substr(equals + 1);
  }
  json["runs"] = nlohmann::ordered_json::array();
  for (const run_record& r : records) {
    json["runs"].push_back({{"program", r.c.program->name},
                            {"threads", r.c.threads},
                            {"run", r.round},
                            {"wall_seconds", json_seconds(r, r.reading.seconds)},
                            {"thread_seconds", json_seconds(r, r.reading.thread_seconds)},
                            {"sum", r.reading.sum},
                            {"valid", r.reading.problem.empty()},
                            {"problem", r.reading.problem},
                            {"standard_error", r.standard_error}});
  }
  json["aggregates"] = nlohmann::ordered_json::array();
  for (const case_stats& c : cases) {
    json["aggregates"].push_back({{"program", c.c.program->name},
                                  {"threads", c.c.threads},
                                  {"valid_runs", c.valid_runs},
                                  {"median_seconds", json_number(c.wall.median)},
                                  {"min_seconds", json_number(c.wall.min)},
                                  {"max_seconds", json_number(c.wall.max)},
                                  {"spread_percent", json_number(c.spread_percent)},
                                  {"median_thread_seconds", json_number(c.thread_median)},
                                  {"ns_per_element_per_thread", json_number(c.ns_per_element_per_thread)},
                                  {"speedup", json_number(c.speedup)}});
  }
  // Child output may hold any bytes: invalid UTF-8 is replaced, so the file stays valid JSON.
  const std::string text = json.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  std::fprintf(file, "%s\n", text.c_str());
}
