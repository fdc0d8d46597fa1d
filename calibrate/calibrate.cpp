// What this machine allows the sums, measured on the runtime's default team (OMP_NUM_THREADS)
// with the frame's own pieces: the floors and references of tools/catalog/floors.hpp, one line
// each in its order, which sum_compare reads. Each phase starts after a barrier; every thread
// reads the clock just before and just after its own work, and the phase lasts from the first
// start to the last end. The in-order streams are the team's block sums over an index-filled
// array of N elements, the read bandwidth the same blocks read again (kLeastReadElements at
// least); the running sums kept in memory are the slot programs' over the array's first
// kSlotElements; the atomic adds on lines are kAtomicAdds per thread, which no processor hides;
// the fork/join after idle follows kIdle alone, so that it wakes a sleeping team.
#include <immintrin.h>
#include <omp.h>
#include <sched.h>
#include <sys/mman.h>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "common/frame.hpp"
#include "sum/slot_region.hpp"
#include "tools/catalog/floors.hpp"
#include "tools/catalog/programs.hpp"

namespace {

constexpr long kAdds = 1L << 23;
constexpr int kHandOverRounds = 20000;
constexpr int kLineDoubles = SUITE_CACHE_LINE_BYTES / sizeof(double);
constexpr int kAtomicAdds = 1 << 16;
constexpr int kRegions = 2000;
constexpr int kBarriers = 2000;
constexpr int kCriticalEntries = 20000;
constexpr timespec kIdle{0, 20000000};         // far longer than libgomp spins before it sleeps
constexpr int kSlotElements = 1 << 21;         // enough past the caches for a per-element cost, and quick
constexpr long kLeastReadElements = 1L << 20;  // a smaller block read once lasts about the threads' skew
// What a phase that needs its threads at once may take: past it the phase stops and reports from
// the repetitions it did, so that a loaded machine's time slices cannot stretch the calibration.
constexpr double kPhaseBudgetSeconds = 0.05;
// A hand-over whose wait spins this long gives the processor up: the other thread is not running.
constexpr int kSpinsBeforeYield = 4096;

// kAdds dependent adds: each waits for the one before, so only their latency counts.
double dependent_adds() {
  volatile double seed = 1.0;
  double x = seed;
  const double step = seed * 1e-9;
  for (long k = 0; k < kAdds; ++k) x = x + step;
  return x;
}

// a[begin..end) summed PASSES times through 16 independent partial sums, which the compiler keeps
// in vector registers: the adds leave the index order, so the read speed is all that is left.
double unordered_sum(const double* a, int begin, int end, long passes) {
  double partial[16] = {};
  double sum = 0.0;
  for (long pass = 0; pass < passes; ++pass) {
    int i = begin;
    for (; i + 16 <= end; i += 16)
      for (int k = 0; k < 16; ++k) partial[k] += a[i + k];
    for (; i < end; ++i) sum += a[i];
    asm volatile("" ::: "memory");  // so that every pass reads the array again
  }
  for (double p : partial) sum += p;
  return sum;
}

// What the hand-over of a line between threads 0 and 1 took: ns per hand-over, and the share of
// hand-overs whose wait had to give the processor up, which says the two did not run at once.
struct hand_over {
  double ns = std::numeric_limits<double>::quiet_NaN();
  double waited = std::numeric_limits<double>::quiet_NaN();
};

// Threads 0 and 1 write `turn` in turn, kHandOverRounds times or until thread 0 sees the budget
// spent. Waiting yields the processor after a while, so that two threads on one processor still
// take turns. Thread 0 returns the figures.
hand_over hand_over_of(std::atomic<int>& turn, std::atomic<bool>& stop, int thread) {
  const double start = clock_seconds(CLOCK_MONOTONIC);
  int rounds = 0;
  int waited = 0;
  for (; rounds < kHandOverRounds && !stop.load(std::memory_order_relaxed); ++rounds) {
    int spins = 0;
    for (; turn.load(std::memory_order_acquire) != thread && !stop.load(std::memory_order_relaxed); ++spins) {
      if (spins < kSpinsBeforeYield) {
        _mm_pause();
      } else {
        sched_yield();
      }
    }
    const bool gave_up = spins >= kSpinsBeforeYield;
    waited += gave_up ? 1 : 0;
    turn.store(1 - thread, std::memory_order_release);
    // The clock read every round would be half a hand-over; a wait that gave up costs far more.
    if (thread == 0 && (gave_up || rounds % 256 == 255) &&
        clock_seconds(CLOCK_MONOTONIC) - start > kPhaseBudgetSeconds) {
      stop.store(true, std::memory_order_relaxed);
    }
  }
  const double seconds = clock_seconds(CLOCK_MONOTONIC) - start;
  return {seconds * 1e9 / (2.0 * std::max(rounds, 1)), static_cast<double>(waited) / std::max(rounds, 1)};
}

// From the first thread's start to the last thread's end: what the team takes when its threads
// run at once, and no less when they must take turns (more threads than processors).
struct span {
  double first_start = std::numeric_limits<double>::infinity();
  double last_end = 0.0;
};

void take_part(span& team, double start, double end) {
#pragma omp critical
  {
    team.first_start = std::min(team.first_start, start);
    team.last_end = std::max(team.last_end, end);
  }
}

double seconds_of(const span& team) { return team.last_end - team.first_start; }

// Slots for `count` threads, `slot_doubles` apart, starting on a cache line.
double* line_aligned_slots(int count, int slot_doubles) {
  const std::size_t bytes = static_cast<std::size_t>(count) * slot_doubles * sizeof(double);
  const std::size_t rounded = (bytes + SUITE_CACHE_LINE_BYTES - 1) / SUITE_CACHE_LINE_BYTES * SUITE_CACHE_LINE_BYTES;
  return static_cast<double*>(std::aligned_alloc(SUITE_CACHE_LINE_BYTES, rounded));
}

// A parallel region that does nothing the compiler can see through, so that it is not elided.
void empty_region() {
#pragma omp parallel
  {
    if (omp_get_thread_num() < 0) std::abort();
  }
}

// Microseconds per empty parallel region, back to back, and for one after the team slept.
double fork_join_us() {
  const double start = clock_seconds(CLOCK_MONOTONIC);
  int regions = 0;
  while (regions < kRegions) {
    empty_region();
    if (++regions % 4 == 0 && clock_seconds(CLOCK_MONOTONIC) - start > kPhaseBudgetSeconds) break;
  }
  return (clock_seconds(CLOCK_MONOTONIC) - start) * 1e6 / regions;
}

double fork_join_after_idle_us() {
  nanosleep(&kIdle, nullptr);
  const double start = clock_seconds(CLOCK_MONOTONIC);
  empty_region();
  return (clock_seconds(CLOCK_MONOTONIC) - start) * 1e6;
}

// N zeroed doubles, faulted in by the kernel at once from this thread: placed as the programs'
// arrays are (4 KiB pages that main touches first), but in half the time, which is the run's
// largest part. Null after the memory message when they cannot be had.
double* populated_array(int n) {
  const std::size_t bytes = static_cast<std::size_t>(std::max(n, 1)) * sizeof(double);
  void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  if (n >= 0 && memory != MAP_FAILED) return static_cast<double*>(memory);
  std::printf(kMemoryMessage, static_cast<unsigned long>(static_cast<long long>(n) * 8));
  std::putchar('\n');
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  const int n = parse_element_count(argc, argv, 1000000);
  double* a = populated_array(n);
  if (a == nullptr) return 1;
  const int team_size = announce_team_size();
  index_fill(a, n);

  span adds;
  span inorder;
  span read;
  hand_over transfer;
  alignas(64) std::atomic<int> turn{0};
  std::atomic<bool> stop_hand_over{false};
  bool stop_barriers = false;
  long barriers_done = 0;
  double checksum = 0.0;  // keeps the sums from being optimised away
  const int most_threads = std::max(omp_get_max_threads(), 1);
  double* shared_slots = line_aligned_slots(most_threads, 1);
  double* separate_slots = line_aligned_slots(most_threads, kLineDoubles);
  alignas(64) double contended = 0.0;
  long entries = 0;
  const int slot_elements = std::min(n, kSlotElements);
  const long read_passes = std::max(1L, kLeastReadElements / std::max(1, n / team_size));
  span shared_sums, separate_sums, shared_atomics, separate_atomics, atomics, barriers, criticals;
#pragma omp parallel default(none)                                                                                   \
    shared(a, n, adds, inorder, read, transfer, turn, stop_hand_over, stop_barriers, barriers_done, checksum,        \
           shared_slots, separate_slots, slot_elements, read_passes, contended, entries, shared_sums, separate_sums, \
           shared_atomics, separate_atomics, atomics, barriers, criticals)
  {
    const int thread = omp_get_thread_num();
    const int team = omp_get_num_threads();
    const block_range block = static_block_range(n, team, thread);
#pragma omp barrier
    double start = clock_seconds(CLOCK_MONOTONIC);
    const double chain = dependent_adds();
    take_part(adds, start, clock_seconds(CLOCK_MONOTONIC));
#pragma omp barrier
    start = clock_seconds(CLOCK_MONOTONIC);
    const double in_order = block_sum(a, block.begin, block.end);
    take_part(inorder, start, clock_seconds(CLOCK_MONOTONIC));
#pragma omp barrier
    start = clock_seconds(CLOCK_MONOTONIC);
    const double unordered = unordered_sum(a, block.begin, block.end, read_passes);
    take_part(read, start, clock_seconds(CLOCK_MONOTONIC));
#pragma omp atomic
    checksum += chain + in_order + unordered;
#pragma omp barrier
    if (team >= 2 && thread < 2) {
      const hand_over measured = hand_over_of(turn, stop_hand_over, thread);
      if (thread == 0) transfer = measured;
    }
#pragma omp barrier
    start = clock_seconds(CLOCK_MONOTONIC);
    sum_into_slots(a, slot_elements, shared_slots, team, 1, true, thread, team);
    take_part(shared_sums, start, clock_seconds(CLOCK_MONOTONIC));
#pragma omp barrier
    start = clock_seconds(CLOCK_MONOTONIC);
    sum_into_slots(a, slot_elements, separate_slots, team, kLineDoubles, true, thread, team);
    take_part(separate_sums, start, clock_seconds(CLOCK_MONOTONIC));
#pragma omp barrier
    start = clock_seconds(CLOCK_MONOTONIC);
    for (int k = 0; k < kAtomicAdds; ++k) atomic_add_double(shared_slots + thread, 1.0);
    take_part(shared_atomics, start, clock_seconds(CLOCK_MONOTONIC));
#pragma omp barrier
    start = clock_seconds(CLOCK_MONOTONIC);
    for (int k = 0; k < kAtomicAdds; ++k)
      atomic_add_double(separate_slots + static_cast<std::ptrdiff_t>(thread) * kLineDoubles, 1.0);
    take_part(separate_atomics, start, clock_seconds(CLOCK_MONOTONIC));
#pragma omp barrier
    start = clock_seconds(CLOCK_MONOTONIC);
    for (int k = 0; k < kAtomicAdds; ++k) atomic_add_double(&contended, 1.0);
    take_part(atomics, start, clock_seconds(CLOCK_MONOTONIC));
#pragma omp barrier
    // Barriers in batches; between them thread 0 says, through one more barrier, whether the
    // budget is spent, so that every thread stops after the same barrier.
    start = clock_seconds(CLOCK_MONOTONIC);
    for (int batch = 0; batch < kBarriers / 8 && !stop_barriers; ++batch) {
      for (int k = 0; k < 7; ++k) {
#pragma omp barrier
      }
      if (thread == 0) {
        barriers_done += 8;
        stop_barriers = clock_seconds(CLOCK_MONOTONIC) - start > kPhaseBudgetSeconds;
      }
#pragma omp barrier
    }
    take_part(barriers, start, clock_seconds(CLOCK_MONOTONIC));
#pragma omp barrier
    start = clock_seconds(CLOCK_MONOTONIC);
    int entered = 0;
    for (; entered < kCriticalEntries; ++entered) {
#pragma omp critical
      ++entries;
      if (entered % 256 == 255 && clock_seconds(CLOCK_MONOTONIC) - start > kPhaseBudgetSeconds) break;
    }
    take_part(criticals, start, clock_seconds(CLOCK_MONOTONIC));
  }
  const double regions_us = fork_join_us();
  const double after_idle_us = fork_join_after_idle_us();

  volatile double sink = checksum;
  static_cast<void>(sink);
  double figure[kFloorCount];
  // A floor without its kernel prints nan, and every run fails.
  std::fill(std::begin(figure), std::end(figure), std::numeric_limits<double>::quiet_NaN());
  const auto measured = [&](floor_kind kind) -> double& { return figure[static_cast<std::size_t>(kind)]; };
  measured(floor_kind::add_latency) = seconds_of(adds) * 1e9 / kAdds;
  measured(floor_kind::inorder_streams) = seconds_of(inorder);
  measured(floor_kind::read_bandwidth) = seconds_of(read) / static_cast<double>(read_passes);
  measured(floor_kind::line_transfer) = transfer.ns;
  measured(floor_kind::hand_over_waits) = transfer.waited;
  measured(floor_kind::shared_line_sums) = seconds_of(shared_sums);
  measured(floor_kind::separate_line_sums) = seconds_of(separate_sums);
  measured(floor_kind::shared_line_atomic_adds) = seconds_of(shared_atomics);
  measured(floor_kind::separate_line_atomic_adds) = seconds_of(separate_atomics);
  measured(floor_kind::fork_join) = regions_us;
  measured(floor_kind::fork_join_after_idle) = after_idle_us;
  measured(floor_kind::barrier) = seconds_of(barriers) * 1e6 / std::max(barriers_done, 1L);
  measured(floor_kind::atomic_add) = seconds_of(atomics) * 1e9 / kAtomicAdds;
  // Per entry of one thread while the others contend: each entered as often as its budget let it.
  measured(floor_kind::critical) = seconds_of(criticals) * 1e6 * team_size / std::max(entries, 1L);
  for (const floor_description& floor : kFloors) {
    std::printf("%.*s: %g %.*s\n", static_cast<int>(floor.line.size()), floor.line.data(), measured(floor.kind),
                static_cast<int>(floor.line_unit.size()), floor.line_unit.data());
  }
  std::free(shared_slots);
  std::free(separate_slots);
  munmap(a, static_cast<std::size_t>(std::max(n, 1)) * sizeof(double));
  return 0;
}
