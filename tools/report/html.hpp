// sum_compare's report as one self-contained page to open from disk or send along: styles inline,
// charts as inline SVG, no script, font or image from anywhere. A run's page shows the machine
// with the processors each case's threads ran on, the headlines as a forest plot, one chart per
// effect (drawn by gnuplot, stopped when how.interrupted is set) and the tables; a comparison's
// and a merge's show their machines and their own tables.
#pragma once

#include <string>

#include "tools/analysis/comparison.hpp"
#include "tools/analysis/merge.hpp"
#include "tools/analysis/report.hpp"
#include "tools/report/writing.hpp"

namespace omp_sums {

std::string as_html(const report& r, writing& how);
std::string as_html(const comparison& compared, writing& how);
std::string as_html(const merged_runs& merged, writing& how);

}  // namespace omp_sums
