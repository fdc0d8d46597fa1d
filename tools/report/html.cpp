#include "tools/report/html.hpp"

#include <cmath>
#include <map>

#include "tools/catalog/text.hpp"
#include "tools/report/case_columns.hpp"
#include "tools/report/effect_charts.hpp"
#include "tools/report/html_pieces.hpp"

namespace {

std::string cell(const std::string& text, const char* css = nullptr) {
  return std::string(css != nullptr ? "<td class=\"" + std::string(css) + "\">" : "<td>") + html_escaped(text) +
         "</td>";
}

std::string heading_row(const std::vector<const char*>& names) {
  std::string row = "<thead><tr>";
  for (std::size_t k = 0; k < names.size(); ++k) {
    row += std::string(k == 0 ? "<th class=\"name\">" : "<th>") + html_escaped(names[k]) + "</th>";
  }
  return row + "</tr></thead>\n";
}

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
  fact("caches", caches_line(r.machine));
  std::string settings;
  for (const std::string& setting : r.facts.runtime_settings) settings += (settings.empty() ? "" : " ") + setting;
  fact("settings", settings.empty() ? "no OMP_*, GOMP_* or KMP_* variable set" : settings);
  for (const build_facts& build : r.facts.builds) {
    fact(build.name.empty() ? "build" : ("build " + build.name).c_str(),
         build.compiler + "; " + build.profiles + "; OpenMP runtime: " + build.runtimes + "; programs in " + build.bin);
  }
  fact("runs", printed("%zu cases, %d measured runs each after a warm-up, in %.1f s", r.plan.cases.size(),
                       r.plan.rounds - 1, r.conditions.seconds));
  return "<table class=\"facts\">\n" + rows + "</table>\n";
}

// The main drawing, then one per case with placement lines, its threads' processors marked.
std::string machine_section(const report& r) {
  std::string html = "<h2>The machine</h2>\n<figure>" + topology_svg(r.machine, {}) + "</figure>\n";
  for (const case_stats& c : r.measured.cases) {
    if (!c.placement) continue;
    std::map<int, int> marks;
    for (const run_record& record : r.records) {
      if (!same_case(record.c, c.c)) continue;
      for (const auto& [thread, fields] : record.reading.thread_fields) ++marks[std::stoi(fields.at(1))];
    }
    html += "<figure class=\"placement\">" + topology_svg(r.machine, marks) + "<figcaption>" +
            html_escaped(case_name(r.plan, c.c)) + ": the processors its threads reported, over " +
            std::to_string(c.placement->runs) + (c.placement->runs == 1 ? " run" : " runs") +
            "</figcaption></figure>\n";
  }
  return html;
}

std::string with_interval_text(const headline& h) {
  return printed("%.2fx [%.2f, %.2f]%s", h.ratio, h.ci.low, h.ci.high, h.precise ? "" : "*");
}

// The headlines with a ratio as a forest plot, the supported ones first; then the notes.
std::string headlines_section(const std::vector<headline>& said) {
  forest_axis axis;
  for (const headline& h : said) {
    if (h.ratio >= 0) widen(axis, h.ratio, h.ci);
  }
  std::string html = "<h2>What the run shows</h2>\n";
  for (bool supported : {true, false}) {
    std::string rows;
    for (const headline& h : said) {
      if (h.ratio < 0 || h.supported != supported) continue;
      rows += std::string("<tr class=\"headline") + (supported ? " supported" : "") + "\">" + cell(h.text, "text") +
              "<td>" + forest_row_svg(h.ratio, h.ci, h.supported, axis) + "</td>" + cell(with_interval_text(h)) +
              "</tr>\n";
    }
    if (rows.empty()) continue;
    html += supported ? "<h3>Measurable: the 95% interval excludes 1</h3>\n"
                      : "<h3>Not measurable, or from too few runs</h3>\n";
    html += "<table class=\"forest\">" +
            heading_row({"headline", printed("ratio (log scale %.2f to %.2f; dashed: 1)", axis.low, axis.high).c_str(),
                         "ratio [95%]"}) +
            "<tbody>\n" + rows + "</tbody></table>\n";
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
            html_escaped(chart.title) + "</figcaption></figure>\n";
  }
  return html;
}

