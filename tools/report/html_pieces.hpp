// The pieces of sum_compare's report page, each drawn from fixed figures: escaped text, the
// machine's topology as nested boxes with the processors a case's threads ran on marked, one
// forest-plot row (a ratio with its interval against 1), and the page around them.
#pragma once

#include <map>
#include <string>

#include "tools/analysis/statistics.hpp"
#include "tools/catalog/machine.hpp"
#include "tools/report/text_formats.hpp"

// The machine as nested boxes, NUMA nodes holding cores holding processors; `marks` maps a
// processor to how many threads' placement lines named it (marked, with the count, where > 0).
// Processors this process may not use are drawn grey.
std::string topology_svg(const machine_topology& machine, const std::map<int, int>& marks);

// The axis of a forest plot: ratios from `low` to `high` on a logarithmic scale.
struct forest_axis {
  double low = 0.5;
  double high = 2;
};

// Widened to hold every interval given to it, and 1.
void widen(forest_axis& axis, double ratio, const interval& ci);

// One row of a forest plot: the interval as a bar, the ratio as a dot, a line at 1; `supported`
// rows are drawn dark, the rest grey.
std::string forest_row_svg(double ratio, const interval& ci, bool supported, const forest_axis& axis);

// A whole page: the title, the style, and the body given.
std::string html_page(const std::string& title, const std::string& body);
