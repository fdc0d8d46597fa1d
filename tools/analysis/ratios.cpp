#include "tools/analysis/ratios.hpp"

#include <cmath>

#include "tools/catalog/text.hpp"

ratio_figure ratio_of(const std::vector<double>& numerator, const std::vector<double>& denominator) {
  const double top = summarise(numerator).median;
  const double bottom = summarise(denominator).median;
  const bool positive = top > 0 && bottom > 0;
  const interval ci = positive ? ratio_interval(numerator, denominator) : interval{NAN, NAN, 0};
  const bool precise =
      median_interval(numerator).coverage >= kConfidence && median_interval(denominator).coverage >= kConfidence;
  return {positive ? top / bottom : NAN, ci, precise};
}

bool has_ratio(const ratio_figure& figure) {
  return std::isfinite(figure.ratio) && std::isfinite(figure.ci.low) && std::isfinite(figure.ci.high);
}

bool above(const ratio_figure& figure, double level) {
  return has_ratio(figure) && figure.precise && figure.ci.low > level &&
         figure.ratio >= level * (1 + kSmallestDifference);
}

bool below(const ratio_figure& figure, double level) {
  return has_ratio(figure) && figure.precise && figure.ci.high < level &&
         figure.ratio <= level / (1 + kSmallestDifference);
}
bool differs(const ratio_figure& figure) { return above(figure, 1) || below(figure, 1); }

std::string with_interval(const ratio_figure& figure) {
  return printed("%.2fx [%.2f, %.2f]%s", figure.ratio, figure.ci.low, figure.ci.high, figure.precise ? "" : "*");
}
