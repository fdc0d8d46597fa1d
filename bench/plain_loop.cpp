// The reference for the reduction's speed, with no OpenMP: T plain threads (default 1), each on
// a processor of its own and adding its share of N index-filled doubles in order, started together.
// Prints the sum and the seconds from the first thread's start to the last one's end.
//   plain_loop [N [T]]
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "common/frame.hpp"

int main(int argc, char** argv) {
  const int n = parse_element_count(argc, argv, 50000000);
  const int threads = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
  double* a = allocate_array(n);
  if (a == nullptr) return 1;
  index_fill(a, n);

  std::vector<double> sums(static_cast<std::size_t>(threads));
  std::vector<double> starts(sums.size());
  std::vector<double> ends(sums.size());
  // Spinning, not sleeping, until all are there: a sleeping thread would start late, by however
  // long waking its processor takes.
  std::atomic<int> arrived{0};
  cpu_set_t allowed;
  sched_getaffinity(0, sizeof allowed, &allowed);
  std::vector<int> processors;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &allowed)) processors.push_back(cpu);
  }
  std::vector<std::thread> team;
  for (int t = 0; t < threads; ++t) {
    team.emplace_back([&, t] {
      // Its own processor, so that the threads run at once rather than wait for the scheduler
      // to spread them.
      cpu_set_t own;
      CPU_ZERO(&own);
      CPU_SET(processors[static_cast<std::size_t>(t) % processors.size()], &own);
      sched_setaffinity(0, sizeof own, &own);
      const long begin = static_cast<long>(n) * t / threads;
      const long end = static_cast<long>(n) * (t + 1) / threads;
      arrived.fetch_add(1);
      while (arrived.load() < threads) {
      }
      starts[t] = clock_seconds(CLOCK_MONOTONIC);
      double sum = 0.0;
      for (long i = begin; i < end; ++i) sum = a[i] + sum;
      ends[t] = clock_seconds(CLOCK_MONOTONIC);
      sums[t] = sum;
    });
  }
  for (std::thread& thread : team) thread.join();

  double sum = 0.0;
  for (double partial : sums) sum += partial;
  const double seconds = *std::max_element(ends.begin(), ends.end()) - *std::min_element(starts.begin(), starts.end());
  std::printf("Sum is %g, loop took %g sec\n", sum, seconds);
  std::free(a);
  return 0;
}
