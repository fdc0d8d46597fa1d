// The documents the analysis gives, each judged here once: a run analysed, two saved runs
// compared, saved runs merged. Every writer reads the verdict they carry.
#pragma once

#include <string>
#include <vector>

#include "tools/analysis/comparison.hpp"
#include "tools/analysis/merge.hpp"
#include "tools/analysis/report.hpp"

namespace omp_sums {

// Fills in the figures, headlines, warnings and verdict from the runs.
void analyse(report& r);

comparison compare_reports(const std::string& base_path, const std::string& new_path, const report& base,
                           const report& now);

merged_runs merge_runs(const std::vector<std::string>& paths, const std::vector<report>& runs);

}  // namespace omp_sums
