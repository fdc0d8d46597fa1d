// What sum_compare prints, as text fitted to a console `width` columns wide: a run's header
// (before its runs) and its body (the tables, the warnings, the headlines, how the runs went and,
// last, the verdict), a comparison and a merge, each ending with its verdict. Text from outside
// in it has its control bytes shown as \xHH; say() prints it.
#pragma once

#include <cstddef>
#include <string>

#include "tools/analysis/comparison.hpp"
#include "tools/analysis/merge.hpp"
#include "tools/analysis/report.hpp"
#include "tools/analysis/verdict.hpp"

namespace omp_sums {

// Where no terminal says how wide it is.
inline constexpr std::size_t kDefaultConsoleWidth = 100;

std::string console_header(const report& r, std::size_t width = kDefaultConsoleWidth);
std::string as_console(const report& r, std::size_t width = kDefaultConsoleWidth);
std::string as_console(const comparison& compared, std::size_t width = kDefaultConsoleWidth);
std::string as_console(const merged_runs& merged, std::size_t width = kDefaultConsoleWidth);

// Each --command: its name, its line, and how its time and validity are read.
std::vector<std::string> command_lines(const run_plan& plan);

// The runtime settings of a run: the caller's, what --env sweeps, and OMP_NUM_THREADS per case.
std::string settings_text(const report& r);

// What the read sweep measured of the caches, then each reported level it proved false; or that
// it failed; none where no sweep ran.
std::vector<std::string> measured_facts(const report& r);

// What --budget did to the plan, or "" for a plan run as asked.
std::string budget_fact(const report& r);

// The kernel's transparent-huge-page mode and automatic NUMA balancing, for hosts of several nodes.
std::string kernel_pages_line(const run_facts& facts);

// What each floor of the calibration measures, for under its table; with SCHEDULED, what "!" marks.
std::string floor_legend(bool scheduled);

// The verdict block: the findings, one line each, then the trust notes with what they touch.
std::string verdict_text(const verdict& said, std::size_t width);

// `text` as one paragraph, its control bytes (the newline too) shown as \xHH, wrapped to lines
// shorter than `width` columns, continuation lines indented by `indent` blanks, ending with a
// newline.
std::string wrapped(const std::string& text, std::size_t width, std::size_t indent);

// Prints console text on standard output, any control byte but the newline and the tab shown
// as \xHH: text from a saved file or a program cannot move the terminal's cursor.
void say(const std::string& text);

// The errno of the first write of say() that failed, or 0.
int said_error();

}  // namespace omp_sums
