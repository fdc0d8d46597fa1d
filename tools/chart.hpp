// sum_compare's chart, drawn by gnuplot from the script installed beside the programs.
#pragma once

#include <string>
#include <vector>

#include "tools/aggregate.hpp"

// Empty when gnuplot can be run here, else what to do about it.
std::string gnuplot_problem();

// Draws the medians into `output` (.svg or .png). Returns an empty string, or why it could not.
std::string draw_chart(const std::string& output, const std::vector<case_stats>& cases);
