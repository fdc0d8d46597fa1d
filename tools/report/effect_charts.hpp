// The report page's charts, one per effect, each with one small panel per setting (build and
// --env values) rather than one legend of every line: the speed-up against team size with the
// in-order floor and the ideal; the time per element; packed over padded slots beside the
// host's shared-line reference; first touch against the reduction. gnuplot draws them as SVG.
#pragma once

#include <csignal>
#include <string>
#include <vector>

#include "tools/analysis/aggregate.hpp"
#include "tools/catalog/plan.hpp"

struct effect_chart {
  std::string effect;  // "scaling", "time_per_element", "false_sharing", "first_touch"
  std::string title;
  std::string reading;  // a sentence under it: what to look at
  std::string script;   // the gnuplot script, its data inline, drawing SVG to standard output
  std::string svg;      // what gnuplot drew; empty until drawn
};

// The charts that the figures have data for, in the order above, not yet drawn.
std::vector<effect_chart> effect_charts(const run_plan& plan, const figures& measured);

// Draws every chart with gnuplot (stopped when *interrupted is set). Returns an empty string, or
// why the charts could not be drawn, as a sentence that says how to get them.
std::string draw_effect_charts(std::vector<effect_chart>& charts, const volatile std::sig_atomic_t* interrupted);
