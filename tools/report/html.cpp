#include "tools/report/html.hpp"

#include <algorithm>
#include <cmath>
#include <map>

#include "tools/analysis/verdict.hpp"
#include "tools/catalog/text.hpp"
#include "tools/report/case_columns.hpp"
#include "tools/report/console.hpp"
#include "tools/report/effect_charts.hpp"
#include "tools/report/html_pieces.hpp"
#include "tools/report/region_views.hpp"

namespace omp_sums {

namespace {

std::string cell(const std::string& text, const char* css = nullptr) { return table_cell(text, css); }

std::string facts_table(const report& r) {
  std::string rows;
  const auto fact = [&](const char* name, const std::string& value) {
    rows += "<tr><th>" + html_escaped(name) + "</th>" + cell(value) + "</tr>\n";
  };
  fact("host", r.facts.host);
  fact("processor", printed("%s, %d online; this process may use %zu: ", r.facts.processor.c_str(),
                            r.facts.processors_online, r.machine.allowed.size()) +
                        processor_list(r.machine.allowed));
  fact("topology", topology_line(r.machine) +
                       (r.machine.this_system ? "" : " (not this machine's: given to hwloc, e.g. by HWLOC_SYNTHETIC)"));
  if (const std::vector<std::string> kinds = usable_kinds(r.machine); !kinds.empty())
    fact("core kinds", joined(kinds, "; "));
  if (r.machine.numa_nodes >= 2) fact("pages", kernel_pages_line(r.facts));
  fact("caches", caches_line(r.machine));
  for (const std::string& line : measured_facts(r)) fact("measured", line);
  const std::string after = frequency_text(r.facts.clock.after);
  fact("clock",
       (clock_line(r.facts.clock).empty() ? "not shown by this kernel (no cpufreq)" : clock_line(r.facts.clock)) +
           (after.empty() ? "" : "; " + after + " after the runs"));
  for (const array_size& size : r.plan.sizes)
    fact(r.plan.sizes.size() == 1 ? "array" : "size", size_line(size, r.machine));
  fact("settings", settings_text(r));
  for (const build_facts& build : r.facts.builds) {
    fact(build.name.empty() ? "build" : ("build " + build.name).c_str(),
         build.compiler + "; " + build.profiles + "; OpenMP runtime: " + build.runtimes + "; programs in " + build.bin);
  }
  for (const std::string& command : command_lines(r.plan)) fact("command", command);
  const run_conditions& run = r.conditions;
  fact("runs", printed("%zu cases, %d measured runs each after a warm-up, in %.1f s (%.1f s of it the calibration)",
                       r.plan.cases.size(), r.plan.rounds - 1, run.seconds, run.calibration_seconds) +
                   (run.estimated_seconds >= 0 ? printed("; estimated %.0f s", run.estimated_seconds) : ""));
  if (!r.budget.cuts.empty()) fact("budget", budget_fact(r));
  if (run.load_before >= 0 || run.steal_percent >= 0) {
    fact(
        "load",
        (run.load_before >= 0 ? printed("%.2f over the minute before the runs, on %zu usable processors",
                                        run.load_before, r.machine.allowed.size())
                              : std::string("not read")) +
            (run.steal_percent >= 0 ? printed("; the hypervisor took %.1f%% of the CPU time", run.steal_percent) : ""));
  }
  return scrolling("<table class=\"facts\">\n" + rows + "</table>\n");
}

// The machine's facts and drawing, then one small drawing per case with placement lines, its
// threads' processors marked, folded into one block.
std::string machine_section(const report& r) {
  std::string html =
      "<h2>The machine</h2>\n" + facts_table(r) + "<figure>" + topology_svg(r.machine, {}) + "</figure>\n";
  std::string drawings;
  int count = 0;
  for (const case_stats& c : r.measured.cases) {
    if (!c.placement) continue;
    std::map<int, int> marks;
    for (const run_record& record : r.records) {
      if (!same_case(record.c, c.c)) continue;
      for (const auto& [thread, reported] : record.reading.threads) ++marks[reported.processor];
    }
    ++count;
    drawings += "<figure class=\"placement\">" + topology_svg(r.machine, marks) + "<figcaption>" +
                html_escaped(case_name(r.plan, c.c)) + ": the processors its threads reported, over " +
                std::to_string(c.placement->runs) + (c.placement->runs == 1 ? " run" : " runs") +
                "</figcaption></figure>\n";
  }
  if (count > 0) {
    html += printed("<details class=\"placement\"><summary>Where the threads ran: %d case%s</summary>\n", count,
                    count == 1 ? "" : "s") +
            "<div class=\"placements\">\n" + drawings + "</div>\n</details>\n";
  }
  return html;
}

// A headline's ratio as a time ratio, as its forest row plots it: below 1 faster.
std::pair<double, interval> as_time_ratio(const headline& h) {
  if (!h.of_speeds) return {h.ratio, h.ci};
  return {1 / h.ratio, {1 / h.ci.high, 1 / h.ci.low, h.ci.coverage}};
}

// The headlines with a ratio as a forest plot of time ratios, the measurable ones first; then
// the notes.
std::string headlines_section(const std::vector<headline>& said) {
  forest_axis axis;
  for (const headline& h : said) {
    if (h.ratio > 0) widen(axis, as_time_ratio(h).first, as_time_ratio(h).second);
  }
  std::string html =
      "<h2>The headlines in full</h2>\n<p class=\"reading\">Each row is a time ratio with its 95% interval, on one "
      "log scale: left of the dashed 1 the first named takes less time, right of it more. The last column gives the "
      "figure as its sentence does, a ratio of speeds or of times. A row is measurable, and drawn dark, when its "
      "interval excludes 1 by more than the smallest difference called.</p>\n";
  std::string rows;
  bool imprecise = false;
  for (bool supported : {true, false}) {
    for (const headline& h : said) {
      if (h.ratio < 0 || h.supported != supported) continue;
      const auto [ratio, ci] = as_time_ratio(h);
      imprecise = imprecise || !h.precise;
      // The column gives the sentence's own figure, in its sense; the row plots it as a time ratio.
      rows += std::string("<tr class=\"headline") + (supported ? " supported" : "") + "\">" + cell(h.text, "text") +
              "<td>" + forest_row_svg(ratio, ci, h.supported, axis) + "</td>" +
              cell(printed("%.2fx [%.2f, %.2f]%s %s", h.ratio, h.ci.low, h.ci.high, h.precise ? "" : "*",
                           h.of_speeds ? "speed" : "time")) +
              "</tr>\n";
    }
  }
  if (!rows.empty()) {
    html +=
        scrolling("<table class=\"forest stacking\"><thead><tr><th class=\"name\">headline</th><th class=\"axis\">" +
                  forest_axis_svg(axis, "faster", "slower") +
                  "</th><th>as the sentence says [95%]</th></tr></thead><tbody>\n" + rows + "</tbody></table>\n") +
        (imprecise ? "<p class=\"note\">* from fewer runs than a 95% interval needs.</p>\n" : "");
  }
  std::string notes;
  for (const headline& h : said) {
    if (h.ratio < 0) notes += "<li>" + html_escaped(h.text) + "</li>\n";
  }
  if (!notes.empty()) html += "<ul class=\"notes\">\n" + notes + "</ul>\n";
  return html;
}

std::string charts_section(const std::vector<effect_chart>& charts, const std::string& problem) {
  std::string html = "<h2>Charts</h2>\n";
  if (!problem.empty()) return html + "<p class=\"note no-charts\">" + html_escaped(problem) + "</p>\n";
  for (const effect_chart& chart : charts) {
    html += "<figure class=\"chart\" data-effect=\"" + html_escaped(chart.effect) + "\">" + chart.svg + "<figcaption>" +
            html_escaped(chart.reading) + "</figcaption></figure>\n";
  }
  return html;
}

std::string tables_section(const report& r) {
  std::vector<std::string> headings;
  for (const column_description& column : kCaseColumns) headings.push_back(html_escaped(column.heading));
  std::string rows;
  for (const case_stats& c : r.measured.cases) {
    rows += "<tr class=\"case\">";
    for (const column_description& column : kCaseColumns) {
      rows += cell(case_cell(column.column, r.plan, c), column.left ? "name" : nullptr);
    }
    rows += "</tr>\n";
  }
  std::string html =
      "<h2>Cases</h2>\n" +
      scrolling("<table id=\"cases\">" + heading_row(headings) + "<tbody>\n" + rows + "</tbody></table>") +
      "<p class=\"note\">" + html_escaped(case_legend(column_set::all)) + ".</p>\n";
  rows.clear();
  for (const floor_stats& f : r.measured.floors) {
    const floor_description& floor = describe(f.kind);
    rows += "<tr>" + cell(std::string(floor.label), "name") + cell(std::to_string(f.threads)) +
            cell(setting_label(r.plan.settings[static_cast<std::size_t>(f.setting)]), "name") +
            cell(printed(floor.format, f.median) + (f.scheduled ? " !" : "")) +
            cell(interval_text(f.ci, floor.format)) + "</tr>\n";
  }
  html += "<h2>Machine floors and references (calibrate)</h2>\n" +
          scrolling("<table id=\"floors\">" +
                    heading_row({"floor or reference", "threads", "setting", "median", "95% interval"}) + "<tbody>\n" +
                    rows + "</tbody></table>") +
          "<p class=\"note\">" +
          html_escaped(floor_legend(std::any_of(r.measured.floors.begin(), r.measured.floors.end(),
                                                [](const floor_stats& f) { return f.scheduled; }))) +
          ".</p>\n";
  return html;
}

// Every warning in full, its details folded.
std::string warnings_section(const std::vector<warning>& warnings) {
  if (warnings.empty()) return {};
  std::string html = "<h2>Warnings</h2>\n<ul class=\"warnings\">\n";
  for (const warning& w : warnings) {
    html +=
        "<li>" + html_escaped(w.text) +
        (w.detail.empty() ? ""
                          : "<details><summary>details</summary><pre>" + html_escaped(w.detail) + "</pre></details>") +
        "</li>\n";
  }
  for (const std::string& advice : advice_of(warnings))
    html += "<li class=\"advice\">" + html_escaped(advice) + "</li>\n";
  return html + "</ul>\n";
}

}  // namespace

std::string as_html(const report& r, writing& how) {
  std::vector<effect_chart> charts = effect_charts(r.plan, r.measured, r.machine);
  if (std::optional<effect_chart> sweep = sweep_chart(r.sweep, r.caches, r.machine))
    charts.insert(charts.begin(), std::move(*sweep));
  const std::string charts_problem =
      how.draw_charts ? draw_effect_charts(charts, how.interrupted) : "the charts were not drawn: asked to draw none";
  const std::string title = printed("sum_compare: %s%s on %s", r.plan.sizes.size() == 1 ? "" : "sizes ",
                                    sizes_text(r.plan.sizes).c_str(), shortened(r.facts.host).c_str());
  const std::string lead =
      shortened_html(r.facts.processor) +
      html_escaped(printed("; %d measured runs a case, in %.1f s.", r.plan.rounds - 1, r.conditions.seconds));
  return html_page(title, "<h1>" + html_escaped(title) + "</h1>\n<p class=\"lead\">" + lead + "</p>\n" +
                              verdict_html(r.judged) + headlines_section(r.said) + warnings_section(r.warnings) +
                              charts_section(charts, charts_problem) + regions_html(r) + tables_section(r) +
                              machine_section(r));
}

}  // namespace omp_sums
