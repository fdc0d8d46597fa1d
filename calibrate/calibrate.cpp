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

using namespace omp_sums;

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

// What the team shares across the phases, and each phase's figure.
struct calibration {
  const double* a = nullptr;
  int n = 0;
  int slot_elements = 0;
  double* shared_slots = nullptr;    // one double a thread, all in one line
  double* separate_slots = nullptr;  // one double a line apart
  alignas(64) std::atomic<int> turn{0};
  std::atomic<bool> stop_hand_over{false};
  std::atomic<bool> stop_barriers{false};
  alignas(64) double contended = 0.0;
  long entries = 0;  // into the critical section
  int transfer_waits = 0;
  int transfer_rounds = 0;
  double checksum = 0.0;  // keeps the sums from being optimised away
  team_part adds, inorder, read, transfer, shared_sums, separate_sums, shared_atomics, separate_atomics, atomics,
      barriers, criticals;
};

// One thread of the team, as every phase sees it.
struct member {
  int thread = 0;
  int team = 1;
  block_range block{0, 0};  // its static block of the array
  double sum = 0;
  long length() const { return block.end - block.begin; }
};

thread_part dependent_adds_phase(calibration&, member& me) {
  return timed_batches(kMostBatches, [&](int) {
    me.sum += dependent_adds(kAdds / kMostBatches);
    return true;
  });
}

thread_part inorder_phase(calibration& c, member& me) {
  const int batches = batches_of(me.length());
  return timed_batches(batches, [&](int k) {
    const block_range part = batch_range(me.block, batches, k);
    me.sum += block_sum(c.a, part.begin, part.end);
    return true;
  });
}

// A block smaller than a batch is read over and over, whole passes a batch, kLeastReadElements in
// all at least; the figure is then one pass.
thread_part read_phase(calibration& c, member& me) {
  const long length = me.length();
  const long passes = std::max(1L, kLeastBatchElements / std::max(1L, length));
  const int batches = passes > 1 ? static_cast<int>(std::clamp(kLeastReadElements / (passes * std::max(1L, length)), 1L,
                                                               static_cast<long>(kMostBatches)))
                                 : batches_of(length);
  thread_part reading = timed_batches(batches, [&](int k) {
    const block_range part = passes > 1 ? me.block : batch_range(me.block, batches, k);
    me.sum += unordered_sum(c.a, part.begin, part.end, passes);
    return true;
  });
  if (passes > 1) reading = {reading.median / passes, reading.quartile / passes, 1, reading.cpu, reading.wall};
  return reading;
}

// Threads 0 and 1 alone, handing one line back and forth.
thread_part hand_over_phase(calibration& c, member& me) {
  const double start = clock_seconds(CLOCK_MONOTONIC);
  int waits = 0, rounds = 0;
  const thread_part part = timed_batches(kMostBatches, [&](int) {
    for (int k = 0; k < kHandOversPerBatch; ++k, ++rounds) waits += hand_over_once(c.turn, c.stop_hand_over, me.thread);
    return !budget_spent(c.stop_hand_over, me.thread, start);
  });
  if (me.thread == 0) {
    c.stop_hand_over.store(true);  // the other thread may wait for a turn that will not come
    c.transfer_waits = waits;
    c.transfer_rounds = rounds;
  }
  return part;
}

// The slot programs' running sums over the array's first slot_elements, slots STRIDE doubles apart.
thread_part slot_sums(calibration& c, member& me, double* slots, int stride) {
  const int batches = batches_of(c.slot_elements / me.team);
  return timed_batches(batches, [&](int k) {
    const block_range part = batch_range({0, c.slot_elements}, batches, k);
    sum_into_slots(c.a + part.begin, part.end - part.begin, slots, me.team, stride, k == 0, me.thread, me.team);
    return true;
  });
}

thread_part shared_line_sums_phase(calibration& c, member& me) { return slot_sums(c, me, c.shared_slots, 1); }

thread_part separate_line_sums_phase(calibration& c, member& me) {
  return slot_sums(c, me, c.separate_slots, kLineDoubles);
}

thread_part atomic_adds_into(double* target) {
  return timed_batches(kMostBatches, [&](int) {
    for (int k = 0; k < kAtomicAdds / kMostBatches; ++k) atomic_add_double(target, 1.0);
    return true;
  });
}

thread_part shared_line_atomics_phase(calibration& c, member& me) {
  return atomic_adds_into(c.shared_slots + me.thread);
}

thread_part separate_line_atomics_phase(calibration& c, member& me) {
  return atomic_adds_into(c.separate_slots + static_cast<std::ptrdiff_t>(me.thread) * kLineDoubles);
}

thread_part contended_atomics_phase(calibration& c, member&) { return atomic_adds_into(&c.contended); }

// Every thread runs the same batches of barriers: the last barrier of each is where all see
// whether thread 0 found the budget spent.
thread_part barriers_phase(calibration& c, member& me) {
  const double start = clock_seconds(CLOCK_MONOTONIC);
  return timed_batches(kMostBatches, [&](int) {
    for (int k = 0; k < kBarriersPerBatch - 1; ++k) {
#pragma omp barrier
    }
    if (me.thread == 0) budget_spent(c.stop_barriers, me.thread, start);
#pragma omp barrier
    return !c.stop_barriers.load(std::memory_order_relaxed);
  });
}

