// The statistics every sentence rests on, against tabulated values, and the format reader that
// every figure is read with.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/analysis/ratios.hpp"
#include "tools/analysis/statistics.hpp"
#include "tools/catalog/programs.hpp"
#include "tools/catalog/text.hpp"
#include "tools/run/program_output.hpp"

using namespace omp_sums;

namespace {

// 1, 2, ..., n shuffled: the interval's ends are the ranks themselves.
std::vector<double> ranks(int n) {
  std::vector<double> values;
  for (int k = n; k >= 1; --k) values.push_back(k);
  return values;
}

// The U test's two-sided p-values against exact tables: samples of m and n that overlap in U
// pairs (the first's value above the second's), and large or tied samples by the normal law.
std::pair<std::vector<double>, std::vector<double>> samples_with_u(int m, int n, int u) {
  std::vector<double> a(static_cast<std::size_t>(m));
  std::vector<double> b(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) b[static_cast<std::size_t>(k)] = 10.0 * (k + 1);
  // a's values lie below all of b's but its largest, which lies just above b's u-th value.
  for (int k = 0; k < m; ++k) a[static_cast<std::size_t>(k)] = 1.0 + k * 0.001;
  if (u > 0) a.back() = 10.0 * u + 5.0;
  return {a, b};
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST(MatchFormat, ReadsExactlyWhatPrintfWrites) {
  using fields = std::vector<std::string>;
  EXPECT_EQ(match_format("thread  3 is running on core 12", kPlacementLine), (fields{"3", "12"}));
  EXPECT_EQ(match_format("thread 3 is running on core 12", kPlacementLine), std::nullopt);
  EXPECT_EQ(match_format(printed(kResultLine, 4950.0, 1.5e-06, 0.25), kResultLine),
            (fields{"4950", "1.5e-06", "0.25"}));
  EXPECT_EQ(match_format("Sum is 4950.0, took 1 sec", kSerialResultLine), std::nullopt);  // not %g's text
  EXPECT_EQ(match_format("Sum is 4950, took 1 sec trailing", kSerialResultLine), std::nullopt);
  EXPECT_EQ(match_format("Sum is 4294967296 (expected: 1)", kIterationResultLine), std::nullopt);        // past %u
  EXPECT_EQ(match_format(replaced(printed(kTeamLine, 7), "7", "2147483648"), kTeamLine), std::nullopt);  // past %d
}

TEST(Summarise, MedianMinMax) {
  const summary odd = summarise({3.0, 1.0, 2.0});
  EXPECT_EQ(odd.median, 2.0);
  EXPECT_EQ(odd.min, 1.0);
  EXPECT_EQ(odd.max, 3.0);
  EXPECT_EQ(summarise({4.0, 1.0, 2.0, 3.0}).median, 2.5);
  EXPECT_EQ(summarise({5.0}).median, 5.0);
}

TEST(MedianInterval, UsesTheTabulatedOrderStatistics) {
  // Ranks of the distribution-free 95% interval for the median, as tabulated for n = 10, 20, 50, 100.
  for (const auto& [n, low, high] : {std::tuple{10, 2, 9}, {20, 6, 15}, {50, 18, 33}, {100, 40, 61}}) {
    const interval ci = median_interval(ranks(n));
    EXPECT_EQ(ci.low, low) << n;
    EXPECT_EQ(ci.high, high) << n;
    EXPECT_GE(ci.coverage, 0.95) << n;
  }
  const interval seven = median_interval(ranks(7));  // the default runs: min and max, 98.4%
  EXPECT_EQ(seven.low, 1);
  EXPECT_EQ(seven.high, 7);
  EXPECT_NEAR(seven.coverage, 1 - 2.0 / 128, 1e-12);
  const interval five = median_interval(ranks(5));  // too few for 95%: min and max, and what they give
  EXPECT_EQ(five.low, 1);
  EXPECT_EQ(five.high, 5);
  EXPECT_NEAR(five.coverage, 0.9375, 1e-12);
}

// --precision stops adding rounds once this holds for every case.
TEST(MedianInterval, LiesWithinAPrecisionOnlyWithRunsEnoughFor95Percent) {
  std::vector<double> twenty;  // 99.1, 99.2, ..., 101.0: the interval's ranks 6 and 15 are 99.6 and 100.5
  for (int k = 1; k <= 20; ++k) twenty.push_back(99.0 + 0.1 * k);
  EXPECT_TRUE(median_within(twenty, 0.005));
  EXPECT_FALSE(median_within(twenty, 0.004));
  EXPECT_FALSE(median_within({100.0, 100.0, 100.0, 100.0, 100.0}, 0.5));  // 5 runs: no 95% interval
}

TEST(MannWhitney, GivesTheTabulatedTwoSidedPValues) {
  // Two-sided critical value at 5% for 7 and 7 is U = 8: p just below 0.05 there, above at 9.
  for (const auto& [m, n, u, p] : {std::tuple{3, 3, 0, 0.1},
                                   {5, 5, 0, 2.0 / 252},
                                   {7, 7, 8, 0.0378788},
                                   {7, 7, 9, 0.0530303},
                                   {4, 6, 3, 0.0666667}}) {
    SCOPED_TRACE(std::to_string(m) + "," + std::to_string(n) + " U=" + std::to_string(u));
    std::vector<double> a;
    std::vector<double> b;
    if (u <= n) {
      std::tie(a, b) = samples_with_u(m, n, u);
    } else {  // spread the beats over two of a's values
      std::tie(a, b) = samples_with_u(m, n, n);
      a[0] = 10.0 * (u - n) + 5.0;
    }
    EXPECT_NEAR(mann_whitney_p(a, b), p, 1e-6);
    EXPECT_NEAR(mann_whitney_p(b, a), p, 1e-6);  // two-sided: the order does not matter
  }
  std::vector<double> low(30);
  std::vector<double> high(30);
  for (int k = 0; k < 30; ++k) {
    low[static_cast<std::size_t>(k)] = k;
    high[static_cast<std::size_t>(k)] = 100 + k;
  }
  EXPECT_LT(mann_whitney_p(low, high), 1e-9);                   // normal law, far apart
  EXPECT_DOUBLE_EQ(mann_whitney_p({1, 1, 1}, {1, 1, 1}), 1.0);  // all tied
}

TEST(RatioInterval, IsReproducibleWithItsSeedAndSeparatesDistinctCases) {
  const std::vector<double> slow = {2.02, 1.98, 2.05, 2.01, 1.97, 2.03, 2.00};
  const std::vector<double> fast = {1.01, 0.99, 1.02, 1.00, 0.98, 1.03, 1.00};
  const interval a = ratio_interval(slow, fast);
  const interval b = ratio_interval(slow, fast);
  EXPECT_EQ(a.low, b.low);
  EXPECT_EQ(a.high, b.high);
  EXPECT_GT(a.low, 1.9);  // the ratio of medians is 2.0
  EXPECT_LT(a.high, 2.1);
  const interval same = ratio_interval(fast, {1.00, 1.02, 0.99, 1.01, 0.98, 1.03, 1.00});
  EXPECT_LT(same.low, 1.0);
  EXPECT_GT(same.high, 1.0);
  EXPECT_EQ(outliers({1.0, 1.01, 0.99, 1.02, 1.0, 0.98, 3.0}), std::vector<double>{3.0});
}

}  // namespace

// Absence is claimed only where a 95% interval holds 1 and rules out twice or half; without one
// the run cannot tell, and says why.
TEST(ReadAgainst, ClaimsAbsenceOnlyFromAnIntervalThatHoldsTheLevel) {
  const ratio_figure holds{1.02, {0.95, 1.10, 0.95}, true};
  const ratio_figure tiny{1.005, {1.002, 1.008, 0.95}, true};
  const ratio_figure few_runs{10.13, {8.86, 20.38, 0.75}, false};
  const ratio_figure wide{0.004, {0.001, 1.2, 0.95}, true};
  const ratio_figure slower{1.5, {1.2, 1.9, 0.95}, true};
  EXPECT_EQ(read_against(holds, 1), reading::level);
  EXPECT_EQ(without_effect(holds, 1, "no measurable difference"), "no measurable difference");
  EXPECT_EQ(read_against(tiny, 1), reading::too_small);
  EXPECT_EQ(without_effect(tiny, 1, "none"), "less than 1% apart");
  EXPECT_EQ(read_against(few_runs, 1), reading::cannot_tell);
  EXPECT_EQ(without_effect(few_runs, 1, "none"), "this run cannot tell: too few runs for a 95% interval");
  EXPECT_EQ(read_against(wide, 1), reading::cannot_tell);
  EXPECT_EQ(without_effect(wide, 1, "none"),
            "this run cannot tell: the interval [0.00, 1.20] is too wide to rule out a large effect");
  EXPECT_EQ(read_against(slower, 1), reading::above);
  EXPECT_EQ(read_against(slower, 2), reading::below);
}
