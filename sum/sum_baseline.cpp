// Sums N random doubles. With OpenMP: a reduction over the team, timed on the wall clock, with
// each thread's CPU time. Built without OpenMP: one plain loop timed in process CPU seconds.
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "common/frame.hpp"

#ifdef _OPENMP
#include "sum/reduction_region.hpp"
#endif

static void random_fill(double* a, int n) {
  srand48(std::time(nullptr));
  for (int i = 0; i < n; ++i) a[i] = drand48();
}

int main(int argc, char** argv) {
  const int n = parse_element_count(argc, argv, 100);
  double* a = allocate_array(n);
  if (a == nullptr) return 1;

#ifdef _OPENMP
  const int team_size = announce_team_size();
  random_fill(a, n);

  const double start = clock_seconds(CLOCK_REALTIME);
  double sum = 0.0;
  double thread_time = 0.0;
  reduction_region(a, n, sum, thread_time);
  const double end = clock_seconds(CLOCK_REALTIME);

  print_result_line(sum, end - start, thread_time / team_size);
#else
  random_fill(a, n);
  double sum = 0.0;
  std::puts("serial summation");

  const double start = clock_seconds(CLOCK_PROCESS_CPUTIME_ID);
  for (int i = 0; i < n; ++i) sum = a[i] + sum;
  const double end = clock_seconds(CLOCK_PROCESS_CPUTIME_ID);

  std::printf("Sum is %g, took %g sec\n", sum, end - start);
#endif

  std::free(a);
  return 0;
}
