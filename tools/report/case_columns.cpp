#include "tools/report/case_columns.hpp"

#include <cmath>

#include "tools/catalog/text.hpp"

namespace omp_sums {

namespace {

std::string figure_or_dash(double value, const char* format) {
  return value >= 0 && std::isfinite(value) ? printed(format, value) : "-";
}

}  // namespace

std::string interval_text(const interval& ci, const char* format) {
  return "[" + printed(format, ci.low) + ", " + printed(format, ci.high) + "]" + (ci.coverage < kConfidence ? "*" : "");
}

std::string case_cell(case_column column, const run_plan& plan, const case_stats& c) {
  switch (column) {
    case case_column::program:
      return std::string(c.c.program->name) + (c.precision_reached ? "" : " ~") + (c.time_shared ? " !" : "");
    case case_column::threads: return std::to_string(c.c.threads);
    case case_column::setting: return setting_label(plan.settings[static_cast<std::size_t>(c.c.setting)]);
    case case_column::median: return printed("%.6f", c.wall.median);
    case case_column::interval: return interval_text(c.median_ci, "%.6f");
    case case_column::spread: return printed("%.1f%%", c.spread_percent);
    case case_column::thread_seconds: return figure_or_dash(c.thread_median, "%.6f");
    case case_column::ns_per_element: return figure_or_dash(c.ns_per_element_per_thread, "%.3f");
    case case_column::speedup: return figure_or_dash(c.speedup, "%.2fx");
    case case_column::floor: return figure_or_dash(c.floor_seconds, "%.6f");
    case case_column::of_floor: return figure_or_dash(c.of_floor, "%.2fx");
    case case_column::processor_share: return figure_or_dash(c.processor_share, "%.2f");
  }
  return {};
}

bool shown_in(const column_description& column, column_set shown) {
  switch (shown) {
    case column_set::all: return true;
    case column_set::markdown: return column.in_markdown;
    case column_set::narrow_console: return column.narrow_width > 0;
  }
  return true;
}

std::string case_legend(column_set shown) {
  std::string legend;
  for (const column_description& column : kCaseColumns) {
    if (column.legend == nullptr || !shown_in(column, shown)) continue;
    legend += (legend.empty() ? "" : "; ") + std::string(column.legend);
  }
  return legend + "; - where a case has no such figure (no one-thread case, no floor, no thread time)";
}

}  // namespace omp_sums