std::string tables_section(const report& r) {
  std::vector<const char*> headings;
  for (const column_description& column : kCaseColumns) headings.push_back(column.heading);
  std::string rows;
  for (const case_stats& c : r.measured.cases) {
    rows += "<tr class=\"case\">";
    for (const column_description& column : kCaseColumns) {
      rows += cell(case_cell(column.column, r.plan, c), column.left ? "name" : nullptr);
    }
    rows += "</tr>\n";
  }
  std::string html = "<h2>Cases</h2>\n<table id=\"cases\">" + heading_row(headings) + "<tbody>\n" + rows +
                     "</tbody></table>\n<p class=\"note\">" + html_escaped(case_legend(column_set::all)) + ".</p>\n";
  rows.clear();
  for (const floor_stats& f : r.measured.floors) {
    const floor_description& floor = describe(f.kind);
    rows += "<tr>" + cell(std::string(floor.label), "name") + cell(std::to_string(f.threads)) +
            cell(setting_label(r.plan.settings[static_cast<std::size_t>(f.setting)]), "name") +
            cell(printed(floor.format, f.median)) + cell(interval_text(f.ci, floor.format)) + "</tr>\n";
  }
  html += "<h2>Machine floors and references (calibrate)</h2>\n<table id=\"floors\">" +
          heading_row({"floor or reference", "threads", "setting", "median", "95% interval"}) + "<tbody>\n" + rows +
          "</tbody></table>\n";
  if (!r.warnings.empty()) {
    html += "<h2>Warnings</h2>\n<ul class=\"warnings\">\n";
    for (const warning& w : r.warnings) {
      html += "<li><pre>" + html_escaped(w.detail.empty() ? w.text : w.text + "\n" + w.detail) + "</pre></li>\n";
    }
    html += "</ul>\n";
  }
  return html;
}

}  // namespace

std::string as_html(const report& r, writing& how) {
  std::vector<effect_chart> charts = effect_charts(r.plan, r.measured);
  const std::string charts_problem =
      how.draw_charts ? draw_effect_charts(charts, how.interrupted) : "the charts were not drawn: asked to draw none";
  const std::string title = printed("sum_compare: %d elements on %s", r.plan.size, r.facts.host.c_str());
  return html_page(title, "<h1>" + html_escaped(title) + "</h1>\n" + facts_table(r) + machine_section(r) +
                              headlines_section(r.said) + charts_section(charts, charts_problem) + tables_section(r));
}

