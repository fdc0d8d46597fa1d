#include "tools/report_markdown.hpp"

#include <cmath>

#include "tools/program_output.hpp"
#include "tools/text_formats.hpp"

namespace {

// Text of outside origin in a cell or a list item, on one line and literal.
std::string cell(const std::string& text) { return markdown_text(text); }

std::string figure_or_dash(double value, const char* format) {
  return value >= 0 && std::isfinite(value) ? printed(format, value) : "-";
}

}  // namespace

std::string markdown_report(const report& r) {
  std::string compilers;
  for (const build_facts& build : r.facts.builds) {
    compilers += (compilers.empty() ? "" : ", ") + (build.name.empty() ? "" : build.name + ": ") + build.compiler;
  }
  std::string text = printed("**sum_compare**: %d elements, %d measured runs per case, on %s (%s)\n\n", r.plan.size,
                             r.plan.rounds - 1, cell(r.facts.processor).c_str(), cell(compilers).c_str());
  text += "| program | threads | setting | median s | 95% interval | spread | speed-up | x floor |\n"
          "|---|---:|---|---:|---|---:|---:|---:|\n";
  for (const case_stats& c : r.measured.cases) {
    text += printed("| %s | %d | %s | %.6f | [%.6f, %.6f]%s | %.1f%% | %s | %s |\n", std::string(c.c.program->name).c_str(),
                    c.c.threads, cell(setting_label(r.plan.settings[static_cast<std::size_t>(c.c.setting)])).c_str(),
                    c.wall.median, c.median_ci.low, c.median_ci.high, c.median_ci.coverage < 0.95 ? "\\*" : "",
                    c.spread_percent, figure_or_dash(c.speedup, "%.2fx").c_str(), figure_or_dash(c.of_floor, "%.2fx").c_str());
  }
  text += "\n";
  for (const headline& said : r.said) text += "- " + cell(said.text) + "\n";
  return text;
}

std::string markdown_comparison(const comparison& compared_runs) {
  const std::vector<std::string>& differences = compared_runs.differences;
  const std::vector<compared_figure>& compared = compared_runs.compared;
  std::string text =
      "**sum_compare**: " + cell(compared_runs.new_path) + " (new) against " + cell(compared_runs.base_path) + " (base)\n\n";
  if (differences.empty()) text += "No difference in machine, build, settings, size or repeats.\n";
  for (const std::string& difference : differences) text += "- " + cell(difference) + "\n";
  text += "\n| case or floor | base median | new median | new/base | 95% interval | p (U test) | verdict |\n"
          "|---|---:|---:|---:|---|---:|---|\n";
  for (const compared_figure& figure : compared) {
    const bool has = std::isfinite(figure.ratio) && std::isfinite(figure.ci.low);
    text += printed("| %s | %.6g | %.6g | %s | %s | %.3g | %s |\n", cell(figure.name).c_str(), figure.base_median,
                    figure.new_median, has ? printed("%.3fx", figure.ratio).c_str() : "-",
                    has ? printed("[%.3f, %.3f]", figure.ci.low, figure.ci.high).c_str() : "-", figure.p_value,
                    cell(figure.verdict).c_str());
  }
  if (!compared_runs.note.empty()) text += "\n" + cell(compared_runs.note) + "\n";
  return text;
}

std::string markdown_merge(const merged_runs& merged) {
  std::string text = printed("**sum_compare**: %zu machines side by side\n\n| case or floor (medians) |", merged.machines.size());
  std::string rule = "|---|";
  for (const merged_machine& machine : merged.machines) {
    text += " " + cell(machine.name) + " |";
    rule += "---:|";
  }
  text += "\n" + rule + "\n";
  for (const merged_figure& figure : merged.figures) {
    text += "| " + cell(figure.name) + " |";
    for (const merged_cell& value : figure.cells) {
      text += value.measured ? " " + printed(figure.format, value.median) + (value.slow ? " **!**" : "") + " |" : " - |";
    }
    text += "\n";
  }
  text += "\n**!**: slower than every other machine (ratio of medians with its 95% interval past 1, U test p < 0.05).\n\n";
  if (!merged.note.empty()) text += cell(merged.note) + "\n";
  for (const merged_machine& machine : merged.machines) {
    if (machine.flagged) {
      text += printed("- Flagged: **%s**, slower than every other machine on %d of %d figures.\n", cell(machine.name).c_str(),
                      machine.slow_figures, machine.compared_figures);
    }
  }
  return text;
}
