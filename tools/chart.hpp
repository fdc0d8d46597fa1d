// sum_compare's chart, drawn by gnuplot from the script installed beside the programs.
#pragma once

#include <csignal>
#include <string>
#include <vector>

#include "tools/aggregate.hpp"
#include "tools/run_plan.hpp"

// Empty when the chart script lies beside sum_compare and gnuplot can be run here, else what to
// do about it.
std::string gnuplot_problem();

// The chart's data file, as the chart script reads it.
std::string chart_data(const run_plan& plan, const figures& measured);

// Draws the figures as a chart in `format` ("svg" or "png") into `image`: speed-up against team
// size with the ideal and the machine's in-order floor, ns per element per thread with min-max
// bars, and packed over padded slots with its interval. Returns an empty string, or why it could
// not (gnuplot is stopped when *interrupted is set).
std::string draw_chart(const std::string& format, const run_plan& plan, const figures& measured,
                       const volatile std::sig_atomic_t* interrupted, std::string& image);
