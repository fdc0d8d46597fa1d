// The pages of a comparison and of a merge: each starts with its verdict and summary.
#include <cmath>
#include <tuple>

#include "tools/analysis/ratios.hpp"
#include "tools/analysis/verdict.hpp"
#include "tools/catalog/text.hpp"
#include "tools/report/html.hpp"
#include "tools/report/html_pieces.hpp"
#include "tools/report/region_views.hpp"

namespace omp_sums {

namespace {

std::string cell(const std::string& text, const char* css = nullptr) { return table_cell(text, css); }

// The page's two machines, folded: they are the facts behind the differences above them.
std::string machines_block(const comparison& compared_runs) {
  std::string html = "<details><summary>The two machines</summary>\n<div class=\"placements\">\n";
  for (const auto& [name, facts, machine] : {std::tuple{"base", &compared_runs.base_facts, &compared_runs.base_machine},
                                             {"new", &compared_runs.new_facts, &compared_runs.new_machine}}) {
    html += "<figure>" + topology_svg(*machine, {}) + "<figcaption>" + name + ": " + html_escaped(facts->host) + ", " +
            html_escaped(facts->processor) + "</figcaption></figure>\n";
  }
  return html + "</div>\n</details>\n";
}

}  // namespace

std::string as_html(const comparison& compared_runs, writing&) {
  const std::vector<std::string>& differences = compared_runs.differences;
  const std::vector<compared_figure>& compared = compared_runs.compared;
  std::string body = "<h1>sum_compare: " + html_escaped(compared_runs.new_path) + " (new) against " +
                     html_escaped(compared_runs.base_path) + " (base)</h1>\n" + verdict_html(compared_runs.judged);
  body += "<h2>What differs between the runs</h2>\n<ul>\n";
  if (differences.empty()) body += "<li>none in machine, build, settings, size or repeats</li>\n";
  for (const std::string& difference : differences) body += "<li>" + html_escaped(difference) + "</li>\n";
  body += "</ul>\n" + machines_block(compared_runs);
  forest_axis axis;
  for (const compared_figure& figure : compared) widen(axis, figure.ratio, figure.ci);
  std::string rows;
  for (const compared_figure& figure : compared) {
    const bool verdict = called(figure);
    const bool has = std::isfinite(figure.ratio) && std::isfinite(figure.ci.low);
    rows += std::string("<tr class=\"compared") + (verdict ? " supported" : "") + "\">" +
            cell(figure.name, "wraps name") + cell(printed("%.6g", figure.base_median)) +
            cell(printed("%.6g", figure.new_median)) +
            cell(has ? printed("%.3fx [%.3f, %.3f]", figure.ratio, figure.ci.low, figure.ci.high) : "-") + "<td>" +
            forest_row_svg(figure.ratio, figure.ci, verdict, axis) + "</td>" + cell(printed("%.3g", figure.p_value)) +
            cell(figure.verdict + (figure.why.empty() ? "" : " (" + figure.why + ")"), "name") + "</tr>\n";
  }
  // No table without a row: the verdict says why nothing pairs.
  if (!compared.empty()) {
    body +=
        "<h2>New over base</h2>\n<p class=\"reading\">" +
        html_escaped(printed("Ratios of medians, new over base, with 95%% bootstrap intervals, on one log scale: for "
                             "a case, left of 1 the new run takes less time; for a floor, it is lower in its unit. A "
                             "verdict needs the interval and the Mann-Whitney U test (p < %.2f) to agree, and a "
                             "difference of %.0f%% at least; \"cannot tell\" where a side had too few runs or was the "
                             "scheduler's, or the interval is too wide.",
                             kAlpha, 100 * kSmallestDifference)) +
        "</p>\n" +
        scrolling("<table id=\"compared\" class=\"forest\">" +
                  heading_row({"case or floor", "base median", "new median", "new/base [95%]",
                               "<span class=\"axis\">" + forest_axis_svg(axis, "faster", "slower") + "</span>",
                               "p (U test)", "verdict"}) +
                  "<tbody>\n" + rows + "</tbody></table>");
  }
  if (!compared_runs.regions.empty()) {
    body +=
        "<h2>Each region's waiting, before and after</h2>\n<p class=\"reading\">Its share of the region's team "
        "time waiting at barriers and for locks, with 95% intervals, where both runs ran under the region tool "
        "(--regions).</p>\n<ul>\n";
    for (const compared_region& region : compared_runs.regions)
      body += "<li>" + html_escaped(region.sentence) + "</li>\n";
    body += "</ul>\n";
  }
  return html_page("sum_compare: comparison", body);
}

std::string as_html(const merged_runs& merged, writing&) {
  std::string body = "<h1>sum_compare: " + side_by_side(merged) + "</h1>\n" + verdict_html(merged.judged);
  std::string rows;
  for (const merged_machine& machine : merged.machines) {
    rows += std::string("<tr") + (machine.flagged ? " class=\"slow\"" : "") + ">" + cell(machine.name, "name") +
            cell(machine.host, "name") + cell(machine.processor, "wraps name") + cell(machine.path, "wraps name") +
            cell(printed("%d of %d", machine.slow_figures, machine.compared_figures)) +
            cell(machine.flagged ? "flagged" : "not flagged", "name") + "</tr>\n";
  }
  body += "<h2>Machines</h2>\n" +
          scrolling("<table id=\"machines\">" +
                    heading_row({"machine", "host", "processor", "file", "slower than all others on", "flag"}) +
                    "<tbody>\n" + rows + "</tbody></table>") +
          "<p class=\"note\">A machine is flagged when it is slower than every other one on at least a quarter of "
          "the figures they share: a ratio of medians with its 95% bootstrap interval past 1 (more time, or less "
          "bandwidth) and a U test p &lt; 0.05.</p>\n";
  if (!merged.note.empty()) body += "<p class=\"note\">" + html_escaped(merged.note) + "</p>\n";
  std::vector<std::string> names{"case or floor (medians)"};
  for (const merged_machine& machine : merged.machines) names.push_back(html_escaped(machine.name));
  rows.clear();
  for (const merged_figure& figure : merged.figures) {
    rows += "<tr class=\"figure\">" + cell(figure.name, "name");
    for (const merged_cell& value : figure.cells) {
      rows += value.measured ? cell(printed(figure.format, value.median), value.slow ? "slow" : nullptr) : cell("-");
    }
    rows += "</tr>\n";
  }
  body += "<h2>Every floor and case</h2>\n" +
          scrolling("<table id=\"merged\">" + heading_row(names) + "<tbody>\n" + rows + "</tbody></table>") +
          "<p class=\"note\">Marked cells: slower than every other machine.</p>\n";
  if (!merged.regions.empty()) {
    body += "<h2>Regions</h2>\n<p class=\"reading\">" + html_escaped(kMergedRegionsHeading) + ".</p>\n<ul>\n";
    for (const merged_region& region : merged.regions)
      body += "<li>" + html_escaped(merged_region_line(merged, region)) + "</li>\n";
    body += "</ul>\n";
  }
  std::string drawings;
  for (const merged_machine& machine : merged.machines) {
    drawings += "<figure>" + topology_svg(machine.machine, {}) + "<figcaption>" + html_escaped(machine.name) +
                (machine.caches.empty() ? "" : ": measured, " + html_escaped(machine.caches)) +
                "</figcaption></figure>\n";
  }
  body += "<details><summary>The machines' drawings</summary>\n<div class=\"placements\">\n" + drawings +
          "</div>\n</details>\n";
  return html_page("sum_compare: machines side by side", body);
}

}  // namespace omp_sums
