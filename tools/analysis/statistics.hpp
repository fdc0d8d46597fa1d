// Order statistics and confidence intervals of repeated measurements.
#pragma once

#include <cstdint>
#include <vector>

namespace omp_sums {

// How sure every interval of the report is, and the p-value below which a test calls a
// difference: the report's one confidence level.
inline constexpr double kConfidence = 0.95;
inline constexpr double kAlpha = 1 - kConfidence;

struct summary {
  double median;
  double min;
  double max;
};

// Median, smallest and largest of a non-empty list.
summary summarise(std::vector<double> values);

struct interval {
  double low;
  double high;
  double coverage;  // the probability that the interval holds the true value; 0: no interval
};

// A distribution-free interval for the median: the order statistics X(l) and X(n+1-l) with the
// largest l whose coverage, from the binomial distribution, is at least `confidence`. With too
// few values for that (n <= 5 at 95%) it is [min, max] with its own, smaller coverage.
interval median_interval(std::vector<double> values, double confidence = kConfidence);

// The bootstrap's fixed seed: the same runs give the same intervals.
inline constexpr std::uint64_t kBootstrapSeed = 0x5eed2026;

// A kConfidence (95%) percentile-bootstrap interval for median(numerator) / median(denominator), resampling
// each list's values with replacement.
interval ratio_interval(const std::vector<double>& numerator, const std::vector<double>& denominator,
                        std::uint64_t seed = kBootstrapSeed, int resamples = 4000);

// The two-sided p-value of the Mann-Whitney U test that a and b come from one distribution:
// exact for small samples without ties, else from the normal approximation with the ties'
// correction and a continuity correction. 1 where a sample is empty.
double mann_whitney_p(const std::vector<double>& a, const std::vector<double>& b);

// True when the distribution-free 95% interval of the median lies within `fraction` of the
// median on both sides (false where the runs are too few for 95%).
bool median_within(const std::vector<double>& values, double fraction);

// The values beyond Tukey's outer fences ("far out"): more than 3 interquartile ranges outside
// the quartiles. The inner fences flag a value in most samples of seven runs.
std::vector<double> outliers(std::vector<double> values);

}  // namespace omp_sums
