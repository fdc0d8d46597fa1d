// The gnuplot script of a chart of small multiples, as the page draws every chart: panels of
// lines, three a row, each with the y range of its values, drawn as SVG on standard output.
#pragma once

#include <string>
#include <vector>

namespace omp_sums {

// One line of a panel: "x y" rows, or "x y low high" rows drawn with error bars.
struct series {
  std::string title;
  std::string rows;
  bool bars = false;
  int program = 0;      // its program's place in the catalog: a program keeps its colour and marker
  bool dashed = false;  // a floor or reference, drawn in its program's colour, dashed, with open markers
};

struct panel {
  std::string title;
  std::vector<series> lines;
};

// How a chart's y axis runs: each panel's range fits its own values, with three labelled ticks at
// least. A ratio, and a figure that spans powers of ten, run on a log scale.
enum class y_axis { from_zero, ratio, logarithmic };

// How its x axis runs: team sizes, or the array's sizes in bytes.
struct x_axis {
  std::string label;
  std::string tics;   // gnuplot's list: "(1, 2, 4)", "('L2 512 KiB' 524288, ...)"
  bool log = false;   // log scale, base 2
  std::string range;  // "[low:high]", or "" for gnuplot's own
  // Drawn on every panel: a dotted line and a label at each x ("L2 1 MiB" at 1048576).
  std::vector<std::pair<double, std::string>> marks{};
};

// The script: `reference`, where not empty, is drawn over every panel's lines as a dashed black
// line ("x" for the ideal speed-up, "1" for no difference); `reference_value` is kept in the y
// range (NaN: nothing beside the lines). Ratios run on a log scale, as in every output.
std::string script_of(const std::string& title, const std::string& y_label, y_axis axis, const std::string& reference,
                      double reference_value, const std::string& reference_title, const std::vector<panel>& panels,
                      const x_axis& x);

}  // namespace omp_sums
