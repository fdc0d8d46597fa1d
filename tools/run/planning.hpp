// The plan made from what is asked, and what it is refused for: too many runs or settings.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tools/catalog/plan.hpp"

// The default team sizes: 1, 2, 4, ... up to the processors the process may use, and that count.
std::vector<int> default_team_sizes(int processors);

// Plans of more runs are refused: at a few milliseconds each, this many take hours already.
inline constexpr long long kMostRuns = 1000000;
// Nor more settings (builds times sizes times --env combinations) than this.
inline constexpr long long kMostSettings = 1000;
// --precision adds no round past this many runs of a case, nor does a saved run hold more: a
// bootstrap over them takes seconds already.
inline constexpr int kMostRunsPerCase = 10000;

// The runs that make_plan would plan, warm-ups included, counted without making it (LLONG_MAX
// past what 64 bits hold).
long long planned_run_count(const plan_request& request, int processors);

// Why make_plan must not make this plan (too many runs or settings), or "".
std::string plan_refusal(const plan_request& request, int processors);

run_plan make_plan(const plan_request& request, int processors);

// What a probe of a case's program at its size is known by: "sum_walltime 10000000".
std::string probe_key(const run_plan& plan, const run_case& c);

// The plan's duration in seconds, estimated from a probe run of each of its programs at each of
// its sizes here (probe_key -> seconds; the calibration's on the largest team, as its references
// wait for every thread). -1 where a probe failed or is missing.
double estimated_seconds(const run_plan& plan, const std::map<std::string, double>& probe_seconds);
