// Where the cases' parallel regions spend the team's time (--regions), as the console, the
// markdown and the page show it: the same figures and sentences in each.
#pragma once

#include <cstddef>
#include <string>

#include "tools/analysis/merge.hpp"
#include "tools/analysis/report.hpp"

namespace omp_sums {

// Empty where the run made no region runs and asked for none.
std::string regions_markdown(const report& r);
std::string regions_html(const report& r);

// What heads the figures, in every format.
std::string regions_heading(const report& r);

// "imb on 2 threads: timed median 0.2 s on libgomp, under the tool 0.21 s on libomp; the tool's cost ..."
std::string region_case_line(const run_plan& plan, const case_regions& c);

// "sum_walltime.cpp:31 (main), 100 instances on 2 threads: work 66% [64, 68], ..."
std::string region_line(const region_figure& region);

// "211.9 ms", "45.5 us", "2.119 s", or "-" for none.
std::string region_seconds(double seconds);

// "imb on 2 threads at imb.cpp:12 (main): waiting node-a 33% [30, 36], node-b -"
std::string merged_region_line(const merged_runs& merged, const merged_region& region);

// What heads the merged regions' lines.
inline constexpr char kMergedRegionsHeading[] =
    "Each region's share of its team time waiting at barriers and for locks, per machine (--regions; medians with "
    "95% intervals, set side by side, not judged)";

// "work 66% [64, 68], barrier 33% [31, 35], lock 0% [0, 0], overhead 1% [1, 1]"
std::string shares_text(const share_figure& work, const share_figure& barrier, const share_figure& lock,
                        const share_figure& overhead);

}  // namespace omp_sums
