// Sums the index-filled array (element i holds i) with the team's reduction: the sum is exact,
// N(N-1)/2, while it stays below 2^53, so only the timings vary.
#include <cstdlib>
#include <ctime>

#include "common/frame.hpp"
#include "sum/reduction_region.hpp"

int main(int argc, char** argv) {
  const int n = parse_element_count(argc, argv, 100);
  double* a = allocate_array(n);
  if (a == nullptr) return 1;

  const int team_size = announce_team_size();
  index_fill(a, n);

  const double start = clock_seconds(CLOCK_REALTIME);
  double sum = 0.0;
  double thread_time = 0.0;
  reduction_region(a, n, sum, thread_time);
  const double end = clock_seconds(CLOCK_REALTIME);

  print_result_line(sum, end - start, thread_time / team_size);
  std::free(a);
  return 0;
}
