// What this machine allows the sums, measured on the runtime's default team (OMP_NUM_THREADS)
// with the frame's own pieces: the floors and references of tools/catalog/floors.hpp, one line
// each in its order, which sum_compare reads. Each phase starts after a barrier; each thread
// times its work in batches, and a floor is the slowest thread's median batch, scaled to the
// whole (tools: calibrate/timing.hpp), beside the share of their processors that the phase's
// threads had. The in-order streams are the team's block sums over an index-filled array of N
// elements, the read bandwidth the same blocks read again (kLeastReadElements at least); the
// running sums kept in memory are the slot programs' over the array's first kSlotElements; the
// atomic adds on lines are kAtomicAdds per thread, which no processor hides; the fill is main's,
// page faults included, as the programs fill theirs, and the fork/join after idle follows as
// long an idle. With --sweep it measures the read sweep instead (calibrate/sweep.hpp).
#include <omp.h>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "calibrate/kernels.hpp"
#include "calibrate/sweep.hpp"
#include "calibrate/timing.hpp"
#include "sum/slot_region.hpp"
#include "tools/catalog/floors.hpp"
#include "tools/catalog/programs.hpp"

namespace {

constexpr long kAdds = 1L << 23;
constexpr int kHandOversPerBatch = 256;
constexpr int kLineDoubles = SUITE_CACHE_LINE_BYTES / sizeof(double);
constexpr int kAtomicAdds = 1 << 16;
constexpr int kRegionsPerBatch = 32;
constexpr int kBarriersPerBatch = 32;
constexpr int kEntriesPerBatch = 512;
constexpr int kSlotElements = 1 << 21;          // enough past the caches for a per-element cost, and quick
constexpr long kLeastReadElements = 1L << 20;   // a smaller block read once lasts about the threads' skew
constexpr long kLeastBatchElements = 1L << 14;  // a batch's clock readings stay within a percent of it
// What a phase that needs its threads at once may take: past it the phase stops and reports from
// the batches it ran, so that a loaded machine's time slices cannot stretch the calibration.
constexpr double kPhaseBudgetSeconds = 0.05;

constexpr const char* kUsage =
    "usage: calibrate [N]\n"
    "       calibrate --sweep BYTES\n"
    "Measures what this machine allows the sums on the OpenMP runtime's default team (OMP_NUM_THREADS):\n"
    "with N elements (default 1000000), one line per floor and reference, each with the share of its\n"
    "processors that the phase's threads had; with --sweep, the read bandwidth of working sets from\n"
    "16384 bytes up to BYTES, on one thread and on the team, one line each. sum_compare runs it beside\n"
    "the programs and reads both.\n";

// The phases of a block of LENGTH elements, a batch for every kLeastBatchElements of it at least.
int batches_of(long length) {
  return static_cast<int>(std::clamp(length / kLeastBatchElements, 1L, static_cast<long>(kMostBatches)));
}

// Batch K of BATCHES of a block's elements.
block_range batch_range(const block_range& block, int batches, int k) {
  const block_range part = static_block_range(block.end - block.begin, batches, k);
  return {block.begin + part.begin, block.begin + part.end};
}

// Whether the budget of a phase that began at START is spent, as THREAD 0 sees it; the others
// read the flag it sets.
bool budget_spent(std::atomic<bool>& stop, int thread, double start) {
  if (thread == 0 && clock_seconds(CLOCK_MONOTONIC) - start > kPhaseBudgetSeconds)
    stop.store(true, std::memory_order_relaxed);
  return stop.load(std::memory_order_relaxed);
}

// BYTES of --sweep, or -1 where the text is not a whole number from kSweepFirstBytes to 2^40.
long long sweep_bytes(const char* text) {
  errno = 0;
  char* end = nullptr;
  const long long bytes = text != nullptr ? std::strtoll(text, &end, 10) : -1;
  const bool whole = text != nullptr && end != text && *end == '\0' && errno == 0 && text[0] != '-';
  return whole && bytes >= kSweepFirstBytes && bytes <= (1LL << 40) ? bytes : -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strncmp(argv[1], "--", 2) == 0) {
    if (std::strcmp(argv[1], "--help") == 0) {
      if (std::fputs(kUsage, stdout) >= 0 && std::fflush(stdout) == 0) return 0;
      std::fprintf(stderr, "calibrate: cannot write standard output: %s\n", std::strerror(errno));
      return 1;
    }
    const long long bytes = std::strcmp(argv[1], "--sweep") == 0 && argc == 3 ? sweep_bytes(argv[2]) : -1;
    if (bytes < 0) {
      const bool sweep = std::strcmp(argv[1], "--sweep") == 0;
      std::fprintf(stderr, "calibrate: %s%s\n%s", sweep ? "--sweep takes one number of bytes, from 16384 to 2^40"
                                                          : "unknown option ", sweep ? "" : argv[1], kUsage);
      return 2;
    }
    return sweep_reads(bytes);
  }
  const int n = parse_element_count(argc, argv, 1000000);
  double* a = allocate_array(n);
  if (a == nullptr) return 1;
  const int team_size = announce_team_size();
  const int processors = omp_get_num_procs();
  const thread_part fill = timed_batches(1, [&](int) {
    index_fill(a, n);
    return true;
  });

