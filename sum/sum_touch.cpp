// Sums the index-filled array after it was first written by main alone (MAIN_TOUCH 1) or by the
// team in the very static blocks that its threads then read (MAIN_TOUCH 0): first touch places a
// page on the node of the thread that writes it first, so only the team's fill puts each block
// beside its reader. Each thread then says on which NUMA node it reads its block and what share
// of that block's pages lie there (-1 where the kernel cannot say); the sum is the reduction of
// block sums.
#include <omp.h>

#include <cstdio>
#include <cstdlib>

#include "common/frame.hpp"
#include "common/pages.hpp"

int main(int argc, char** argv) {
  const int n = parse_element_count(argc, argv, 100);
  double* a = allocate_array(n);
  if (a == nullptr) return 1;

  const int team_size = announce_team_size();
#if MAIN_TOUCH
  index_fill(a, n);
#else
#pragma omp parallel default(none) shared(a, n)
  {
    const block_range block = static_block_range(n, omp_get_num_threads(), omp_get_thread_num());
    for (int i = block.begin; i < block.end; ++i) a[i] = static_cast<double>(i);
  }
#endif

  const double start = clock_seconds(CLOCK_REALTIME);
  double sum = 0.0;
  double thread_time = 0.0;
#pragma omp parallel default(none) shared(a, n, sum, thread_time)
  {
    const double thread_start = clock_seconds(CLOCK_THREAD_CPUTIME_ID);
    const block_range block = static_block_range(n, omp_get_num_threads(), omp_get_thread_num());
    atomic_add_double(&sum, block_sum(a, block.begin, block.end));
    atomic_add_double(&thread_time, clock_seconds(CLOCK_THREAD_CPUTIME_ID) - thread_start);
  }
  const double end = clock_seconds(CLOCK_REALTIME);

  // After the timed sum, so that asking the kernel costs it nothing.
#pragma omp parallel default(none) shared(a, n)
  {
    const int thread = omp_get_thread_num();
    const block_range block = static_block_range(n, omp_get_num_threads(), thread);
    const int node = node_of_this_thread();
    const double local = node < 0 ? -1.0 : percent_of_pages_on(a + block.begin, a + block.end, node);
#pragma omp critical
    std::printf("thread %2d reads its block on node %d: %g%% of its pages there\n", thread, node, local);
  }
  print_result_line(sum, end - start, thread_time / team_size);
  std::free(a);
  return 0;
}
