// A report as GitHub-flavoured markdown, for pasting into an issue or a pull request: the table
// of cases with intervals and the headlines, a comparison's table with its verdicts, or a
// merge's table of machines with its flags.
#pragma once

#include <string>

#include "tools/analysis/comparison.hpp"
#include "tools/analysis/merge.hpp"
#include "tools/analysis/report.hpp"
#include "tools/report/writing.hpp"

namespace omp_sums {

std::string as_markdown(const report& r, writing& how);
std::string as_markdown(const comparison& compared, writing& how);
std::string as_markdown(const merged_runs& merged, writing& how);

}  // namespace omp_sums
