// The slot summation of the packed and padded programs, with slot arrays sized exactly.
#include <gtest/gtest.h>
#include <omp.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <vector>

#include "common/frame.hpp"
#include "sum/slot_region.hpp"

namespace {

// The padded program's slot, in doubles, as the build gives it.
constexpr int kPaddedDoubles = SUITE_CACHE_LINE_BYTES / sizeof(double);

std::vector<double> random_values(int n) {
  std::mt19937_64 generator(static_cast<unsigned>(n) * 7919u + 1u);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::vector<double> a(static_cast<std::size_t>(n));
  for (double& x : a) x = uniform(generator);
  return a;
}

// Block sums of the partition into slot_count blocks, added into the first in order.
double reference_sum(const std::vector<double>& a, int slot_count) {
  double total = 0.0;
  for (int s = 0; s < slot_count; ++s) {
    const block_range block = static_block_range(static_cast<int>(a.size()), slot_count, s);
    const double partial = block_sum(a.data(), block.begin, block.end);
    total = s == 0 ? partial : total + partial;
  }
  return total;
}

// Runs the slot summation on a real team of team_size threads over an exactly sized slot array
// whose padded slots start out as NaN, so that a slot no thread set would poison the sum.
double slot_sum(const std::vector<double>& a, int slot_count, int slot_doubles, int team_size) {
  const bool packed = slot_doubles == 1;
  constexpr int guard = 64;  // doubles past the array that no thread may touch
  const std::size_t size = static_cast<std::size_t>(slot_count * slot_doubles);
  std::vector<double> slots(size + guard, -7.0);
  std::fill(slots.begin(), slots.begin() + static_cast<std::ptrdiff_t>(size),
            packed ? 0.0 : std::numeric_limits<double>::quiet_NaN());
  const int n = static_cast<int>(a.size());
  int formed = 0;
#pragma omp parallel num_threads(team_size) shared(formed, slots)
  {
#pragma omp single
    formed = omp_get_num_threads();
    sum_into_slots(a.data(), n, slots.data(), slot_count, slot_doubles, !packed, omp_get_thread_num(),
                   omp_get_num_threads());
  }
  EXPECT_EQ(formed, team_size);
  for (std::size_t k = size; k < slots.size(); ++k) EXPECT_EQ(slots[k], -7.0) << "past the slots";
  return combine_slots(slots.data(), slot_count, slot_doubles);
}

bool same_bits(double x, double y) { return std::memcmp(&x, &y, sizeof x) == 0; }

TEST(SlotSum, PackedAndPaddedAgreeToTheBitForManyCountsAndTeams) {
  for (int n : {0, 1, 2, 3, 7, 64, 100, 1001, 65537}) {
    const std::vector<double> a = random_values(n);
    for (int team : {1, 2, 3, 4, 8, 13}) {
      SCOPED_TRACE("n=" + std::to_string(n) + " team=" + std::to_string(team));
      const double expected = reference_sum(a, team);
      EXPECT_TRUE(same_bits(slot_sum(a, team, 1, team), expected));
      EXPECT_TRUE(same_bits(slot_sum(a, team, 8, team), expected));
    }
  }
}

TEST(SlotSum, IndexValuesGiveTheExactSumAndEmptySlotsStayZero) {
  std::vector<double> a(5);
  index_fill(a.data(), 5);
  for (int slot_doubles : {1, kPaddedDoubles}) {
    std::vector<double> slots(static_cast<std::size_t>(8 * slot_doubles), 0.0);
    for (int t = 0; t < 8; ++t) sum_into_slots(a.data(), 5, slots.data(), 8, slot_doubles, true, t, 8);
    for (int s = 5; s < 8; ++s) EXPECT_EQ(slots[static_cast<std::size_t>(s * slot_doubles)], 0.0);
    EXPECT_EQ(combine_slots(slots.data(), 8, slot_doubles), 10.0);
  }
}

TEST(SlotSum, ATeamOfAnotherSizeStaysInsideTheSlotsAndSumsEverything) {
  const std::vector<double> a = random_values(10007);
  for (int slot_count : {1, 2, 3, 5}) {
    const double expected = reference_sum(a, slot_count);
    for (int team : {1, 2, 3, 4, 6, 9}) {
      SCOPED_TRACE("slots=" + std::to_string(slot_count) + " team=" + std::to_string(team));
      EXPECT_TRUE(same_bits(slot_sum(a, slot_count, 1, team), expected));
      EXPECT_TRUE(same_bits(slot_sum(a, slot_count, kPaddedDoubles, team), expected));
    }
  }
}

// This machine's cache line, as the C library or the kernel reports it; 0 where neither does.
long cache_line_bytes() {
  const long line = sysconf(_SC_LEVEL1_DCACHE_LINESIZE);
  if (line > 0) return line;
  std::ifstream coherency("/sys/devices/system/cpu/cpu0/cache/index0/coherency_line_size");
  long size = 0;
  return coherency >> size ? size : 0;
}

// The padded layout is what keeps each partial sum off its neighbours' line.
TEST(SlotSum, PaddedSlotsAreAtLeastACacheLineApart) {
  const long line = cache_line_bytes();
  if (line == 0) GTEST_SKIP() << "this machine reports no cache line size";
  EXPECT_GE(SUITE_CACHE_LINE_BYTES, line);
  EXPECT_EQ(kPaddedDoubles * sizeof(double), static_cast<std::size_t>(SUITE_CACHE_LINE_BYTES));
}

}  // namespace
