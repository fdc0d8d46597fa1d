// A loop whose iterations cost more the later they come: iteration i adds up the i numbers below
// it. Under static blocks the last thread holds most of the work and the others wait for it at
// the region's end; dynamic and guided schedules hand out chunks as threads come free, trading
// that wait for the runtime's scheduling. The schedule is the runtime's: OMP_SCHEDULE.
#include <omp.h>

#include <cstdio>
#include <initializer_list>

#include "common/frame.hpp"

// The work of iterations [begin, end): the sum of their indices.
static double work_of(block_range block) {
  double work = 0;
  for (int i = block.begin; i < block.end; ++i) work += i;
  return work;
}

// The share of the team's time that static blocks leave waiting at the region's end: each
// thread's shortfall from the heaviest block, over the team's time.
static double static_waiting_percent(int n, int team_size) {
  double heaviest = 0;
  double total = 0;
  for (int thread = 0; thread < team_size; ++thread) {
    const double work = work_of(static_block_range(n, team_size, thread));
    heaviest = work > heaviest ? work : heaviest;
    total += work;
  }
  return heaviest > 0 ? 100.0 * (1 - total / (team_size * heaviest)) : 0;
}

int main(int argc, char** argv) {
  const int n = parse_element_count(argc, argv, 20000);
  const int team_size = announce_team_size();

  const double start = clock_seconds(CLOCK_MONOTONIC);
  unsigned long long sum = 0;
#pragma omp parallel for schedule(runtime) reduction(+ : sum) default(none) shared(n)
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < i; ++j) sum += static_cast<unsigned long long>(j);
  }
  const double seconds = clock_seconds(CLOCK_MONOTONIC) - start;

  // n(n-1)(n-2)/6, divided before it is multiplied: it wraps past 64 bits as the sum does.
  unsigned long long factors[3] = {0, 0, 0};
  for (int k = 0; k < 3 && n > 2; ++k) factors[k] = static_cast<unsigned long long>(n - k);
  for (unsigned long long divisor : {2ULL, 3ULL}) {
    for (unsigned long long& factor : factors) {
      if (factor % divisor == 0) {
        factor /= divisor;
        break;
      }
    }
  }
  const unsigned long long expected = factors[0] * factors[1] * factors[2];
  std::printf("static blocks would leave %g%% of the team's time waiting at the region's end\n",
              static_waiting_percent(n, team_size));
  std::printf("Sum is %llu (expected: %llu)\nseconds=%g\n", sum, expected, seconds);
  return 0;
}
