// Thread-private storage that outlives a region: each thread counts its iterations of a static
// loop in its own copy of iters, and a later region prints the counts. The loop also sums its
// indices into an unsigned 32-bit total, printed beside the closed form (N-1) x N / 2.
#include <omp.h>

#include <cstdint>
#include <cstdio>

#include "common/frame.hpp"

int iters = 0;
#pragma omp threadprivate(iters)

int main(int argc, char** argv) {
  const int n = parse_element_count(argc, argv, 100);
  announce_team_size();

  unsigned index_sum = 0;
#pragma omp parallel default(none) shared(index_sum, n)
  {
    unsigned partial_sum = 0;
    const block_range block = static_block_range(n, omp_get_num_threads(), omp_get_thread_num());
    for (int i = block.begin; i < block.end; ++i) {
      ++iters;
      partial_sum += static_cast<unsigned>(i);
    }
#pragma omp atomic
    index_sum += partial_sum;
  }

#pragma omp parallel default(none)
  {
#pragma omp critical
    std::printf("\tthread %d performed %d iterations\n", omp_get_thread_num(), iters);
  }

  // In 64 bits: (N-1) x N overflows a 32-bit int for N > 46341 or N < -46340.
  const std::int64_t expected = (static_cast<std::int64_t>(n) - 1) * n / 2;
  std::printf("Sum is %u (expected: %lld)\n", index_sum, static_cast<long long>(expected));
  return 0;
}
