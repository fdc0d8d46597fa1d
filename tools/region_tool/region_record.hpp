// The record the region tool writes at the runtime's end, for sum_compare to read: a first line
// "omp_sums-regions 1", then
//   ns_per_event NUMBER          what the tool's accounting costs per event, measured at the end
//   region ADDRESS INSTANCES TEAM WALL_SECONDS EVENTS OFFSET PATH
//                                a region's code address, in the object at PATH at OFFSET;
//                                address 0 for the regions past the tool's bound, together
//   thread NUMBER WORK BARRIER LOCK OVERHEAD
//                                its seconds summed over the instances, for each thread number
#pragma once

namespace omp_sums::regions {

inline constexpr char kRecordTag[] = "omp_sums-regions 1";

// Where the tool writes its record: a path that must not exist yet.
inline constexpr char kRecordVariable[] = "OMP_SUMS_REGIONS_FILE";

}  // namespace omp_sums::regions