std::string as_html(const comparison& compared_runs, writing&) {
  const std::vector<std::string>& differences = compared_runs.differences;
  const std::vector<compared_figure>& compared = compared_runs.compared;
  std::string body = "<h1>sum_compare: " + html_escaped(compared_runs.new_path) + " (new) against " +
                     html_escaped(compared_runs.base_path) + " (base)</h1>\n";
  body += "<h2>The machines</h2>\n";
  for (const auto& [name, facts, machine] : {std::tuple{"base", &compared_runs.base_facts, &compared_runs.base_machine},
                                             {"new", &compared_runs.new_facts, &compared_runs.new_machine}}) {
    body += "<figure>" + topology_svg(*machine, {}) + "<figcaption>" + name + ": " + html_escaped(facts->host) + ", " +
            html_escaped(facts->processor) + "</figcaption></figure>\n";
  }
  body += "<h2>Differences</h2>\n<ul>\n";
  if (differences.empty()) body += "<li>none in machine, build, settings, size or repeats</li>\n";
  for (const std::string& difference : differences) body += "<li>" + html_escaped(difference) + "</li>\n";
  body += "</ul>\n";
  forest_axis axis;
  for (const compared_figure& figure : compared) widen(axis, figure.ratio, figure.ci);
  std::string rows;
  for (const compared_figure& figure : compared) {
    const bool verdict = figure.verdict != "no measurable difference";
    const bool has = std::isfinite(figure.ratio) && std::isfinite(figure.ci.low);
    rows += std::string("<tr class=\"compared") + (verdict ? " supported" : "") + "\">" + cell(figure.name, "name") +
            cell(printed("%.6g", figure.base_median)) + cell(printed("%.6g", figure.new_median)) +
            cell(has ? printed("%.3fx", figure.ratio) : "-") +
            cell(has ? printed("[%.3f, %.3f]", figure.ci.low, figure.ci.high) : "-") + "<td>" +
            forest_row_svg(figure.ratio, figure.ci, verdict, axis) + "</td>" + cell(printed("%.3g", figure.p_value)) +
            cell(figure.verdict, "name") + "</tr>\n";
  }
  body +=
      "<h2>New over base</h2>\n<p>Ratios of medians, new over base, with 95% bootstrap intervals; a verdict needs both "
      "the interval and the Mann-Whitney U test, p &lt; 0.05. Floors are the calibration's, in their units.</p>\n"
      "<table id=\"compared\" class=\"forest\">" +
      heading_row({"case or floor", "base median", "new median", "new/base", "95% interval",
                   printed("log scale %.2f to %.2f; dashed: 1", axis.low, axis.high).c_str(), "p (U test)",
                   "verdict"}) +
      "<tbody>\n" + rows + "</tbody></table>\n";
  if (!compared_runs.note.empty()) body += "<p class=\"note\">" + html_escaped(compared_runs.note) + "</p>\n";
  return html_page("sum_compare: comparison", body);
}

std::string as_html(const merged_runs& merged, writing&) {
  std::string body = printed("<h1>sum_compare: %zu machines side by side</h1>\n", merged.machines.size());
  std::string rows;
  for (const merged_machine& machine : merged.machines) {
    rows += std::string("<tr") + (machine.flagged ? " class=\"slow\"" : "") + ">" + cell(machine.name, "name") +
            cell(machine.host, "name") + cell(machine.processor, "name") + cell(machine.path, "name") +
            cell(printed("%d of %d", machine.slow_figures, machine.compared_figures)) +
            cell(machine.flagged ? "flagged" : "", "name") + "</tr>\n";
  }
  body +=
      "<h2>Machines</h2>\n<table id=\"machines\">" +
      heading_row({"machine", "host", "processor", "file", "slower than all others on", "flag"}) + "<tbody>\n" + rows +
      "</tbody></table>\n<p>A machine is flagged when it is slower than every other one on at least a quarter of the "
      "figures they share: a ratio of medians with its 95% bootstrap interval past 1 (more time, or less bandwidth) "
      "and a U test p &lt; 0.05.</p>\n";
  if (!merged.note.empty()) body += "<p class=\"note\">" + html_escaped(merged.note) + "</p>\n";
  for (const merged_machine& machine : merged.machines) {
    body += "<figure>" + topology_svg(machine.machine, {}) + "<figcaption>" + html_escaped(machine.name) +
            "</figcaption></figure>\n";
  }
  std::vector<const char*> names{"case or floor (medians)"};
  for (const merged_machine& machine : merged.machines) names.push_back(machine.name.c_str());
  rows.clear();
  for (const merged_figure& figure : merged.figures) {
    rows += "<tr class=\"figure\">" + cell(figure.name, "name");
    for (const merged_cell& value : figure.cells) {
      rows += value.measured ? cell(printed(figure.format, value.median), value.slow ? "slow" : nullptr) : cell("-");
    }
    rows += "</tr>\n";
  }
  body += "<h2>Every floor and case</h2>\n<table id=\"merged\">" + heading_row(names) + "<tbody>\n" + rows +
          "</tbody></table>\n<p class=\"note\">Marked cells: slower than every other machine.</p>\n";
  return html_page("sum_compare: machines side by side", body);
}
