// Fills N doubles in parallel, each thread drawing from its own erand48 state, then times a
// serial inclusive prefix sum over them. Prints only the time of the prefix sum.
#include <omp.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "common/frame.hpp"
#include "scan/prefix_scan_steps.hpp"

int main(int argc, char** argv) {
  const int n = parse_element_count(argc, argv, 10000);
  double* a = allocate_array(n);
  if (a == nullptr) return 1;

#pragma omp parallel default(none) shared(a, n)
  {
    const int thread = omp_get_thread_num();
    unsigned short state[3];
    seed_generator_state(state, std::time(nullptr), thread);
    const block_range block = static_block_range(n, omp_get_num_threads(), omp_get_thread_num());
    for (int i = block.begin; i < block.end; ++i) a[i] = erand48(state);
#pragma omp barrier
  }

  const double start = clock_seconds(CLOCK_REALTIME);
  inclusive_prefix_sum(a, n);
  const double end = clock_seconds(CLOCK_REALTIME);
  std::printf("process took %g of wall-clock time \n", end - start);

  std::free(a);
  return 0;
}
