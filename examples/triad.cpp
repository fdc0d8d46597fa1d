// A STREAM-style triad, a[i] = b[i] + s * c[i], as a user's own OpenMP program that sum_compare
// measures with --command. It prints what sum_compare reads: the time of its own timed loop as
// "seconds=" and the elements it handled as "elements=", after a check of its result.
//   triad [N]      (default 20000000 elements; OMP_NUM_THREADS and OMP_PROC_BIND as usual)
#include <omp.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  const long n = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 20000000;
  if (n <= 0) {
    std::fprintf(stderr, "usage: triad [N], N a positive count of elements\n");
    return 2;
  }
  std::vector<double> a(static_cast<std::size_t>(n)), b(a.size()), c(a.size());
  // Each thread first touches the blocks it later reads, so that their pages lie near it.
#pragma omp parallel for schedule(static)
  for (long i = 0; i < n; ++i) {
    a[i] = 0.0;
    b[i] = 1.0;
    c[i] = 2.0;
  }
  const double scalar = 3.0;
  const double start = omp_get_wtime();
#pragma omp parallel for schedule(static)
  for (long i = 0; i < n; ++i) a[i] = b[i] + scalar * c[i];
  const double seconds = omp_get_wtime() - start;
  // Every element must be 1 + 3 * 2 exactly.
  long wrong = 0;
#pragma omp parallel for reduction(+ : wrong)
  for (long i = 0; i < n; ++i) wrong += a[i] != 7.0 ? 1 : 0;
  if (wrong != 0) {
    std::printf("triad: %ld of %ld elements wrong\n", wrong, n);
    return 1;
  }
  std::printf("triad of %ld elements on %d threads: %.2f GB/s\nseconds=%.9g\nelements=%ld\n", n, omp_get_max_threads(),
              24.0 * static_cast<double>(n) / seconds * 1e-9, seconds, n);
  return 0;
}
