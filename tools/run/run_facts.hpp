// The facts of a live run: this process's, and each build's from the facts file CMake writes
// beside its programs.
#pragma once

#include "tools/catalog/facts.hpp"
#include "tools/catalog/plan.hpp"

namespace omp_sums {

// The facts of this process and of the plan's builds.
run_facts facts_of_this_run(const run_plan& plan);

// A build's facts as its facts file in `build.bin` gives them, for the plan's programs.
build_facts read_build_facts(const run_plan& plan, const build_location& build);

}  // namespace omp_sums
