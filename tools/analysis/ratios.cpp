#include "tools/analysis/ratios.hpp"

#include <cmath>

#include "tools/catalog/text.hpp"

namespace omp_sums {

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

reading read_against(const ratio_figure& figure, double level) {
  if (above(figure, level)) return reading::above;
  if (below(figure, level)) return reading::below;
  if (!has_ratio(figure) || !figure.precise) return reading::cannot_tell;
  if (figure.ci.low > level || figure.ci.high < level) return reading::too_small;
  // A bootstrap of few distinct values can leave the ratio outside its own interval.
  if (figure.ratio < figure.ci.low || figure.ratio > figure.ci.high) return reading::cannot_tell;
  if (figure.ci.low < level / kWidestUntold || figure.ci.high > level * kWidestUntold) return reading::cannot_tell;
  return reading::level;
}

std::string why_untold(const ratio_figure& figure) {
  if (!has_ratio(figure)) return "no ratio";
  if (!figure.precise) return "too few runs for a 95% interval";
  if (figure.ratio < figure.ci.low || figure.ratio > figure.ci.high) return "the ratio lies outside its own interval";
  return printed("the interval [%.2f, %.2f] is too wide to rule out a large effect", figure.ci.low, figure.ci.high);
}

std::string without_effect(const ratio_figure& figure, double level, const std::string& absent) {
  switch (read_against(figure, level)) {
    case reading::level: return absent;
    case reading::too_small: return printed("less than %.0f%% apart", 100 * kSmallestDifference);
    default: return "this run cannot tell: " + why_untold(figure);
  }
}

std::string with_interval(const ratio_figure& figure) {
  return printed("%.2fx [%.2f, %.2f]%s", figure.ratio, figure.ci.low, figure.ci.high, figure.precise ? "" : "*");
}

}  // namespace omp_sums
