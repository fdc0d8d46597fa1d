// The report page's charts, one per effect, each with one small panel per setting (build, size
// and --env values) rather than one legend of every line: the speed-up against team size with
// the in-order floor and the ideal; the time per element; packed over padded slots beside the
// host's shared-line reference; first touch against the reduction; and over several sizes, the
// read bandwidth and the time per element against the array's size, the caches marked.
// gnuplot draws them as SVG.
#pragma once

#include <csignal>
#include <optional>
#include <string>
#include <vector>

#include "tools/analysis/aggregate.hpp"
#include "tools/analysis/cache_levels.hpp"
#include "tools/catalog/machine.hpp"
#include "tools/catalog/plan.hpp"

namespace omp_sums {

struct effect_chart {
  std::string effect;  // "scaling", "time_per_element", "false_sharing", "first_touch", "bandwidth_by_size",
                       // "time_by_size"
  std::string title;
  std::string reading;  // a sentence under it: what to look at
  std::string script;   // the gnuplot script, its data inline, drawing SVG to standard output
  std::string svg;      // what gnuplot drew; empty until drawn
};

// The charts that the figures have data for, in the order above, not yet drawn.
std::vector<effect_chart> effect_charts(const run_plan& plan, const figures& measured, const machine_topology& machine);

// The charts against the array's size, one panel per build and --env values, where the plan
// has several sizes: the read bandwidth on each team size, and each program's time per element
// on the largest team; a dotted line at each cache level's size.
std::vector<effect_chart> size_charts(const run_plan& plan, const figures& measured, const machine_topology& machine);

// The read sweep before the runs, a line per team size against the working set, the reported
// caches and memory speed dotted; none where no sweep ran.
std::optional<effect_chart> sweep_chart(const read_sweep& sweep, const measured_caches& caches,
                                        const machine_topology& machine);

// Draws every chart with gnuplot (stopped when *interrupted is set). Returns an empty string, or
// why the charts could not be drawn, as a sentence that says how to get them.
std::string draw_effect_charts(std::vector<effect_chart>& charts, const volatile std::sig_atomic_t* interrupted);

}  // namespace omp_sums
