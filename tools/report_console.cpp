#include "tools/report_console.hpp"

#include <algorithm>
#include <cstdio>

#include "tools/machine_facts.hpp"
#include "tools/text_formats.hpp"

namespace {

std::string joined(const std::vector<std::string>& items, const std::string& separator) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : separator) + item;
  return text;
}

// "[low, high]", marked * below 95% (one run gives its own value at both ends).
std::string interval_text(const interval& ci, const char* format) {
  return "[" + printed(format, ci.low) + ", " + printed(format, ci.high) + "]" + (ci.coverage < 0.95 ? "*" : "");
}

}  // namespace

void say(const std::string& text) { std::fputs(terminal_text(text).c_str(), stdout); }

void print_wrapped(const std::string& raw, std::size_t width, std::size_t indent) {
  const std::string text = terminal_line(raw);
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

namespace {

// A build's compiler and flags, the OpenMP runtime of each program, and where they lie.
void print_build(const build_facts& build) {
  const std::string label = build.name.empty() ? "build:" : "build " + build.name + ":";
  const std::string indent(13, ' ');
  const std::string column = label.size() < 13 ? label + std::string(13 - label.size(), ' ') : label + " ";
  print_wrapped(column + build.compiler + (build.profiles.empty() ? "" : "; " + build.profiles), 100, 13);
  if (!build.runtimes.empty()) print_wrapped(indent + "OpenMP runtime: " + build.runtimes, 100, 13);
  say(printed("%s%s\n", build.name.empty() ? "programs:    " : (indent + "programs in ").c_str(), terminal_line(build.bin).c_str()));
}

}  // namespace

void print_header(const run_plan& plan, const run_facts& facts, const run_conditions& conditions,
                  const machine_topology& machine) {
  std::vector<std::string> teams;
  for (int t : plan.threads) teams.push_back(std::to_string(t));
  std::vector<std::string> settings = facts.runtime_settings;
  for (std::string& setting : settings) {
    if (setting.rfind("OMP_NUM_THREADS=", 0) == 0) setting += " (replaced by each case's team size)";
  }
  std::printf("sum_compare: %d elements, %d measured runs per case after one warm-up, threads %s\n", plan.size,
              plan.rounds - 1, joined(teams, ",").c_str());
  say(printed("host:        %s\n", terminal_line(facts.host).c_str()));
  say(printed("processor:   %s, %d online; this process may use %zu: %s\n", terminal_line(facts.processor).c_str(),
              facts.processors_online, machine.allowed.size(), processor_list(machine.allowed).c_str()));
  std::printf("topology:    %s%s\n", topology_line(machine).c_str(),
              machine.this_system ? "" : " (not this machine's: given to hwloc, e.g. by HWLOC_SYNTHETIC)");
  std::printf("caches:      %s\n", caches_line(machine).c_str());
  print_wrapped("array:       " + array_line(8LL * plan.size, machine), 100, 13);
  say(printed("settings:    %s\n", settings.empty() ? "no OMP_*, GOMP_* or KMP_* variable set; OMP_NUM_THREADS is set per case"
                                                    : terminal_line(joined(settings, " ")).c_str()));
  for (const build_facts& build : facts.builds) print_build(build);
  const std::string estimate = conditions.estimated_seconds >= 0
                                   ? printed("about %.0f s by an estimate from one probe run", conditions.estimated_seconds)
                                   : std::string("no estimate of its time");
  std::printf("plan:        %zu cases (the calibration on each team size among them), %lld runs, %s; each "
              "run at most %d s\n",
              plan.cases.size(), planned_runs(plan), estimate.c_str(), plan.timeout_seconds);
  if (std::any_of(plan.cases.begin(), plan.cases.end(), [](const run_case& c) { return !c.program->on_team; })) {
    std::printf("             sum_baseline_serial runs on one thread only, as the serial reference\n");
  }
  if (plan.precision > 0) {
    std::printf("             then rounds are added until every case's median interval lies within %g%% of its "
                "median, for %d s at most\n", plan.precision * 100, plan.max_seconds);
  }
  if (plan.settings.size() > 1) {
    std::string line = printed("             every case under each of %zu settings:", plan.settings.size());
    for (const setting& under : plan.settings) line += " [" + setting_label(under) + "]";
    print_wrapped(line, 100, 13);
  }
  if (conditions.load_before >= 0) {
    std::printf("load:        %.2f over the minute before the run\n", conditions.load_before);
  }
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
      say(terminal_line("under " + setting_label(plan.settings[static_cast<std::size_t>(shown_setting)]) + ":") + "\n");
    }
    const std::string thread_time = c.thread_median >= 0 ? printed("%.6f", c.thread_median) : "-";
    const std::string speedup = c.speedup >= 0 ? printed("%.2fx", c.speedup) : "-";
    const std::string floor = c.floor_seconds >= 0 ? printed("%.6f", c.floor_seconds) : "-";
    const std::string of_floor = c.of_floor >= 0 ? printed("%.2fx", c.of_floor) : "-";
    serial_shown = serial_shown || !c.c.program->on_team;
    const std::string name = std::string(c.c.program->name) + (c.precision_reached ? "" : " ~");
    std::printf("%-20s %7d %10.6f %-23s %6.1f%% %10s %8.3f %8s %10s %7s\n", name.c_str(),
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
  if (plan.precision > 0) {
    const long unreached = std::count_if(measured.cases.begin(), measured.cases.end(),
                                         [](const case_stats& c) { return !c.precision_reached; });
    std::printf("--precision %g%%: %s\n\n", plan.precision * 100,
                unreached == 0 ? "every case's median interval lies within it"
                               : printed("~ marks the %ld case%s whose median interval did not come within it in "
                                         "--max-time %d s", unreached, unreached == 1 ? "" : "s", plan.max_seconds).c_str());
  }
  if (measured.floors.empty()) return;

  std::printf("%-33s %7s %10s %s\n", "machine floor (calibrate)", "threads", "median", "  95% interval");
  shown_setting = -1;
  for (const floor_stats& f : measured.floors) {
    if (plan.settings.size() > 1 && f.setting != shown_setting) {
      shown_setting = f.setting;
      say(terminal_line("under " + setting_label(plan.settings[static_cast<std::size_t>(shown_setting)]) + ":") + "\n");
    }
    const floor_description& floor = describe(f.kind);
    std::printf("%-33s %7d %10s %s\n", std::string(floor.label).c_str(), f.threads, printed(floor.format, f.median).c_str(),
                interval_text(f.ci, floor.format).c_str());
  }
  std::printf("(add latency: one dependent double add per thread, all threads at once; in-order streams: each thread's\n"
              " in-order block sum alone, no fork, barrier, join or atomic: the slowest thread; read bandwidth: the\n"
              " same blocks read with a reassociated, vectorised sum; line transfer: one cache line handed between\n"
              " two threads; running sums and atomic adds: every thread's sum kept in memory, in one cache line or a\n"
              " line apart; fork/join: an empty parallel region, back to back or after the team slept; the\n"
              " constructs: per barrier, per atomic add into one shared double, per critical section entry)\n\n");
}

void print_warnings(const std::vector<warning>& warnings) {
  for (const warning& said : warnings) {
    print_wrapped(said.text, 100, 2);
    // The excerpt keeps its lines, each indented: none can pass for one of sum_compare's own.
    for (std::size_t at = 0; at < said.detail.size();) {
      const std::size_t end = std::min(said.detail.find('\n', at), said.detail.size());
      say("    " + said.detail.substr(at, end - at) + "\n");
      at = end + 1;
    }
  }
  if (!warnings.empty()) std::printf("\n");
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

