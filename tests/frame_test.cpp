// The frame's pieces, compiled under a program profile (see tests/CMakeLists.txt): the same
// tests run once with the optimised code generation and once with the unoptimised one.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/frame.hpp"
#include "tools/catalog/programs.hpp"
#include "tools/run/program_output.hpp"

using namespace omp_sums;

namespace {

// The optimised profile contracts a*b+c, into one fused multiply-add where the instruction set
// (SUITE_ARCH_FLAGS) has one.
#if SUITE_PROFILE_CONTRACTS && defined(__FMA__)
constexpr bool kFusedTimestamps = true;
#else
constexpr bool kFusedTimestamps = false;
#endif

int parse(const char* argument) {
  char program[] = "prog";
  std::string copy = argument;
  char* argv[] = {program, copy.data(), nullptr};
  return parse_element_count(2, argv, 100);
}

TEST(ElementCount, FollowsBaseTenConversionAndKeepsTheLow32Bits) {
  char program[] = "prog";
  char* no_arguments[] = {program, nullptr};
  EXPECT_EQ(parse_element_count(1, no_arguments, 100), 100);
  EXPECT_EQ(parse_element_count(1, no_arguments, 10000), 10000);

  EXPECT_EQ(parse("1000"), 1000);
  EXPECT_EQ(parse("12abc"), 12);
  EXPECT_EQ(parse(" 42"), 42);
  EXPECT_EQ(parse("\t\n 42"), 42);
  EXPECT_EQ(parse("+7"), 7);
  EXPECT_EQ(parse("0x10"), 0);
  EXPECT_EQ(parse("abc"), 0);
  EXPECT_EQ(parse(""), 0);
  EXPECT_EQ(parse("-1"), -1);
  EXPECT_EQ(parse("- 5"), 0);
  EXPECT_EQ(parse("2147483647"), 2147483647);
  EXPECT_EQ(parse("2147483648"), -2147483647 - 1);
  EXPECT_EQ(parse("4294967296"), 0);
  EXPECT_EQ(parse("4294967396"), 100);
  EXPECT_EQ(parse("-4294967196"), 100);
  EXPECT_EQ(parse("99999999999999999999"), -1);  // clamped to 2^63-1 first
  EXPECT_EQ(parse("-99999999999999999999"), 0);  // clamped to -2^63, whose low word is 0
}

TEST(ElementCount, ReadsOnlyTheFirstArgument) {
  char program[] = "prog";
  char first[] = "7";
  char second[] = "9";
  char* argv[] = {program, first, second, nullptr};
  EXPECT_EQ(parse_element_count(3, argv, 100), 7);
}

TEST(AllocateArray, GivesZeroedMemoryOrTheMessageWithTheByteCount) {
  testing::internal::CaptureStdout();
  double* a = allocate_array(1000);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  ASSERT_NE(a, nullptr);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(a[i], 0.0);
  std::free(a);

  testing::internal::CaptureStdout();
  double* empty = allocate_array(0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_NE(empty, nullptr);
  std::free(empty);

  testing::internal::CaptureStdout();
  EXPECT_EQ(allocate_array(-1), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), printed(kMemoryMessage, 18446744073709551608UL) + "\n");

  testing::internal::CaptureStdout();
  EXPECT_EQ(allocate_array(-2147483647 - 1), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), printed(kMemoryMessage, 18446744056529682432UL) + "\n");
}

TEST(IndexFill, StoresEachIndexAndNothingForEmptyCounts) {
  std::vector<double> a(10, -1.0);
  index_fill(a.data(), 7);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(a[i], static_cast<double>(i));
  EXPECT_EQ(a[7], -1.0);
  index_fill(a.data(), 0);
  index_fill(a.data(), -3);
  EXPECT_EQ(a[0], 0.0);
}

TEST(TimespecSeconds, RoundsOnceInTheOptimisedProfileAndTwiceOtherwise) {
  EXPECT_EQ(timespec_seconds(timespec{1, 500000000}), 1.5);
  EXPECT_EQ(timespec_seconds(timespec{0, 0}), 0.0);

  // For this reading the fused and the unfused evaluation differ in the last bit.
  volatile double nsec = 27895.0;
  volatile double scale = 1e-9;
  volatile double product = nsec * scale;  // stored, so never contracted with the add
  const double unfused = product + 1.0;
  const double fused = std::fma(27895.0, 1e-9, 1.0);
  ASSERT_NE(fused, unfused);
  EXPECT_EQ(timespec_seconds(timespec{1, 27895}), kFusedTimestamps ? fused : unfused);
}

void expect_partition(int n, int team_size) {
  SCOPED_TRACE("n=" + std::to_string(n) + " team=" + std::to_string(team_size));
  const int covered = n > 0 ? n : 0;
  int next = 0;
  int first_size = -1;
  for (int t = 0; t < team_size; ++t) {
    const block_range block = static_block_range(n, team_size, t);
    const int size = block.end > block.begin ? block.end - block.begin : 0;
    if (size > 0) {
      ASSERT_EQ(block.begin, next) << "thread " << t;
      next = block.end;
    }
    if (first_size < 0) first_size = size;
    ASSERT_TRUE(size == first_size || size == first_size - 1) << "thread " << t;
    if (t > 0) {
      const block_range previous = static_block_range(n, team_size, t - 1);
      const int previous_size = std::max(0, previous.end - previous.begin);
      ASSERT_LE(size, previous_size) << "larger blocks go first";
    }
  }
  EXPECT_EQ(next, covered);
}

