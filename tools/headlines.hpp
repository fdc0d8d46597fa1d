// The sentences under sum_compare's table: what the figures of this run show.
#pragma once

#include <vector>

#include "tools/aggregate.hpp"
#include "tools/run_plan.hpp"

void print_headlines(const run_plan& plan, const std::vector<case_stats>& cases);