thread_part criticals_phase(calibration& c, member&) {
  const double start = clock_seconds(CLOCK_MONOTONIC);
  return timed_batches(kMostBatches, [&](int) {
    for (int k = 0; k < kEntriesPerBatch; ++k) {
#pragma omp critical
      ++c.entries;
    }
    return clock_seconds(CLOCK_MONOTONIC) - start <= kPhaseBudgetSeconds;
  });
}

// The phases of the team's region, in order, each after a barrier. The phases up to the
// contended atomic adds keep their threads busy; the barriers and critical entries after them
// wait by design.
struct phase {
  team_part calibration::*figure;
  thread_part (*run)(calibration&, member&);
  bool pair = false;  // threads 0 and 1 alone take part, in a team of two or more
};

constexpr phase kPhases[] = {
    {.figure = &calibration::adds, .run = dependent_adds_phase},
    {.figure = &calibration::inorder, .run = inorder_phase},
    {.figure = &calibration::read, .run = read_phase},
    {.figure = &calibration::transfer, .run = hand_over_phase, .pair = true},
    {.figure = &calibration::shared_sums, .run = shared_line_sums_phase},
    {.figure = &calibration::separate_sums, .run = separate_line_sums_phase},
    {.figure = &calibration::shared_atomics, .run = shared_line_atomics_phase},
    {.figure = &calibration::separate_atomics, .run = separate_line_atomics_phase},
    {.figure = &calibration::atomics, .run = contended_atomics_phase},
    {.figure = &calibration::barriers, .run = barriers_phase},
    {.figure = &calibration::criticals, .run = criticals_phase},
};

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
      std::fprintf(stderr, "calibrate: %s%s\n%s",
                   sweep ? "--sweep takes one number of bytes, from 16384 to 2^40" : "unknown option ",
                   sweep ? "" : argv[1], kUsage);
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

  calibration c;
  c.a = a;
  c.n = n;
  c.slot_elements = std::min(n, kSlotElements);
  const int most_threads = std::max(omp_get_max_threads(), 1);
  c.shared_slots = line_aligned_slots(most_threads, 1);
  c.separate_slots = line_aligned_slots(most_threads, kLineDoubles);
#pragma omp parallel default(none) shared(c, kPhases)
  {
    member me;
    me.thread = omp_get_thread_num();
    me.team = omp_get_num_threads();
    me.block = static_block_range(c.n, me.team, me.thread);
    for (const phase& p : kPhases) {
#pragma omp barrier
      if (!p.pair || (me.team >= 2 && me.thread < 2)) take_part(c.*p.figure, p.run(c, me));
    }
#pragma omp atomic
    c.checksum += me.sum;
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

  volatile double sink = c.checksum + static_cast<double>(c.entries);
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
  const double adds_share = processor_share(c.adds, processors, 1.0);
  const auto share_of = [&](const team_part& phase) { return processor_share(phase, processors, adds_share); };
  const double waiting_share = share_of(c.atomics);
  // Threads that take turns on fewer processors each run as fast alone: the team needs their turns.
  const double turns = std::max(1.0, static_cast<double>(team_size) / processors);
  measured(floor_kind::add_latency, c.adds.median * kMostBatches * 1e9 / kAdds * turns, adds_share);
  measured(floor_kind::add_cpu_time, c.adds.cpu / c.adds.threads * 1e9 / kAdds, adds_share);
  measured(floor_kind::inorder_streams, c.inorder.seconds * turns, share_of(c.inorder));
  measured(floor_kind::read_bandwidth, c.read.seconds * turns, share_of(c.read));
  const double hand_overs = 2.0 * kHandOversPerBatch;
  measured(floor_kind::line_transfer, team_size >= 2 ? c.transfer.median * 1e9 / hand_overs : NAN,
           share_of(c.transfer));
  measured(floor_kind::hand_over_waits,
           team_size >= 2 ? static_cast<double>(c.transfer_waits) / std::max(c.transfer_rounds, 1) : NAN,
           share_of(c.transfer));
  measured(floor_kind::shared_line_sums, c.shared_sums.seconds * turns, share_of(c.shared_sums));
  measured(floor_kind::separate_line_sums, c.separate_sums.seconds * turns, share_of(c.separate_sums));
  measured(floor_kind::shared_line_atomic_adds, c.shared_atomics.seconds * turns, share_of(c.shared_atomics));
  measured(floor_kind::separate_line_atomic_adds, c.separate_atomics.seconds * turns, share_of(c.separate_atomics));
  measured(floor_kind::fork_join, regions.median * 1e6 / kRegionsPerBatch, waiting_share);
  measured(floor_kind::fill, fill.wall, share_of({0, 0, fill.cpu, fill.wall, 1}));
  measured(floor_kind::fork_join_after_idle, after_idle * 1e6, waiting_share);
  measured(floor_kind::barrier, c.barriers.median * 1e6 / kBarriersPerBatch, waiting_share);
  measured(floor_kind::atomic_add, c.atomics.seconds * turns * 1e9 / kAtomicAdds, share_of(c.atomics));
  // Per entry of one thread while the others contend for it.
  measured(floor_kind::critical, c.criticals.median * 1e6 / kEntriesPerBatch, waiting_share);
  for (const floor_description& floor : kFloors) {
    const std::size_t k = static_cast<std::size_t>(floor.kind);
    std::printf("%.*s: %g %.*s", static_cast<int>(floor.line.size()), floor.line.data(), figure[k],
                static_cast<int>(floor.line_unit.size()), floor.line_unit.data());
    std::printf(kShareSuffix, share[k]);
    std::putchar('\n');
  }
  std::free(c.shared_slots);
  std::free(c.separate_slots);
  std::free(a);
  return 0;
}