TEST(StaticBlockRange, WorkedExamples) {
  const block_range ten_over_four[] = {{0, 3}, {3, 6}, {6, 8}, {8, 10}};
  for (int t = 0; t < 4; ++t) {
    const block_range block = static_block_range(10, 4, t);
    EXPECT_EQ(block.begin, ten_over_four[t].begin);
    EXPECT_EQ(block.end, ten_over_four[t].end);
  }
  const block_range three_over_four = static_block_range(3, 4, 3);
  EXPECT_GE(three_over_four.begin, three_over_four.end);
  EXPECT_EQ(static_block_range(3, 4, 2).begin, 2);
  EXPECT_EQ(static_block_range(3, 4, 2).end, 3);
}

TEST(StaticBlockRange, CoversEveryIndexOnceInThreadOrder) {
  for (int n : {-2147483647 - 1, -100, -7, -1, 0, 1, 2, 3, 5, 7, 10, 63, 64, 65, 100, 1001, 2147483647}) {
    for (int team_size : {1, 2, 3, 4, 5, 7, 8, 13, 64, 150}) expect_partition(n, team_size);
  }
}

TEST(StaticBlockRange, EveryBlockIsEmptyForNonPositiveCounts) {
  for (int n : {0, -1, -5, -2147483647 - 1}) {
    for (int team_size : {1, 3, 4}) {
      for (int t = 0; t < team_size; ++t) {
        const block_range block = static_block_range(n, team_size, t);
        EXPECT_GE(block.begin, block.end) << n << " " << team_size << " " << t;
      }
    }
  }
}

TEST(BlockSum, MatchesAPlainInOrderLoopToTheBit) {
  std::mt19937_64 generator(12345);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::vector<double> a(100003);
  for (double& x : a) x = uniform(generator) * std::ldexp(1.0, static_cast<int>(generator() % 60) - 30);

  for (auto [begin, end] : {std::pair{0, 100003}, std::pair{1, 100000}, std::pair{3, 4}, std::pair{5, 12},
                            std::pair{17, 17}, std::pair{20, 10}}) {
    volatile double plain = 0.0;  // volatile keeps this reference loop scalar and in order
    for (int i = begin; i < end; ++i) plain = a[i] + plain;
    const double got = block_sum(a.data(), begin, end);
    EXPECT_EQ(std::memcmp(&got, const_cast<double*>(&plain), sizeof got), 0)
        << "[" << begin << "," << end << ") " << got << " vs " << plain;
  }
  EXPECT_EQ(block_sum(a.data(), 9, 9), 0.0);
  EXPECT_FALSE(std::signbit(block_sum(a.data(), 9, 9)));
}

TEST(AtomicAddDouble, LosesNoUpdateUnderContention) {
  double target = 0.0;
  constexpr int adds_per_thread = 20000;
  int team_size = 0;
#pragma omp parallel num_threads(4) shared(target, team_size)
  {
#pragma omp single
    team_size = omp_get_num_threads();
    for (int k = 0; k < adds_per_thread; ++k) atomic_add_double(&target, 1.0);
  }
  EXPECT_EQ(target, static_cast<double>(team_size) * adds_per_thread);

  double one_each = 0.0;
#pragma omp parallel num_threads(7) shared(one_each, team_size)
  {
#pragma omp single
    team_size = omp_get_num_threads();
    atomic_add_double(&one_each, 1.0);
  }
  EXPECT_EQ(one_each, static_cast<double>(team_size));

  double exact = 0.25;
  atomic_add_double(&exact, 0.5);
  EXPECT_EQ(exact, 0.75);
}

TEST(AnnounceTeamSize, PrintsOneLineFromThreadZero) {
  for (int threads : {1, 3}) {
    omp_set_num_threads(threads);
    testing::internal::CaptureStdout();
    const int team_size = announce_team_size();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), printed(kTeamLine, threads) + "\n");
    EXPECT_EQ(team_size, threads);
  }
}

TEST(ClockSeconds, ReadsTheClocksInSeconds) {
  const double before = clock_seconds(CLOCK_REALTIME);
  EXPECT_NEAR(before, static_cast<double>(std::time(nullptr)), 2.0);
  const double cpu = clock_seconds(CLOCK_THREAD_CPUTIME_ID);
  EXPECT_GE(cpu, 0.0);
  EXPECT_GE(clock_seconds(CLOCK_THREAD_CPUTIME_ID), cpu);
}

TEST(ResultLine, HasTheExactWordingAndTrailingBlank) {
  testing::internal::CaptureStdout();
  print_result_line(4950, 0.5, 1.25e-06);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), printed(kResultLine, 4950.0, 0.5, 1.25e-06) + "\n");
}

}  // namespace
