// The summation region of the reduction programs: in-order block sums merged into one shared
// sum by atomic adds, each thread timed on its own CPU clock up to the loop's closing barrier.
#pragma once

#include <omp.h>

#include "common/frame.hpp"

inline void reduction_region(const double* a, int n, double& sum, double& thread_time) {
#pragma omp parallel default(none) shared(a, n, sum, thread_time)
  {
    const double start = clock_seconds(CLOCK_THREAD_CPUTIME_ID);
    double my_thread_time = 0.0;
    const block_range block = static_block_range(n, omp_get_num_threads(), omp_get_thread_num());
    atomic_add_double(&sum, block_sum(a, block.begin, block.end));
#pragma omp barrier
    my_thread_time += clock_seconds(CLOCK_THREAD_CPUTIME_ID) - start;
    atomic_add_double(&thread_time, my_thread_time);
  }
}
