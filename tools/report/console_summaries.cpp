// The console's text of a comparison and of a merge, each ending with its verdict.
#include <cmath>

#include "tools/analysis/ratios.hpp"
#include "tools/catalog/text.hpp"
#include "tools/report/case_columns.hpp"
#include "tools/report/console.hpp"
#include "tools/report/region_views.hpp"
#include "tools/report/text_formats.hpp"

namespace omp_sums {

namespace {

// "0.971x [0.942, 1.047]", or "-" where a median of 0 s left no ratio.
std::string ratio_text(const compared_figure& figure) {
  const bool has = std::isfinite(figure.ratio) && std::isfinite(figure.ci.low);
  return has ? printed("%.3fx [%.3f, %.3f]", figure.ratio, figure.ci.low, figure.ci.high) : "-";
}

}  // namespace

std::string as_console(const comparison& compared, std::size_t width) {
  std::string text =
      wrapped(printed("sum_compare: %s (new) against %s (base)", compared.new_path.c_str(), compared.base_path.c_str()),
              width, 2);
  text += std::string("differences:") +
          (compared.differences.empty() ? " none in machine, build, settings, size or repeats" : "") + "\n";
  for (const std::string& difference : compared.differences) text += wrapped("  " + difference, width, 4);
  if (compared.compared.empty()) {
    // No table without a row: the verdict's note says why and how to pair the runs.
  } else if (width >= kWideConsole) {
    text += printed("\n%-52s %12s %12s %-24s %9s  %s\n", "case or floor", "base median", "new median", "new/base [95%]",
                    "p (U test)", "verdict");
    for (const compared_figure& figure : compared.compared) {
      text += printed("%-52s %12.6g %12.6g %-24s %9.3g  %s\n", terminal_line(figure.name).c_str(), figure.base_median,
                      figure.new_median, ratio_text(figure).c_str(), figure.p_value, figure.verdict.c_str());
    }
  } else {
    // Each figure on two lines: its name, then its numbers under it.
    text += printed("\n%-2s%10s %10s %-22s %5s  %s\n", "", "base", "new", "new/base [95%]", "p", "verdict");
    for (const compared_figure& figure : compared.compared) {
      text += wrapped(figure.name, width, 2);
      text += printed("%-2s%10.4g %10.4g %-22s %5.2g  %s\n", "", figure.base_median, figure.new_median,
                      ratio_text(figure).c_str(), figure.p_value, figure.verdict.c_str());
    }
  }
  if (!compared.compared.empty()) {
    text +=
        wrapped(printed("(ratios of medians, new over base, with 95%% bootstrap intervals; a verdict needs both the "
                        "interval and the Mann-Whitney U test, p < %.2f, and a difference of %.0f%% at least; "
                        "\"cannot tell\" where a side had too few runs or was the scheduler's, or the interval is "
                        "too wide, as the verdict below says; floors are the calibration's, in their units)",
                        kAlpha, 100 * kSmallestDifference),
                width, 1);
  }
  if (!compared.regions.empty()) {
    text +=
        "\nEach region's share of its team's time waiting at barriers and for locks (--regions on both sides,\n"
        "with 95% intervals; a verdict needs the intervals apart and the U test):\n";
    for (const compared_region& region : compared.regions) text += wrapped("  " + region.sentence, width, 4);
  }
  return text + "\n" + verdict_text(compared.judged, width);
}

std::string as_console(const merged_runs& merged, std::size_t width) {
  std::string text = "sum_compare: " + side_by_side(merged) + "\n";
  for (const merged_machine& machine : merged.machines) {
    text += wrapped(printed("  %-16s %s: %s, from %s", machine.name.c_str(), machine.host.c_str(),
                            machine.processor.c_str(), machine.path.c_str()),
                    width, 4);
    if (!machine.caches.empty()) text += wrapped("    measured: " + machine.caches, width, 6);
  }
  // The figure's name over its cells where a console is too narrow for both on a line.
  const std::size_t cells = 15 * merged.machines.size();
  const bool name_beside = 59 + cells < width;
  text += name_beside ? printed("\n%-58s", "case or floor (medians)") : std::string("\ncase or floor (medians)\n  ");
  for (const merged_machine& machine : merged.machines)
    text += printed(" %14s", terminal_line(machine.name).substr(0, 14).c_str());
  text += "\n";
  for (const merged_figure& figure : merged.figures) {
    text += name_beside ? printed("%-58s", terminal_line(figure.name).c_str()) : wrapped(figure.name, width, 2) + "  ";
    for (const merged_cell& cell : figure.cells) {
      text += printed(
          " %14s", cell.measured ? (printed(figure.format, cell.median) + (cell.slow ? " !" : "  ")).c_str() : "-  ");
    }
    text += "\n";
  }
  text += wrapped(
      "(! marks a machine slower than every other one: the ratio of medians has its 95% bootstrap interval "
      "past 1, more time or less bandwidth, and the U test p < 0.05; cases in seconds, floors in their units)",
      width, 1);
  if (!merged.regions.empty()) text += "\n" + wrapped(std::string(kMergedRegionsHeading) + ":", width, 2);
  for (const merged_region& region : merged.regions)
    text += wrapped("  " + merged_region_line(merged, region), width, 4);
  return text + "\n" + verdict_text(merged.judged, width);
}

}  // namespace omp_sums
