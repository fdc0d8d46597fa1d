#include "tools/report/console.hpp"

#include <algorithm>
#include <cstdio>

#include "tools/catalog/text.hpp"
#include "tools/report/case_columns.hpp"
#include "tools/report/text_formats.hpp"

void say(const std::string& text) { std::fputs(terminal_text(text).c_str(), stdout); }

std::string wrapped(const std::string& raw, std::size_t width, std::size_t indent) {
  const std::string text = terminal_line(raw);
  std::string out;
  std::size_t column = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = std::min(text.find(' ', at), text.size());
    const std::string word = text.substr(at, end - at);
    if (column > indent && column + 1 + word.size() > width) {
      out += "\n" + std::string(indent, ' ');
      column = indent;
    } else if (at > 0) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
    at = end + 1;
  }
  return out + "\n";
}

namespace {

// A build's compiler and flags, the OpenMP runtime of each program, and where they lie.
std::string build_lines(const build_facts& build) {
  const std::string label = build.name.empty() ? "build:" : "build " + build.name + ":";
  const std::string indent(13, ' ');
  const std::string column = label.size() < 13 ? label + std::string(13 - label.size(), ' ') : label + " ";
  std::string text = wrapped(column + build.compiler + (build.profiles.empty() ? "" : "; " + build.profiles), 100, 13);
  if (!build.runtimes.empty()) text += wrapped(indent + "OpenMP runtime: " + build.runtimes, 100, 13);
  return text + (build.name.empty() ? "programs:    " : indent + "programs in ") + terminal_line(build.bin) + "\n";
}

std::string setting_heading(const run_plan& plan, int setting) {
  return terminal_line("under " + setting_label(plan.settings[static_cast<std::size_t>(setting)]) + ":") + "\n";
}

std::string cases_table(const run_plan& plan, const figures& measured) {
  std::string row;
  for (const column_description& column : kCaseColumns) {
    if (column.console_width == 0) continue;
    row += printed(column.left ? "%-*s " : "%*s ", column.console_width, column.heading);
  }
  std::string text = row.substr(0, row.size() - 1) + "\n";
  int shown_setting = -1;
  for (const case_stats& c : measured.cases) {
    if (plan.settings.size() > 1 && c.c.setting != shown_setting)
      text += setting_heading(plan, shown_setting = c.c.setting);
    row.clear();
    for (const column_description& column : kCaseColumns) {
      if (column.console_width == 0) continue;
      row += printed(column.left ? "%-*s " : "%*s ", column.console_width, case_cell(column.column, plan, c).c_str());
    }
    text += row.substr(0, row.size() - 1) + "\n";
  }
  const bool imprecise = std::any_of(measured.cases.begin(), measured.cases.end(),
                                     [](const case_stats& c) { return c.median_ci.coverage < kConfidence; });
  const bool serial = std::any_of(measured.cases.begin(), measured.cases.end(),
                                  [](const case_stats& c) { return !c.c.program->on_team; });
  text +=
      wrapped(
          "(" + case_legend(false) +
              (imprecise ? "; * fewer than 6 runs cannot give 95%: the interval is then the smallest to the largest run"
                         : "") +
              (serial ? "; the serial build runs on one thread only, as the reference, whatever --threads holds" : "") +
              ")",
          110, 1) +
      "\n";
  if (plan.precision > 0) {
    const long unreached = std::count_if(measured.cases.begin(), measured.cases.end(),
                                         [](const case_stats& c) { return !c.precision_reached; });
    text += printed("--precision %g%%: ", plan.precision * 100) +
            (unreached == 0
                 ? std::string("every case's median interval lies within it")
                 : printed("~ marks the %ld case%s whose median interval did not come within it in --max-time %d s",
                           unreached, unreached == 1 ? "" : "s", plan.max_seconds)) +
            "\n\n";
  }
  return text;
}

std::string floors_table(const run_plan& plan, const figures& measured) {
  if (measured.floors.empty()) return {};
  std::string text = printed("%-33s %7s %10s %s\n", "machine floor (calibrate)", "threads", "median", "95% interval");
  int shown_setting = -1;
  for (const floor_stats& f : measured.floors) {
    if (plan.settings.size() > 1 && f.setting != shown_setting)
      text += setting_heading(plan, shown_setting = f.setting);
    const floor_description& floor = describe(f.kind);
    text += printed("%-33s %7d %10s %s\n", std::string(floor.label).c_str(), f.threads,
                    printed(floor.format, f.median).c_str(), interval_text(f.ci, floor.format).c_str());
  }
  std::string legend;
  for (const floor_description& floor : kFloors) {
    legend += (legend.empty() ? "" : "; ") + std::string(floor.line) + ": " + std::string(floor.description);
  }
  return text + wrapped("(" + legend + ")", 110, 1) + "\n";
}

std::string warnings_text(const std::vector<warning>& warnings) {
  std::string text;
  for (const warning& said : warnings) {
    text += wrapped(said.text, 100, 2);
    // The excerpt keeps its lines, each indented: none can pass for one of sum_compare's own.
    for (std::size_t at = 0; at < said.detail.size();) {
      const std::size_t end = std::min(said.detail.find('\n', at), said.detail.size());
      text += "    " + terminal_text(said.detail.substr(at, end - at)) + "\n";
      at = end + 1;
    }
  }
  return warnings.empty() ? text : text + "\n";
}

std::string headlines_text(const std::vector<headline>& said) {
  std::string text = "What the run shows (ratios of medians, with 95% bootstrap intervals):\n";
  for (const headline& sentence : said) text += wrapped("- " + sentence.text, 100, 2);
  if (said.empty()) text += "- (run sum_walltime and both slot programs to get the headlines)\n";
  if (std::any_of(said.begin(), said.end(), [](const headline& sentence) { return !sentence.precise; })) {
    text +=
        "* fewer than 6 runs on a side cannot give a 95% interval: no sentence claims an effect from it\n"
        "  (raise --repeat)\n";
  }
  return text + "\n";
}

std::string conditions_text(const run_conditions& conditions) {
  return printed("The runs took %.1f s, %.1f s (%.0f%%) of it the calibration", conditions.seconds,
                 conditions.calibration_seconds,
                 conditions.seconds > 0 ? 100 * conditions.calibration_seconds / conditions.seconds : 0.0) +
         (conditions.steal_percent >= 0
              ? printed("; the hypervisor stole %.1f%% of the CPU time meanwhile", conditions.steal_percent)
              : std::string()) +
         ".\n";
}

}  // namespace

