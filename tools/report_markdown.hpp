// A report as GitHub-flavoured markdown, for pasting into an issue or a pull request: the table
// of cases with intervals and the headlines, a comparison's table with its verdicts, or a
// merge's table of machines with its flags.
#pragma once

#include <string>
#include <vector>

#include "tools/compare_runs.hpp"
#include "tools/merge_runs.hpp"
#include "tools/report.hpp"

std::string markdown_report(const report& r);

std::string markdown_comparison(const comparison& compared);

std::string markdown_merge(const merged_runs& merged);
