// sum_compare's chart, drawn by gnuplot from the script installed beside the programs.
#pragma once

#include <string>

#include "tools/analysis/aggregate.hpp"
#include "tools/analysis/report.hpp"
#include "tools/catalog/plan.hpp"
#include "tools/report/writing.hpp"

namespace omp_sums {

// Empty when the chart script lies beside sum_compare and gnuplot can be run here, else what to
// do about it.
std::string gnuplot_problem();

// The chart's data file, as the chart script reads it.
std::string chart_data(const run_plan& plan, const figures& measured);

// The chart of a run's figures, drawn by gnuplot in the format the file's ending names (.svg or
// .png): speed-up against team size with the ideal and the machine's in-order floor, ns per
// element per thread with min-max bars, and packed over padded slots with its interval; over
// several sizes, the read bandwidth and the time per element against the array's size, each
// cache level's size marked. Where it cannot be drawn (gnuplot stopped when how.interrupted is
// set), how.problem says why.
std::string as_chart(const report& r, writing& how);

}  // namespace omp_sums
