// The loops calibrate times, each shaped so that the compiler keeps what it is meant to measure.
#pragma once

#include <immintrin.h>
#include <omp.h>
#include <sched.h>

#include <atomic>
#include <cstdlib>

#include "common/frame.hpp"

// COUNT dependent adds: each waits for the one before, so only their latency counts.
inline double dependent_adds(long count) {
  volatile double seed = 1.0;
  double x = seed;
  const double step = seed * 1e-9;
  for (long k = 0; k < count; ++k) x = x + step;
  return x;
}

// a[begin..end) summed PASSES times through 32 independent partial sums, which the compiler keeps
// in eight vector registers: the adds leave the index order, and enough of them are in flight
// that even the first-level cache's loads, not the adds, set the pace.
inline double unordered_sum(const double* a, long begin, long end, long passes) {
  double partial[32] = {};
  double sum = 0.0;
  for (long pass = 0; pass < passes; ++pass) {
    long i = begin;
    for (; i + 32 <= end; i += 32)
      for (int k = 0; k < 32; ++k) partial[k] += a[i + k];
    for (; i < end; ++i) sum += a[i];
    asm volatile("" ::: "memory");  // so that every pass reads the array again
  }
  for (double p : partial) sum += p;
  return sum;
}

// A wait for the turn that spins this long gives the processor up: the other thread is not running.
inline constexpr int kSpinsBeforeYield = 4096;

// One round of the hand-over of a line between threads 0 and 1: THREAD waits for its turn and
// hands the line back. True when the wait had to give the processor up.
inline bool hand_over_once(std::atomic<int>& turn, const std::atomic<bool>& stop, int thread) {
  int spins = 0;
  for (; turn.load(std::memory_order_acquire) != thread && !stop.load(std::memory_order_relaxed); ++spins) {
    if (spins < kSpinsBeforeYield) {
      _mm_pause();
    } else {
      sched_yield();
    }
  }
  turn.store(1 - thread, std::memory_order_release);
  return spins >= kSpinsBeforeYield;
}

// Slots for `count` threads, `slot_doubles` apart, starting on a cache line.
inline double* line_aligned_slots(int count, int slot_doubles) {
  const std::size_t bytes = static_cast<std::size_t>(count) * slot_doubles * sizeof(double);
  const std::size_t rounded = (bytes + SUITE_CACHE_LINE_BYTES - 1) / SUITE_CACHE_LINE_BYTES * SUITE_CACHE_LINE_BYTES;
  return static_cast<double*>(std::aligned_alloc(SUITE_CACHE_LINE_BYTES, rounded));
}

// A parallel region that does nothing the compiler can see through, so that it is not elided.
inline void empty_region() {
#pragma omp parallel
  {
    if (omp_get_thread_num() < 0) std::abort();
  }
}
