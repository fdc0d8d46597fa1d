#include "common/frame.hpp"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#ifdef _OPENMP
#include <omp.h>
#endif

int parse_element_count(int argc, char** argv, int default_count) {
  if (argc < 2) return default_count;
  // strtol clamps to the 64-bit limits; the cut to 32 bits then keeps the low word, as atoi
  // does on this platform, but without atoi's undefined behaviour out of range.
  const long value = std::strtol(argv[1], nullptr, 10);
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

double* allocate_array(int n) {
  const std::int64_t count = n;  // sign-extended: a negative N overflows the request and fails
  void* memory = std::calloc(static_cast<std::size_t>(count), sizeof(double));
  if (memory == nullptr) {
    std::printf("I'm sorry, there is not enough memory to host %lu bytes\n",
                static_cast<unsigned long>(count * static_cast<std::int64_t>(sizeof(double))));
  }
  return static_cast<double*>(memory);
}

void index_fill(double* a, int n) {
  for (int i = 0; i < n; ++i) a[i] = static_cast<double>(i);
}

#ifdef _OPENMP
int announce_team_size() {
  int team_size = 1;
#pragma omp parallel default(none) shared(team_size)
  announce_in_region(omp_get_thread_num(), team_size);
  return team_size;
}

void announce_in_region(int thread, int& team_size) {
  if (thread != 0) return;
  team_size = omp_get_num_threads();
  std::printf("omp summation with %d threads\n", team_size);
}
#endif

double timespec_seconds(const timespec& ts) {
  // Written as a*b+c so that the profile's contraction setting decides the rounding.
  return static_cast<double>(ts.tv_nsec) * 1e-9 + static_cast<double>(ts.tv_sec);
}

double clock_seconds(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return timespec_seconds(ts);
}

block_range static_block_range(int n, int team_size, int thread) {
  const int q = n / team_size;
  const int r = n % team_size;
  if (thread < r) {
    const int begin = thread * (q + 1);
    return {begin, begin + q + 1};
  }
  const int begin = thread * q + r;
  return {begin, begin + q};
}

double block_sum(const double* a, int begin, int end) {
  double sum = 0.0;
  for (int i = begin; i < end; ++i) sum = a[i] + sum;
  return sum;
}

void atomic_add_double(double* target, double value) {
  // The first read is atomic too (relaxed): a plain read racing with other threads' swaps
  // would be a data race. The swap compares the bit patterns and is sequentially consistent.
  std::atomic_ref<double> shared(*target);
  double old = shared.load(std::memory_order_relaxed);
  while (!shared.compare_exchange_strong(old, value + old, std::memory_order_seq_cst, std::memory_order_relaxed)) {
  }
}

void print_result_line(double sum, double wall_seconds, double mean_thread_seconds) {
  std::printf("Sum is %g, process took %g of wall-clock time, <%g> sec of thread-time \n", sum, wall_seconds,
              mean_thread_seconds);
}
