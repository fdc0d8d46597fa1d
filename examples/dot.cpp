// A dot product whose loop takes its schedule from OMP_SCHEDULE (schedule(runtime)), as a user's
// own OpenMP program that sum_compare measures with --command, e.g. under
// --env OMP_SCHEDULE=static,dynamic,guided. x[i] = 1 and y[i] = i, so the exact result is
// N(N-1)/2, which doubles hold for any N below 2^26; it prints "seconds=" and "elements=".
//   dot [N]      (default 20000000 elements)
#include <omp.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  const long n = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 20000000;
  if (n <= 0 || n >= (1L << 26)) {
    std::fprintf(stderr, "usage: dot [N], N a count of elements from 1 to 2^26 - 1\n");
    return 2;
  }
  std::vector<double> x(static_cast<std::size_t>(n)), y(x.size());
#pragma omp parallel for schedule(static)
  for (long i = 0; i < n; ++i) {
    x[i] = 1.0;
    y[i] = static_cast<double>(i);
  }
  double dot = 0.0;
  const double start = omp_get_wtime();
#pragma omp parallel for schedule(runtime) reduction(+ : dot)
  for (long i = 0; i < n; ++i) dot += x[i] * y[i];
  const double seconds = omp_get_wtime() - start;
  // Every partial sum is a whole number below 2^53: exact in any order.
  const double exact = static_cast<double>(n) * static_cast<double>(n - 1) / 2.0;
  if (dot != exact) {
    std::printf("dot = %.17g, not the exact %.17g\n", dot, exact);
    return 1;
  }
  std::printf("dot of %ld elements on %d threads = %.17g\nseconds=%.9g\nelements=%ld\n", n, omp_get_max_threads(), dot,
              seconds, n);
  return 0;
}