  // Each phase's figure. The phases up to the contended atomic adds keep their threads busy; the
  // barriers and critical entries after them wait by design.
  team_part adds, inorder, read, transfer, shared_sums, separate_sums, shared_atomics, separate_atomics, atomics,
      barriers, criticals;
  int transfer_waits = 0, transfer_rounds = 0;
  alignas(64) std::atomic<int> turn{0};
  std::atomic<bool> stop_hand_over{false}, stop_barriers{false};
  double checksum = 0.0;  // keeps the sums from being optimised away
  long entries = 0;       // into the critical section
  const int most_threads = std::max(omp_get_max_threads(), 1);
  double* shared_slots = line_aligned_slots(most_threads, 1);
  double* separate_slots = line_aligned_slots(most_threads, kLineDoubles);
  alignas(64) double contended = 0.0;
  const int slot_elements = std::min(n, kSlotElements);
#pragma omp parallel default(none)                                                                                     \
    shared(a, n, adds, inorder, read, transfer, shared_sums, separate_sums, shared_atomics, separate_atomics, atomics, \
           barriers, criticals, transfer_waits, transfer_rounds, turn, stop_hand_over, stop_barriers, checksum,        \
           entries, shared_slots, separate_slots, contended, slot_elements)
  {
    const int thread = omp_get_thread_num();
    const int team = omp_get_num_threads();
    const block_range block = static_block_range(n, team, thread);
    const long length = block.end - block.begin;
    double sum = 0;

#pragma omp barrier
    take_part(adds, timed_batches(kMostBatches, [&](int) {
                sum += dependent_adds(kAdds / kMostBatches);
                return true;
              }));

#pragma omp barrier
    take_part(inorder, timed_batches(batches_of(length), [&](int k) {
                const block_range part = batch_range(block, batches_of(length), k);
                sum += block_sum(a, part.begin, part.end);
                return true;
              }));

    // A block smaller than a batch is read over and over, whole passes a batch, kLeastReadElements
    // in all at least; the figure is then one pass.
#pragma omp barrier
    const long passes = std::max(1L, kLeastBatchElements / std::max(1L, length));
    const int read_batches = passes > 1
                                 ? static_cast<int>(std::clamp(kLeastReadElements / (passes * std::max(1L, length)), 1L,
                                                               static_cast<long>(kMostBatches)))
                                 : batches_of(length);
    thread_part reading = timed_batches(read_batches, [&](int k) {
      const block_range part = passes > 1 ? block : batch_range(block, read_batches, k);
      sum += unordered_sum(a, part.begin, part.end, passes);
      return true;
    });
    if (passes > 1) reading = {reading.median / passes, reading.quartile / passes, 1, reading.cpu, reading.wall};
    take_part(read, reading);

#pragma omp barrier
    if (team >= 2 && thread < 2) {
      const double start = clock_seconds(CLOCK_MONOTONIC);
      int waits = 0, rounds = 0;
      const thread_part part = timed_batches(kMostBatches, [&](int) {
        for (int k = 0; k < kHandOversPerBatch; ++k, ++rounds) waits += hand_over_once(turn, stop_hand_over, thread);
        return !budget_spent(stop_hand_over, thread, start);
      });
      take_part(transfer, part);
      if (thread == 0) {
        stop_hand_over.store(true);  // the other thread may wait for a turn that will not come
        transfer_waits = waits;
        transfer_rounds = rounds;
      }
    }

    const int slot_batches = batches_of(slot_elements / team);
#pragma omp barrier
    take_part(shared_sums, timed_batches(slot_batches, [&](int k) {
                const block_range part = batch_range({0, slot_elements}, slot_batches, k);
                sum_into_slots(a + part.begin, part.end - part.begin, shared_slots, team, 1, k == 0, thread, team);
                return true;
              }));
#pragma omp barrier
    take_part(separate_sums, timed_batches(slot_batches, [&](int k) {
                const block_range part = batch_range({0, slot_elements}, slot_batches, k);
                sum_into_slots(a + part.begin, part.end - part.begin, separate_slots, team, kLineDoubles, k == 0,
                               thread, team);
                return true;
              }));

    const auto atomic_adds = [&](double* target) {
      return timed_batches(kMostBatches, [&](int) {
        for (int k = 0; k < kAtomicAdds / kMostBatches; ++k) atomic_add_double(target, 1.0);
        return true;
      });
    };
#pragma omp barrier
    take_part(shared_atomics, atomic_adds(shared_slots + thread));
#pragma omp barrier
    take_part(separate_atomics, atomic_adds(separate_slots + static_cast<std::ptrdiff_t>(thread) * kLineDoubles));
#pragma omp barrier
    take_part(atomics, atomic_adds(&contended));

    // Every thread runs the same batches of barriers: the last barrier of each is where all see
    // whether thread 0 found the budget spent.
#pragma omp barrier
    const double barriers_start = clock_seconds(CLOCK_MONOTONIC);
    take_part(barriers, timed_batches(kMostBatches, [&](int) {
                for (int k = 0; k < kBarriersPerBatch - 1; ++k) {
#pragma omp barrier
                }
                if (thread == 0) budget_spent(stop_barriers, thread, barriers_start);
#pragma omp barrier
                return !stop_barriers.load(std::memory_order_relaxed);
              }));

#pragma omp barrier
    const double criticals_start = clock_seconds(CLOCK_MONOTONIC);
    take_part(criticals, timed_batches(kMostBatches, [&](int) {
                for (int k = 0; k < kEntriesPerBatch; ++k) {
#pragma omp critical
                  ++entries;
                }
                return clock_seconds(CLOCK_MONOTONIC) - criticals_start <= kPhaseBudgetSeconds;
              }));
#pragma omp atomic
    checksum += sum;
  }
  // The regions back to back, then one after the team idled as long as the programs' fill.
  const double regions_start = clock_seconds(CLOCK_MONOTONIC);
  const thread_part regions = timed_batches(kMostBatches, [&](int) {
    for (int k = 0; k < kRegionsPerBatch; ++k) empty_region();
    return clock_seconds(CLOCK_MONOTONIC) - regions_start <= kPhaseBudgetSeconds;
  });
  const long idle_ns = static_cast<long>(fill.wall * 1e9);
  const timespec idle{idle_ns / 1000000000, idle_ns % 1000000000};
  nanosleep(&idle, nullptr);
  const double region_start = clock_seconds(CLOCK_MONOTONIC);
  empty_region();
  const double after_idle = clock_seconds(CLOCK_MONOTONIC) - region_start;

