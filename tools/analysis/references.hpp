// Headlines read against the host's own references, which calibrate measures beside the
// programs: what the hardware shows of an effect when no OpenMP program is involved.
#pragma once

#include "tools/analysis/aggregate.hpp"
#include "tools/analysis/headline.hpp"
#include "tools/analysis/ratios.hpp"

namespace omp_sums {

// Packed over padded slots (`slower`, on `threads`) read against plain threads keeping running
// sums in one cache line over a line apart, and against atomic adds, which no processor can hide:
// whether false sharing costs a running sum depends on the processor, and the sentence says
// which this one is. Sets the headline's reference and appends to its text.
void read_against_plain_threads(const figures& measured, int threads, const ratio_figure& slower, headline& said);

// A program's time over a reference of FLOOR_SECONDS (`cost`, on `threads`; OVER names the
// reference: the reduction's in-order floor, a command's ideal scaling) turned into microseconds
// and read against what this host's runtime takes for the constructs a parallel region needs:
// one fork/join after the team idled as long as the programs' fill, one barrier and one atomic add
// per thread, where the excess is measurable. Sets the
// headline's reference and appends a sentence that claims only what both intervals support.
void read_against_openmp_constructs(const figures& measured, int threads, const ratio_figure& cost,
                                    double floor_seconds, const char* over, headline& said);

}  // namespace omp_sums
