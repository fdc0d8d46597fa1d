// The sentences under sum_compare's table: what the figures of this run show.
#pragma once

#include <string>
#include <vector>

#include "tools/aggregate.hpp"
#include "tools/run_plan.hpp"

// Each sentence follows from the cases' figures; `processors` is how many the runs could use.
std::vector<std::string> headlines(const run_plan& plan, const std::vector<case_stats>& cases, int processors);

void print_headlines(const std::vector<std::string>& sentences);
