// sum_compare's chart, drawn by gnuplot from the script installed beside the programs.
#pragma once

#include <string>
#include <vector>

#include "tools/aggregate.hpp"

// Draws the medians into path (.svg or .png); false, with the reason on standard error, when it
// cannot.
bool write_chart(const std::string& path, const std::vector<case_stats>& cases);
