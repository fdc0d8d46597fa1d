#include "tools/report/markdown.hpp"

#include <cmath>

#include "tools/analysis/verdict.hpp"
#include "tools/catalog/text.hpp"
#include "tools/report/case_columns.hpp"
#include "tools/report/region_views.hpp"
#include "tools/report/text_formats.hpp"

namespace omp_sums {

namespace {

// Text of outside origin in a cell or a list item, on one line and literal.
std::string cell(const std::string& text) { return markdown_text(text); }

// The verdict first: the findings, one item each, then the trust notes with what they touch.
std::string verdict_markdown(const verdict& said) {
  std::string text = "**" + cell(heading_text(said)) + "**\n\n";
  for (const verdict_line& finding : said.findings) text += "- " + cell(line_text(finding)) + "\n";
  if (said.findings.empty()) text += "- No measurable finding.\n";
  if (!said.unmeasured.empty()) text += "- No measurable difference: " + cell(lines_text(said.unmeasured)) + ".\n";
  if (!said.untold.empty()) text += "- This run cannot tell: " + cell(lines_text(said.untold)) + ".\n";
  text += "\n**Trust** (" + cell(said.conditions) + ")" +
          (said.notes.empty() ? ": nothing in the run's conditions touches "
                                "these findings.\n"
                              : ":\n\n");
  for (std::size_t n = 0; n < said.notes.size(); ++n) {
    const trust_note& note = said.notes[n];
    const std::string touches = touches_text(note);
    text += (touching(note) ? printed("%zu. ", n + 1) : std::string("- ")) +
            cell(note.text + (touches.empty() ? "" : " " + touches)) + "\n";
  }
  return text + "\n";
}

}  // namespace

std::string as_markdown(const report& r, writing&) {
  std::string compilers;
  for (const build_facts& build : r.facts.builds) {
    compilers += (compilers.empty() ? "" : ", ") + (build.name.empty() ? "" : build.name + ": ") + build.compiler;
  }
  std::string text = printed("**sum_compare**: %s%s, %d measured runs per case, on %s (%s)\n\n",
                             r.plan.sizes.size() == 1 ? "" : "sizes ", sizes_text(r.plan.sizes).c_str(),
                             r.plan.rounds - 1, cell(r.facts.processor).c_str(), cell(compilers).c_str()) +
                     verdict_markdown(r.judged);
  std::string heading = "|";
  std::string rule = "|";
  for (const column_description& column : kCaseColumns) {
    if (!column.in_markdown) continue;
    heading += " " + std::string(column.heading) + " |";
    rule += column.left ? "---|" : "---:|";
  }
  text += heading + "\n" + rule + "\n";
  for (const case_stats& c : r.measured.cases) {
    text += "|";
    for (const column_description& column : kCaseColumns) {
      if (column.in_markdown) text += " " + cell(case_cell(column.column, r.plan, c)) + " |";
    }
    text += "\n";
  }
  text += "\n" + cell(case_legend(column_set::markdown)) + ".\n\n**The headlines in full**\n\n";
  for (const headline& said : r.said) text += "- " + cell(said.text) + "\n";
  if (!r.warnings.empty()) text += "\n**Warnings**\n\n";
  for (const warning& w : r.warnings) text += "- " + cell(w.text) + "\n";
  const run_conditions& run = r.conditions;
  text +=
      "\n" +
      cell(printed("The runs took %.1f s, %.1f s of it the calibration", run.seconds, run.calibration_seconds) +
           (run.load_before >= 0 ? printed("; the load was %.2f before them", run.load_before) : "") +
           (run.steal_percent >= 0 ? printed("; the hypervisor took %.1f%% of the CPU time", run.steal_percent) : "")) +
      ".\n";
  return text + regions_markdown(r);
}

std::string as_markdown(const comparison& compared_runs, writing&) {
  const std::vector<std::string>& differences = compared_runs.differences;
  const std::vector<compared_figure>& compared = compared_runs.compared;
  std::string text = "**sum_compare**: " + cell(compared_runs.new_path) + " (new) against " +
                     cell(compared_runs.base_path) + " (base)\n\n" + verdict_markdown(compared_runs.judged) +
                     "**What differs between the runs**\n\n";
  if (differences.empty()) text += "No difference in machine, build, settings, size or repeats.\n";
  for (const std::string& difference : differences) text += "- " + cell(difference) + "\n";
  if (compared.empty()) return text;  // the verdict says why nothing pairs
  text +=
      "\n| case or floor | base median | new median | new/base | 95% interval | p (U test) | verdict |\n"
      "|---|---:|---:|---:|---|---:|---|\n";
  for (const compared_figure& figure : compared) {
    const bool has = std::isfinite(figure.ratio) && std::isfinite(figure.ci.low);
    text += printed("| %s | %.6g | %.6g | %s | %s | %.3g | %s |\n", cell(figure.name).c_str(), figure.base_median,
                    figure.new_median, has ? printed("%.3fx", figure.ratio).c_str() : "-",
                    has ? printed("[%.3f, %.3f]", figure.ci.low, figure.ci.high).c_str() : "-", figure.p_value,
                    cell(figure.verdict + (figure.why.empty() ? "" : " (" + figure.why + ")")).c_str());
  }
  if (!compared_runs.regions.empty())
    text += "\n**Each region's waiting, before and after** (`--regions` on both sides)\n\n";
  for (const compared_region& region : compared_runs.regions) text += "- " + cell(region.sentence) + "\n";
  return text;
}

std::string as_markdown(const merged_runs& merged, writing&) {
  std::string text = "**sum_compare**: " + side_by_side(merged) + "\n\n" + verdict_markdown(merged.judged) +
                     "| case or floor (medians) |";
  std::string rule = "|---|";
  for (const merged_machine& machine : merged.machines) {
    text += " " + cell(machine.name) + " |";
    rule += "---:|";
  }
  text += "\n" + rule + "\n";
  for (const merged_figure& figure : merged.figures) {
    text += "| " + cell(figure.name) + " |";
    for (const merged_cell& value : figure.cells) {
      text +=
          value.measured ? " " + printed(figure.format, value.median) + (value.slow ? " **!**" : "") + " |" : " - |";
    }
    text += "\n";
  }
  text +=
      "\n**!**: slower than every other machine (ratio of medians with its 95% interval past 1, U test p < 0.05).\n\n";
  if (!merged.note.empty()) text += cell(merged.note) + "\n";
  for (const merged_machine& machine : merged.machines) {
    if (machine.flagged) {
      text += printed("- Flagged: **%s**, slower than every other machine on %d of %d figures.\n",
                      cell(machine.name).c_str(), machine.slow_figures, machine.compared_figures);
    }
  }
  if (!merged.regions.empty()) text += "\n**" + cell(kMergedRegionsHeading) + "**\n\n";
  for (const merged_region& region : merged.regions) text += "- " + cell(merged_region_line(merged, region)) + "\n";
  return text;
}

}  // namespace omp_sums
