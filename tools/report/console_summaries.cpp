// The console's text of a comparison and of a merge.
#include <cmath>

#include "tools/catalog/text.hpp"
#include "tools/report/console.hpp"
#include "tools/report/text_formats.hpp"

std::string as_console(const comparison& compared) {
  std::string text = terminal_line(printed("sum_compare: %s (new) against %s (base)", compared.new_path.c_str(),
                                           compared.base_path.c_str())) +
                     "\n";
  text += std::string("differences:") +
          (compared.differences.empty() ? " none in machine, build, settings, size or repeats" : "") + "\n";
  for (const std::string& difference : compared.differences) text += "  " + terminal_line(difference) + "\n";
  text += printed("\n%-52s %12s %12s %9s %-18s %9s  %s\n", "case or floor", "base median", "new median", "new/base",
                  "  95% interval", "p (U test)", "verdict");
  for (const compared_figure& figure : compared.compared) {
    const bool has = std::isfinite(figure.ratio) && std::isfinite(figure.ci.low);
    text += printed("%-52s %12.6g %12.6g %9s %-18s %9.3g  %s\n", terminal_line(figure.name).c_str(), figure.base_median,
                    figure.new_median, has ? printed("%.3fx", figure.ratio).c_str() : "-",
                    has ? printed("[%.3f, %.3f]", figure.ci.low, figure.ci.high).c_str() : "-", figure.p_value,
                    figure.verdict.c_str());
  }
  text +=
      "(ratios of medians, new over base, with 95% bootstrap intervals; a verdict needs both the interval and the\n"
      " Mann-Whitney U test, p < 0.05; floors are the calibration's, in their units)\n";
  return compared.note.empty() ? text : text + "\n" + wrapped(compared.note, 100, 0);
}

std::string as_console(const merged_runs& merged) {
  std::string text = printed("sum_compare: %zu machines side by side\n", merged.machines.size());
  for (const merged_machine& machine : merged.machines) {
    text += terminal_line(printed("  %-16s %s: %s, from %s", machine.name.c_str(), machine.host.c_str(),
                                  machine.processor.c_str(), machine.path.c_str())) +
            "\n";
  }
  text += printed("\n%-58s", "case or floor (medians)");
  for (const merged_machine& machine : merged.machines)
    text += printed(" %14s", terminal_line(machine.name).substr(0, 14).c_str());
  text += "\n";
  for (const merged_figure& figure : merged.figures) {
    text += printed("%-58s", terminal_line(figure.name).c_str());
    for (const merged_cell& cell : figure.cells) {
      text += printed(
          " %14s", cell.measured ? (printed(figure.format, cell.median) + (cell.slow ? " !" : "  ")).c_str() : "-  ");
    }
    text += "\n";
  }
  text +=
      "(! marks a machine slower than every other one: the ratio of medians has its 95% bootstrap interval\n"
      " past 1, more time or less bandwidth, and the U test p < 0.05; cases in seconds, floors in their units)\n\n";
  bool any = false;
  for (const merged_machine& machine : merged.machines) {
    if (!machine.flagged) continue;
    any = true;
    text +=
        wrapped(printed("Flagged: %s is slower than every other machine on %d of the %d figures it shares with them.",
                        machine.name.c_str(), machine.slow_figures, machine.compared_figures),
                100, 2);
  }
  if (!merged.note.empty()) return text + wrapped(merged.note, 100, 0);
  return any ? text : text + "No machine is slower than all the others on a quarter of its figures or more.\n";
}
