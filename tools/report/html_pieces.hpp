// The pieces of sum_compare's report page, each drawn from fixed figures: escaped text, the
// machine's topology as nested boxes with the processors a case's threads ran on marked, one
// forest-plot row (a ratio with its interval against 1), and the page around them.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "tools/analysis/statistics.hpp"
#include "tools/analysis/verdict.hpp"
#include "tools/catalog/machine.hpp"
#include "tools/report/text_formats.hpp"

namespace omp_sums {

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

// One row of a forest plot: the interval as a bar, the ratio as a dot, a line at 1 and faint ones
// at the axis's ticks; `supported` rows are drawn dark, the rest grey.
std::string forest_row_svg(double ratio, const interval& ci, bool supported, const forest_axis& axis);

// The axis over a forest plot's rows: its ticks labelled, and which side of 1 is which
// ("faster", "slower").
std::string forest_axis_svg(const forest_axis& axis, const char* left, const char* right);

// The verdict block of a page: the findings, and beside them the trust notes with what each touches.
std::string verdict_html(const verdict& said);

// A table cell of TEXT, escaped, with an optional class.
std::string table_cell(const std::string& text, const char* css = nullptr);

// A name from outside (a host, a processor) cut to its first MOST characters with "…" where it is
// longer, so that no name pushes the page's answer down.
std::string shortened(std::string_view text, std::size_t most = 80);

// The same in the page's markup, the whole name in a title that a pointer over it shows.
std::string shortened_html(std::string_view text, std::size_t most = 80);

// A table's head row of cells given as markup (text from outside escaped by the caller); the
// first one left-aligned.
std::string heading_row(const std::vector<std::string>& cells);

// Wide content in a box of its own that scrolls sideways on a narrow screen, not the page.
std::string scrolling(const std::string& html);

// A whole page: the title, the style, and the body given.
std::string html_page(const std::string& title, const std::string& body);

}  // namespace omp_sums
