// How a run, a comparison or a merge is judged: its findings and the notes that weaken them.
#pragma once

#include <string>
#include <vector>

#include "tools/analysis/comparison.hpp"
#include "tools/analysis/findings.hpp"
#include "tools/analysis/merge.hpp"
#include "tools/analysis/report.hpp"

namespace omp_sums {

// The load before a run at or above this share of the usable processors leaves its times to the
// scheduler; so does a hypervisor taking more than this share of the CPU time.
inline constexpr double kBusyLoadShare = 1.0;
inline constexpr double kMostStealPercent = 3.0;

verdict verdict_of(const report& r);
verdict verdict_of(const comparison& compared);
verdict verdict_of(const merged_runs& merged);

}  // namespace omp_sums
