// Ratios of two samples' medians with their bootstrap intervals, and what an interval lets a
// sentence claim.
#pragma once

#include <string>
#include <vector>

#include "tools/analysis/statistics.hpp"

namespace omp_sums {

struct ratio_figure {
  double ratio;  // NaN where a median is not positive: there is no ratio to give
  interval ci;
  bool precise;  // both sides have the runs that a 95% interval needs
};

// median(numerator) / median(denominator), with its bootstrap interval.
ratio_figure ratio_of(const std::vector<double>& numerator, const std::vector<double>& denominator);

bool has_ratio(const ratio_figure& figure);

// The one rule by which every format calls a difference: a ratio differs from a level when its
// whole 95% interval lies past the level, there were runs enough to say so, and the ratio itself
// lies at least this share past it. 0.0105769 against 0.0105764 is not called, however tight.
inline constexpr double kSmallestDifference = 0.01;

// The whole interval lies above (below) `level`, runs enough, and the ratio a difference to call.
bool above(const ratio_figure& figure, double level);
bool below(const ratio_figure& figure, double level);
bool differs(const ratio_figure& figure);  // above or below 1

// What a ratio lets a sentence say against a level; the one reading every sentence, verdict and
// comparison calls an effect by.
enum class reading {
  above,  // the whole 95% interval past the level, by a difference worth calling
  below,
  level,        // a 95% interval holds the level, and rules out an effect of twice or half
  too_small,    // the whole 95% interval past the level, by less than kSmallestDifference
  cannot_tell,  // no ratio, no 95% interval (too few runs), or one too wide to rule out a large effect
};

// An interval that holds the level but reaches beyond this factor either way of it rules out
// nothing a reader would care about: the run cannot tell.
inline constexpr double kWidestUntold = 2.0;

reading read_against(const ratio_figure& figure, double level);

// Why a figure reads cannot_tell, as a clause: "too few runs for a 95% interval", ...
std::string why_untold(const ratio_figure& figure);

// What a sentence says of a figure that shows no effect against LEVEL: ABSENT where a 95% interval
// holds the level, "less than 1% apart" where it is past it by less, and otherwise "this run
// cannot tell: WHY". Never a claim of absence without an interval.
std::string without_effect(const ratio_figure& figure, double level, const std::string& absent);

// "1.57x [1.53, 1.64]", marked * where the runs were too few for 95%.
std::string with_interval(const ratio_figure& figure);

}  // namespace omp_sums
