// The machine as hwloc sees it. hwloc honours HWLOC_SYNTHETIC and HWLOC_XMLFILE, so a bigger
// machine than this one can be described and reported.
#pragma once

#include "tools/catalog/machine.hpp"

namespace omp_sums {

machine_topology read_topology();

}  // namespace omp_sums
