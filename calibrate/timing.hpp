// How calibrate times its phases so that a loaded machine cannot pass for a slow one. Each thread
// times its work in batches far shorter than a time slice, and its figure is its median batch:
// one preemption stretches a batch or two, not the figure. Beside it, each thread's CPU time over
// the wall time of its work says what share of a processor the scheduler gave it.
#pragma once

#include <algorithm>

#include "common/frame.hpp"

inline constexpr int kMostBatches = 64;

// One thread's part in a phase: its median batch, its batch at the lower quartile (the batches
// that kept what a cache held), how many batches it ran, and its CPU and wall time over them.
struct thread_part {
  double median = 0;
  double quartile = 0;
  int batches = 0;
  double cpu = 0;
  double wall = 0;
  // The phase as it would have taken this thread had no batch been preempted.
  double seconds() const { return median * batches; }
};

// Runs batch(k) for k = 0, 1, ... until `most` batches (kMostBatches at most) have run or one
// returns false, and times each.
template <typename Batch>
thread_part timed_batches(int most, Batch&& batch) {
  double seconds[kMostBatches];
  most = std::clamp(most, 1, kMostBatches);
  int done = 0;
  const double cpu = clock_seconds(CLOCK_THREAD_CPUTIME_ID);
  const double start = clock_seconds(CLOCK_MONOTONIC);
  double before = start;
  for (bool more = true; more && done < most;) {
    more = batch(done);
    const double after = clock_seconds(CLOCK_MONOTONIC);
    seconds[done++] = after - before;
    before = after;
  }
  const double cpu_seconds = clock_seconds(CLOCK_THREAD_CPUTIME_ID) - cpu;
  std::sort(seconds, seconds + done);
  return {seconds[done / 2], seconds[done / 4], done, cpu_seconds, before - start};
}

// The team's figure of a phase is its slowest thread's: each thread takes part in turn. Its
// threads' CPU and wall time add up.
struct team_part {
  double median = 0;   // the largest median batch
  double seconds = 0;  // the largest phase without preempted batches
  double cpu = 0;
  double wall = 0;
  int threads = 0;
};

inline void take_part(team_part& team, const thread_part& part) {
#pragma omp critical
  {
    team.median = std::max(team.median, part.median);
    team.seconds = std::max(team.seconds, part.seconds());
    team.cpu += part.cpu;
    team.wall += part.wall;
    ++team.threads;
  }
}

// Below this much wall time a thread, a phase's CPU time says little: the clock readings weigh in it.
inline constexpr double kLeastShareSeconds = 1e-3;

// The share of their processors that the phase's threads had: their CPU time over their wall
// time, where a team of more threads than PROCESSORS has all it can have at PROCESSORS over
// its threads; OTHERWISE where the phase was too short to tell. At most 1.
inline double processor_share(const team_part& phase, int processors, double otherwise) {
  if (phase.threads == 0 || phase.wall < kLeastShareSeconds * phase.threads) return otherwise;
  const int at_once = std::max(1, std::min(phase.threads, processors));
  return std::min(1.0, phase.cpu / phase.wall * phase.threads / at_once);
}
