// The sentences under sum_compare's table: what the figures of this run show, each ratio with
// its 95% interval, and explained against the machine's floors measured in the same run.
#pragma once

#include <vector>

#include "tools/analysis/aggregate.hpp"
#include "tools/analysis/headline.hpp"
#include "tools/catalog/facts.hpp"
#include "tools/catalog/plan.hpp"

namespace omp_sums {

// `processors`: how many the runs could use; `numa_nodes`: over how many NUMA nodes they lie;
// `facts`: what the kernel does to where pages lie; `core_kinds`: of how many kinds they are.
std::vector<headline> headlines(const run_plan& plan, const figures& measured, int processors, int numa_nodes,
                                const run_facts& facts = {}, int core_kinds = 1);

}  // namespace omp_sums