  volatile double sink = checksum + static_cast<double>(entries);
  static_cast<void>(sink);
  double figure[kFloorCount];
  double share[kFloorCount];
  // A floor without its kernel prints nan, and every run fails.
  std::fill(std::begin(figure), std::end(figure), std::numeric_limits<double>::quiet_NaN());
  std::fill(std::begin(share), std::end(share), 1.0);
  const auto measured = [&](floor_kind kind, double value, double phase_share) {
    figure[static_cast<std::size_t>(kind)] = value;
    share[static_cast<std::size_t>(kind)] = phase_share;
  };
  // A phase too short to tell carries the adds' share, which last milliseconds. Threads that wait
  // by design (asleep, they have no processor) carry the share of the last phase that kept every
  // thread busy.
  const double adds_share = processor_share(adds, processors, 1.0);
  const auto share_of = [&](const team_part& phase) { return processor_share(phase, processors, adds_share); };
  const double waiting_share = share_of(atomics);
  // Threads that take turns on fewer processors each run as fast alone: the team needs their turns.
  const double turns = std::max(1.0, static_cast<double>(team_size) / processors);
  measured(floor_kind::add_latency, adds.median * kMostBatches * 1e9 / kAdds * turns, adds_share);
  measured(floor_kind::add_cpu_time, adds.cpu / adds.threads * 1e9 / kAdds, adds_share);
  measured(floor_kind::inorder_streams, inorder.seconds * turns, share_of(inorder));
  measured(floor_kind::read_bandwidth, read.seconds * turns, share_of(read));
  const double hand_overs = 2.0 * kHandOversPerBatch;
  measured(floor_kind::line_transfer, team_size >= 2 ? transfer.median * 1e9 / hand_overs : NAN, share_of(transfer));
  measured(floor_kind::hand_over_waits,
           team_size >= 2 ? static_cast<double>(transfer_waits) / std::max(transfer_rounds, 1) : NAN,
           share_of(transfer));
  measured(floor_kind::shared_line_sums, shared_sums.seconds * turns, share_of(shared_sums));
  measured(floor_kind::separate_line_sums, separate_sums.seconds * turns, share_of(separate_sums));
  measured(floor_kind::shared_line_atomic_adds, shared_atomics.seconds * turns, share_of(shared_atomics));
  measured(floor_kind::separate_line_atomic_adds, separate_atomics.seconds * turns, share_of(separate_atomics));
  measured(floor_kind::fork_join, regions.median * 1e6 / kRegionsPerBatch, waiting_share);
  measured(floor_kind::fill, fill.wall, share_of({0, 0, fill.cpu, fill.wall, 1}));
  measured(floor_kind::fork_join_after_idle, after_idle * 1e6, waiting_share);
  measured(floor_kind::barrier, barriers.median * 1e6 / kBarriersPerBatch, waiting_share);
  measured(floor_kind::atomic_add, atomics.seconds * turns * 1e9 / kAtomicAdds, share_of(atomics));
  // Per entry of one thread while the others contend for it.
  measured(floor_kind::critical, criticals.median * 1e6 / kEntriesPerBatch, waiting_share);
  for (const floor_description& floor : kFloors) {
    const std::size_t k = static_cast<std::size_t>(floor.kind);
    std::printf("%.*s: %g %.*s", static_cast<int>(floor.line.size()), floor.line.data(), figure[k],
                static_cast<int>(floor.line_unit.size()), floor.line_unit.data());
    std::printf(kShareSuffix, share[k]);
    std::putchar('\n');
  }
  std::free(shared_slots);
  std::free(separate_slots);
  std::free(a);
  return 0;
}
