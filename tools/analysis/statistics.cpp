#include "tools/analysis/statistics.hpp"

#include <algorithm>
#include <cmath>
#include <random>

namespace omp_sums {

namespace {

double median_of_sorted(const std::vector<double>& sorted) {
  const std::size_t n = sorted.size();
  return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2.0;
}

// P(B <= k) for B ~ Binomial(n, 1/2).
double binomial_half_cdf(int k, int n) {
  double term = std::ldexp(1.0, -n);  // C(n, 0) / 2^n
  double sum = 0.0;
  for (int j = 0; j <= k; ++j) {
    sum += term;
    term = term * (n - j) / (j + 1);
  }
  return sum;
}

// Linear interpolation between order statistics (the usual definition of a sample quantile).
double quantile_of_sorted(const std::vector<double>& sorted, double q) {
  const double position = q * static_cast<double>(sorted.size() - 1);
  const std::size_t below = static_cast<std::size_t>(std::floor(position));
  const std::size_t above = std::min(below + 1, sorted.size() - 1);
  return sorted[below] + (position - static_cast<double>(below)) * (sorted[above] - sorted[below]);
}

}  // namespace

summary summarise(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return {median_of_sorted(values), values.front(), values.back()};
}

interval median_interval(std::vector<double> values, double confidence) {
  std::sort(values.begin(), values.end());
  const int n = static_cast<int>(values.size());
  if (n < 2) return {values.empty() ? 0.0 : values.front(), values.empty() ? 0.0 : values.back(), 0.0};
  // X(l) <= median <= X(n+1-l) fails when fewer than l, or more than n-l, values lie below it.
  int best = 1;
  for (int l = 2; l <= n / 2; ++l) {
    if (1.0 - 2.0 * binomial_half_cdf(l - 1, n) < confidence) break;
    best = l;
  }
  const double coverage = 1.0 - 2.0 * binomial_half_cdf(best - 1, n);
  return {values[static_cast<std::size_t>(best - 1)], values[static_cast<std::size_t>(n - best)], coverage};
}

interval ratio_interval(const std::vector<double>& numerator, const std::vector<double>& denominator,
                        std::uint64_t seed, int resamples) {
  std::mt19937_64 generator(seed);
  std::vector<double> ratios;
  std::vector<double> a(numerator.size());
  std::vector<double> b(denominator.size());
  for (int r = 0; r < resamples; ++r) {
    // generator() % n rather than a distribution object: the same draws with every library.
    for (double& x : a) x = numerator[generator() % numerator.size()];
    for (double& x : b) x = denominator[generator() % denominator.size()];
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    ratios.push_back(median_of_sorted(a) / median_of_sorted(b));
  }
  std::sort(ratios.begin(), ratios.end());
  return {quantile_of_sorted(ratios, kAlpha / 2), quantile_of_sorted(ratios, 1 - kAlpha / 2), kConfidence};
}

bool median_within(const std::vector<double>& values, double fraction) {
  if (values.empty()) return false;
  const double median = summarise(values).median;
  const interval ci = median_interval(values);
  return ci.coverage >= kConfidence && ci.low >= median * (1 - fraction) && ci.high <= median * (1 + fraction);
}

std::vector<double> outliers(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  if (values.size() < 4) return {};
  const double q1 = quantile_of_sorted(values, 0.25);
  const double q3 = quantile_of_sorted(values, 0.75);
  const double reach = 3.0 * (q3 - q1);
  std::vector<double> beyond;
  for (double x : values) {
    if (x < q1 - reach || x > q3 + reach) beyond.push_back(x);
  }
  return beyond;
}

namespace {

// P(U <= u) for samples of m and n values without ties, every arrangement alike likely. count(i,
// j, v), the arrangements of i values of the first sample and j of the second in which v pairs
// have the first's value larger, follows from where the largest value comes from:
// count(i, j, v) = count(i - 1, j, v - j) + count(i, j - 1, v).
double exact_u_cdf(int m, int n, int u) {
  using layer = std::vector<std::vector<double>>;  // [j][v] for one i
  const std::size_t most = static_cast<std::size_t>(m * n) + 1;
  layer previous(static_cast<std::size_t>(n) + 1, std::vector<double>(most, 0.0));
  for (auto& row : previous) row[0] = 1.0;  // i = 0: U is 0
  for (int i = 1; i <= m; ++i) {
    layer current(static_cast<std::size_t>(n) + 1, std::vector<double>(most, 0.0));
    current[0][0] = 1.0;  // j = 0: U is 0
    for (int j = 1; j <= n; ++j) {
      for (std::size_t v = 0; v < most; ++v) {
        const double largest_first =
            v >= static_cast<std::size_t>(j) ? previous[static_cast<std::size_t>(j)][v - j] : 0.0;
        current[static_cast<std::size_t>(j)][v] = largest_first + current[static_cast<std::size_t>(j) - 1][v];
      }
    }
    previous = std::move(current);
  }
  const std::vector<double>& counts = previous[static_cast<std::size_t>(n)];
  double below = 0.0;
  double all = 0.0;
  for (std::size_t v = 0; v < most; ++v) {
    all += counts[v];
    if (static_cast<int>(v) <= u) below += counts[v];
  }
  return below / all;
}

}  // namespace

double mann_whitney_p(const std::vector<double>& a, const std::vector<double>& b) {
  const int m = static_cast<int>(a.size());
  const int n = static_cast<int>(b.size());
  if (m == 0 || n == 0) return 1.0;
  double u = 0.0;  // pairs in which a's value is the larger, ties counting half
  bool ties = false;
  for (double x : a) {
    for (double y : b) {
      u += x > y ? 1.0 : x == y ? 0.5 : 0.0;
      ties = ties || x == y;
    }
  }
  std::vector<double> all = a;
  all.insert(all.end(), b.begin(), b.end());
  std::sort(all.begin(), all.end());
  for (std::size_t k = 1; k < all.size(); ++k) ties = ties || all[k] == all[k - 1];
  if (!ties && m <= 20 && n <= 20) {
    const double smaller = std::min(u, m * n - u);
    return std::min(1.0, 2.0 * exact_u_cdf(m, n, static_cast<int>(smaller)));
  }
  double tie_term = 0.0;  // sum of t^3 - t over groups of t equal values
  for (std::size_t k = 0; k < all.size();) {
    std::size_t end = k;
    while (end < all.size() && all[end] == all[k]) ++end;
    const double t = static_cast<double>(end - k);
    tie_term += t * t * t - t;
    k = end;
  }
  const double total = m + n;
  const double variance = m * n / 12.0 * ((total + 1) - tie_term / (total * (total - 1)));
  if (variance <= 0) return 1.0;
  const double z = std::max(0.0, std::fabs(u - m * n / 2.0) - 0.5) / std::sqrt(variance);
  return std::min(1.0, std::erfc(z / std::sqrt(2.0)));
}

}  // namespace omp_sums
