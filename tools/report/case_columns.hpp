// The columns of the table of cases, described once for the console, the page and markdown:
// heading, what the column holds (the table's legend), and how each format shows it.
#pragma once

#include <cstddef>
#include <iterator>
#include <string>

#include "tools/analysis/aggregate.hpp"

namespace omp_sums {

enum class case_column {
  program,
  threads,
  setting,
  median,
  interval,
  spread,
  thread_seconds,
  ns_per_element,
  speedup,
  floor,
  of_floor,
  processor_share
};

struct column_description {
  case_column column;
  const char* heading;
  const char* narrow_heading;  // on a console narrower than kWideConsole
  int console_width;           // 0: no column on the console, where the setting heads a section instead
  int narrow_width;            // the same on a narrow console; 0 there too: left out (the page and the JSON have it)
  bool left;                   // aligned left
  bool in_markdown;
  const char* legend;  // what it holds; nullptr where the heading says it all
};

// A console at least this wide shows every column; a narrower one a column set that fits 80.
inline constexpr std::size_t kWideConsole = 120;

// clang-format off
inline constexpr column_description kCaseColumns[] = {
    {case_column::program, "program", "program", 20, 19, true, true, nullptr},
    {case_column::threads, "threads", "team", 7, 4, false, true, nullptr},
    {case_column::setting, "setting", "setting", 0, 0, true, true, nullptr},
    {case_column::median, "median s", "median s", 10, 8, false, true,
     "seconds are medians of the measured runs, with a distribution-free 95% interval; the serial build reports process "
     "CPU time"},
    {case_column::interval, "95% interval", "95% interval", 23, 21, true, true, nullptr},
    {case_column::spread, "spread", "spread", 7, 6, false, true,
     "spread is the largest run less the smallest, over the median"},
    {case_column::thread_seconds, "thread s", "thread s", 10, 0, false, false,
     "thread s is the median of the mean CPU time a thread spent"},
    {case_column::ns_per_element, "ns/elem", "ns/elem", 8, 0, false, false,
     "ns/elem is the median time per element a thread handles"},
    {case_column::speedup, "speed-up", "speed-up", 8, 8, false, true, "speed-up is over the same program on one thread"},
    {case_column::floor, "floor s", "floor s", 10, 0, false, false,
     "floor s is the in-order floor of the team size (machine floors below)"},
    {case_column::of_floor, "x floor", "x floor", 7, 7, false, true,
     "x floor is the median over the in-order floor of the team size (machine floors below)"},
    {case_column::processor_share, "cpu", "cpu", 5, 0, false, false,
     "cpu is the share of their processors the threads had: their CPU time over the wall time (median)"},
};
// clang-format on

constexpr bool columns_in_order() {
  for (std::size_t k = 0; k < std::size(kCaseColumns); ++k) {
    if (static_cast<std::size_t>(kCaseColumns[k].column) != k) return false;
  }
  return true;
}
static_assert(columns_in_order(), "kCaseColumns lists the columns in the order of case_column");

// What a column shows for a case ("-" where there is nothing to show).
std::string case_cell(case_column column, const run_plan& plan, const case_stats& c);

// "[low, high]" in `format`, marked * where the interval is not a 95% one.
std::string interval_text(const interval& ci, const char* format);

// The legends of the columns shown, joined, for under the table: every column's, markdown's, or
// a narrow console's.
enum class column_set { all, markdown, narrow_console };
std::string case_legend(column_set shown);

// Whether a column is shown in a set (the console's columns but the setting, on a wide console).
bool shown_in(const column_description& column, column_set shown);

}  // namespace omp_sums
