// The generator states and the prefix sum of prefix_scan.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "scan/prefix_scan_steps.hpp"

namespace {

TEST(GeneratorState, ThreadZeroHasThreeEqualWordsFromTheSeedSecond) {
  for (std::time_t s :
       {std::time_t{0}, std::time_t{12345}, std::time_t{65535}, std::time_t{65536}, std::time_t{1796688000}}) {
    unsigned short state[3];
    seed_generator_state(state, s, 0);
    const unsigned short low = static_cast<unsigned short>(s & 0xffff);
    EXPECT_EQ(state[0], low);
    EXPECT_EQ(state[1], low);
    EXPECT_EQ(state[2], low);
  }
}

TEST(GeneratorState, WordsAreTheLowBitsOfSPlusTAndSPlusTwoT) {
  unsigned short state[3];
  seed_generator_state(state, 65535, 1);  // both sums wrap past 16 bits
  EXPECT_EQ(state[0], 65535);
  EXPECT_EQ(state[1], 0);
  EXPECT_EQ(state[2], 1);
  seed_generator_state(state, 1796688000, 40000);
  EXPECT_EQ(state[0], 1796688000 % 65536);
  EXPECT_EQ(state[1], (1796688000 + 40000) % 65536);
  EXPECT_EQ(state[2], (1796688000 + 80000) % 65536);
}

TEST(GeneratorState, ThreadsWithTheSameSecondDrawDifferentNumbers) {
  unsigned short zero[3];
  unsigned short one[3];
  unsigned short zero_again[3];
  seed_generator_state(zero, 1796688000, 0);
  seed_generator_state(one, 1796688000, 1);
  seed_generator_state(zero_again, 1796688000, 0);
  const double first = erand48(zero);
  EXPECT_NE(first, erand48(one));
  EXPECT_EQ(first, erand48(zero_again));  // the same state draws the same sequence
  for (int k = 0; k < 100; ++k) {
    const double x = erand48(zero);
    EXPECT_GE(x, 0.0);
    EXPECT_LT(x, 1.0);
  }
}

TEST(PrefixSum, InclusiveLeftToRightInPlace) {
  std::vector<double> a{1.0, 2.0, 3.0, 4.0, 0.5};
  inclusive_prefix_sum(a.data(), 5);
  EXPECT_EQ(a, (std::vector<double>{1.0, 3.0, 6.0, 10.0, 10.5}));

  std::vector<double> single{7.0};
  inclusive_prefix_sum(single.data(), 1);
  EXPECT_EQ(single[0], 7.0);
  inclusive_prefix_sum(nullptr, 0);
  inclusive_prefix_sum(nullptr, -3);

  // Left to right: 1e16 + 1 rounds away before -1e16 comes in; a reordered sum would keep it.
  std::vector<double> order{1e16, 1.0, -1e16, 1.0};
  inclusive_prefix_sum(order.data(), 4);
  EXPECT_EQ(order, (std::vector<double>{1e16, 1e16, 0.0, 1.0}));
}

}  // namespace