std::string console_header(const report& r) {
  const run_plan& plan = r.plan;
  std::vector<std::string> teams;
  for (int t : plan.threads) teams.push_back(std::to_string(t));
  std::vector<std::string> settings = r.facts.runtime_settings;
  for (std::string& setting : settings) {
    if (setting.rfind("OMP_NUM_THREADS=", 0) == 0) setting += " (replaced by each case's team size)";
  }
  std::string text = printed("sum_compare: %d elements, %d measured runs per case after one warm-up, threads %s\n",
                             plan.size, plan.rounds - 1, joined(teams, ",").c_str());
  text += "host:        " + terminal_line(r.facts.host) + "\n";
  text += "processor:   " + terminal_line(r.facts.processor) +
          printed(", %d online; this process may use %zu: ", r.facts.processors_online, r.machine.allowed.size()) +
          processor_list(r.machine.allowed) + "\n";
  text += "topology:    " + topology_line(r.machine) +
          (r.machine.this_system ? "" : " (not this machine's: given to hwloc, e.g. by HWLOC_SYNTHETIC)") + "\n";
  text += "caches:      " + caches_line(r.machine) + "\n";
  text += wrapped("array:       " + array_line(8LL * plan.size, r.machine), 100, 13);
  text += "settings:    " +
          (settings.empty() ? std::string("no OMP_*, GOMP_* or KMP_* variable set; OMP_NUM_THREADS is set per case")
                            : terminal_line(joined(settings, " "))) +
          "\n";
  for (const build_facts& build : r.facts.builds) text += build_lines(build);
  const std::string estimate =
      r.conditions.estimated_seconds >= 0
          ? printed("about %.0f s by an estimate from one probe run", r.conditions.estimated_seconds)
          : std::string("no estimate of its time");
  text += printed(
      "plan:        %zu cases (the calibration on each team size among them), %lld runs, %s; each run at most "
      "%d s\n",
      plan.cases.size(), planned_runs(plan), estimate.c_str(), plan.timeout_seconds);
  if (std::any_of(plan.cases.begin(), plan.cases.end(), [](const run_case& c) { return !c.program->on_team; })) {
    text += "             sum_baseline_serial runs on one thread only, as the serial reference\n";
  }
  if (plan.precision > 0) {
    text += printed(
        "             then rounds are added until every case's median interval lies within %g%% of its "
        "median, for %d s at most\n",
        plan.precision * 100, plan.max_seconds);
  }
  if (plan.settings.size() > 1) {
    std::string line = printed("             every case under each of %zu settings:", plan.settings.size());
    for (const setting& under : plan.settings) line += " [" + setting_label(under) + "]";
    text += wrapped(line, 100, 13);
  }
  if (r.conditions.load_before >= 0)
    text += printed("load:        %.2f over the minute before the run\n", r.conditions.load_before);
  return text + "\n";
}

std::string as_console(const report& r) {
  return cases_table(r.plan, r.measured) + floors_table(r.plan, r.measured) + warnings_text(r.warnings) +
         headlines_text(r.said) + conditions_text(r.conditions);
}
