// sum_compare's chart, drawn by gnuplot from the script installed beside the programs.
#pragma once

#include <string>
#include <vector>

#include "tools/aggregate.hpp"
#include "tools/run_plan.hpp"

// Empty when gnuplot can be run here, else what to do about it.
std::string gnuplot_problem();

// Draws the figures into `output` (.svg or .png): speed-up against team size with the ideal and
// the machine's in-order floor, ns per element per thread with min-max bars, and packed over
// padded slots with its interval. Returns an empty string, or why it could not.
std::string draw_chart(const std::string& output, const run_plan& plan, const figures& measured);
