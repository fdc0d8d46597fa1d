#include "calibrate/sweep.hpp"

#include <omp.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdio>

#include "calibrate/kernels.hpp"
#include "calibrate/timing.hpp"
#include "tools/catalog/floors.hpp"
#include "tools/catalog/programs.hpp"

using namespace omp_sums;

namespace {

// A batch reads at least this much, so that the clock's own cost stays far within it.
constexpr long kBatchElements = 1L << 19;  // 4 MiB
// A working set's batches read it four times over: all but the first pass find what the caches kept.
constexpr int kPasses = 4;
// Past this, a team's sweep stops at the working set it reached.
constexpr double kSecondsPerTeam = 2.0;

// GB/s of THREADS threads reading the first N doubles of a, each its block, batch by batch: each
// thread at its lower quartile, which the first pass's misses and a preemption do not reach.
double bandwidth(const double* a, long n, int threads) {
  double gb_per_s = 0;
  double checksum = 0;
#pragma omp parallel num_threads(threads) shared(a, n, gb_per_s, checksum)
  {
    const int team = omp_get_num_threads();
    const int thread = omp_get_thread_num();
    const long begin = n * thread / team;
    const long length = std::max(n * (thread + 1) / team - begin, 1L);
    // A small block is read whole, over and over; a large one in equal chunks, sixteen at most
    // (what a sixteenth leaves over is not read).
    const long passes_per_batch = std::max(1L, kBatchElements / length);
    const long chunks = std::clamp(length / kBatchElements, 1L, 16L);
    const long chunk = length / chunks;
    const int batches = static_cast<int>(std::clamp(kPasses * chunks, 32L, static_cast<long>(kMostBatches)));
    double sum = 0;
#pragma omp barrier
    const thread_part part = timed_batches(batches, [&](int k) {
      const long from = begin + (k % chunks) * chunk;
      sum += unordered_sum(a, from, from + chunk, passes_per_batch);
      return true;
    });
    const double bytes = 8.0 * static_cast<double>(chunk * passes_per_batch);
#pragma omp critical
    {
      gb_per_s += bytes / part.quartile * 1e-9;
      checksum += sum;
    }
  }
  volatile double sink = checksum;
  static_cast<void>(sink);
  return gb_per_s;
}

}  // namespace

double* populated_array(long long n) {
  const std::size_t bytes = static_cast<std::size_t>(std::max(n, 1LL)) * sizeof(double);
  void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  if (n >= 0 && memory != MAP_FAILED) return static_cast<double*>(memory);
  std::printf(kMemoryMessage, static_cast<unsigned long>(n * 8));
  std::putchar('\n');
  return nullptr;
}

int sweep_reads(long long most_bytes) {
  const long long elements = most_bytes / 8;
  double* a = populated_array(elements);
  if (a == nullptr) return 1;
  const int team_size = announce_team_size();
  for (int threads : {1, team_size}) {
    if (threads == 1 && team_size == 1) continue;  // the team's sweep is the one-thread sweep
    const double start = clock_seconds(CLOCK_MONOTONIC);
    for (long long bytes = kSweepFirstBytes; bytes <= most_bytes; bytes *= 2) {
      for (const long long working_set : {bytes, bytes / 2 * 3}) {
        if (working_set > most_bytes || clock_seconds(CLOCK_MONOTONIC) - start > kSecondsPerTeam) continue;
        std::printf(kSweepLine, threads, working_set, bandwidth(a, static_cast<long>(working_set / 8), threads));
        std::putchar('\n');
      }
    }
  }
  std::fflush(stdout);
  munmap(a, static_cast<std::size_t>(std::max(elements, 1LL)) * sizeof(double));
  return 0;
}
