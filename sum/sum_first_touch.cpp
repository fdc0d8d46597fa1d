// Sums an array that main never writes: the threads of the placement region store it first,
// each through a nested parallel region, so its pages are placed by the threads that touch
// them. The sum is the reduction of block sums, each thread timed up to its landed add.
#include <omp.h>

#include <atomic>
#include <cstdlib>

#include "common/frame.hpp"
#include "common/probes.hpp"

// Every element once per nested team. Different teams store the same value into the same
// element at overlapping times: relaxed atomic stores make that well defined at no cost on
// x86-64, where they are plain aligned 8-byte stores.
static void fill_from_nested_team(double* a, int n) {
#pragma omp parallel default(none) shared(a, n)
  {
    const block_range block = static_block_range(n, omp_get_num_threads(), omp_get_thread_num());
    for (int i = block.begin; i < block.end; ++i) {
      std::atomic_ref<double>(a[i]).store(static_cast<double>(i), std::memory_order_relaxed);
    }
  }
}

int main(int argc, char** argv) {
  const int n = parse_element_count(argc, argv, 100);
  double* a = allocate_array(n);
  if (a == nullptr) return 1;

  const int team_size = announce_team_size();
#pragma omp parallel default(none) shared(a, n)
  {
    print_placement_line(omp_get_thread_num());
    fill_from_nested_team(a, n);
  }

  const double start = clock_seconds(CLOCK_REALTIME);
  double sum = 0.0;
  double thread_time = 0.0;
#pragma omp parallel default(none) shared(a, n, sum, thread_time)
  {
    const double thread_start = clock_seconds(CLOCK_THREAD_CPUTIME_ID);
    double my_thread_time = 0.0;
    const block_range block = static_block_range(n, omp_get_num_threads(), omp_get_thread_num());
    atomic_add_double(&sum, block_sum(a, block.begin, block.end));
    // No barrier: a thread's time ends when its own add has landed.
    my_thread_time += clock_seconds(CLOCK_THREAD_CPUTIME_ID) - thread_start;
    atomic_add_double(&thread_time, my_thread_time);
  }
  const double end = clock_seconds(CLOCK_REALTIME);

  print_result_line(sum, end - start, thread_time / team_size);
  std::free(a);
  return 0;
}
