// The reference for the reduction's speed: one thread adding N index-filled doubles in order,
// the way a plain loop does. Prints the loop's wall-clock seconds.
#include <cstdio>
#include <cstdlib>

#include "common/frame.hpp"

int main(int argc, char** argv) {
  const int n = parse_element_count(argc, argv, 50000000);
  double* a = allocate_array(n);
  if (a == nullptr) return 1;
  index_fill(a, n);

  const double start = clock_seconds(CLOCK_REALTIME);
  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum = a[i] + sum;
  const double end = clock_seconds(CLOCK_REALTIME);

  std::printf("Sum is %g, loop took %g sec\n", sum, end - start);
  std::free(a);
  return 0;
}
