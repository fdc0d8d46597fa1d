// Sums the index-filled array through per-thread slots written at every element. Built twice:
// SLOT_BYTES=8 packs the slots into adjacent doubles (neighbours share a cache line), SLOT_BYTES
// of a cache line (SUITE_CACHE_LINE_BYTES in CMake) spaces them a line apart (no two partial
// sums share one).
#include <alloca.h>
#include <omp.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/frame.hpp"
#include "common/probes.hpp"
#include "sum/slot_region.hpp"

static_assert(SLOT_BYTES % sizeof(double) == 0, "whole doubles per slot");
constexpr int kSlotDoubles = SLOT_BYTES / sizeof(double);
constexpr bool kPacked = kSlotDoubles == 1;

int main(int argc, char** argv) {
  const int n = parse_element_count(argc, argv, 100);
  double* a = allocate_array(n);
  if (a == nullptr) return 1;

  int team_size = 1;
#pragma omp parallel default(none) shared(team_size)
  {
    const int thread = omp_get_thread_num();
    announce_in_region(thread, team_size);
    print_placement_line(thread);
  }

  index_fill(a, n);
  const std::size_t slot_bytes = sizeof(double) * kSlotDoubles * static_cast<std::size_t>(team_size);
  double* slots = static_cast<double*>(alloca(slot_bytes));

  const double start = clock_seconds(CLOCK_REALTIME);
  if constexpr (kPacked) std::memset(slots, 0, slot_bytes);
  double thread_time = 0.0;
#pragma omp parallel default(none) shared(a, n, slots, team_size, thread_time)
  {
    const double thread_start = clock_seconds(CLOCK_THREAD_CPUTIME_ID);
    double my_thread_time = 0.0;
    sum_into_slots(a, n, slots, team_size, kSlotDoubles, !kPacked, omp_get_thread_num(), omp_get_num_threads());
#pragma omp barrier
    my_thread_time += clock_seconds(CLOCK_THREAD_CPUTIME_ID) - thread_start;
    atomic_add_double(&thread_time, my_thread_time);
  }
  const double sum = combine_slots(slots, team_size, kSlotDoubles);
  const double end = clock_seconds(CLOCK_REALTIME);

  if constexpr (kPacked) {
    print_result_line(sum, end - start, thread_time / team_size);
  } else {
    std::printf("Sum is %g, process took %g sec of wall-clock time, <%g> sec of thread-time \n", sum, end - start,
                thread_time / team_size);
  }
  std::free(a);
  return 0;
}
