// Everything a report rests on, from a live run or read back from its JSON: the plan, the facts
// around it and the measured runs; and what follows from them.
#pragma once

#include <vector>

#include "tools/analysis/aggregate.hpp"
#include "tools/analysis/cache_levels.hpp"
#include "tools/analysis/findings.hpp"
#include "tools/analysis/headlines.hpp"
#include "tools/analysis/regions.hpp"
#include "tools/analysis/warnings.hpp"
#include "tools/catalog/facts.hpp"
#include "tools/catalog/machine.hpp"

namespace omp_sums {

struct report {
  run_plan plan;
  run_facts facts;
  machine_topology machine;
  run_conditions conditions;
  read_sweep sweep;                     // the read sweep before the plan, where a size was named after the caches
  measured_caches caches;               // what it says of them
  budget_cut budget;                    // what --budget cut of the plan
  std::vector<run_record> records;      // the measured runs, in the order they ran
  std::vector<region_run> region_runs;  // --regions: the runs under the region tool, after the timed ones
  std::string regions_unavailable;      // --regions asked for, and why none could run here
  figures measured;
  std::vector<headline> said;
  std::vector<warning> warnings;
  verdict judged;                     // what every format says the run shows, and what weakens it
  std::vector<case_regions> regions;  // where each case's regions spend the team's time
  bool saved = false;                 // read back from a JSON, not run now
};

}  // namespace omp_sums
