// sum_compare's report as one self-contained page to open from disk or send along: styles inline,
// charts as inline SVG, no script, font or image from anywhere. A run's page shows the machine
// with the processors each case's threads ran on, the headlines as a forest plot, one chart per
// effect and the tables; a comparison's and a merge's show their own tables.
#pragma once

#include <string>
#include <vector>

#include "tools/compare_runs.hpp"
#include "tools/effect_charts.hpp"
#include "tools/merge_runs.hpp"
#include "tools/report.hpp"

// `charts` drawn, or `charts_problem` saying why not and how to get them.
std::string html_report(const report& r, const std::vector<effect_chart>& charts, const std::string& charts_problem);

std::string html_comparison(const comparison& compared, const report& base, const report& now);

std::string html_merge(const merged_runs& merged, const std::vector<report>& runs);
