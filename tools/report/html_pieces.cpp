#include "tools/report/html_pieces.hpp"

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

#include "tools/catalog/text.hpp"

namespace {

constexpr int kProcessorWidth = 46;
constexpr int kProcessorHeight = 26;
constexpr int kGap = 6;
constexpr int kLabel = 16;  // a box's label line
constexpr int kCoresPerRow = 8;

// A labelled box; its colours come from the page's style, by class.
std::string box(int x, int y, int width, int height, const char* css, const std::string& label) {
  return printed("<rect class=\"%s\" x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" rx=\"4\"/>", css, x, y, width,
                 height) +
         printed("<text x=\"%d\" y=\"%d\">", x + 4, y + 12) + html_escaped(label) + "</text>";
}

}  // namespace

std::string topology_svg(const machine_topology& machine, const std::map<int, int>& marks) {
  // node -> core -> its processors, from what hwloc reported of every processor
  std::map<int, std::map<int, std::vector<int>>> nodes;
  for (const auto& [processor, core] : machine.core_of) {
    const auto node = machine.node_of.find(processor);
    nodes[node == machine.node_of.end() ? 0 : node->second][core].push_back(processor);
  }
  const std::set<int> allowed(machine.allowed.begin(), machine.allowed.end());
  std::string shapes;
  int y = kLabel + kGap + 14;
  int width = 0;
  for (const auto& [node, cores] : nodes) {
    int widest_core = 1;
    for (const auto& [core, processors] : cores)
      widest_core = std::max<int>(widest_core, static_cast<int>(processors.size()));
    const int core_width = widest_core * (kProcessorWidth + kGap) + kGap;
    const int core_height = kLabel + kProcessorHeight + kGap;
    const int per_row = std::min<int>(kCoresPerRow, static_cast<int>(cores.size()));
    const int rows = (static_cast<int>(cores.size()) + per_row - 1) / per_row;
    const int node_width = per_row * (core_width + kGap) + kGap;
    const int node_height = kLabel + rows * (core_height + kGap) + kGap;
    shapes += box(kGap * 2, y, node_width, node_height, "node", printed("NUMA node %d", node));
    int k = 0;
    for (const auto& [core, processors] : cores) {
      const int cx = kGap * 3 + (k % per_row) * (core_width + kGap);
      const int cy = y + kLabel + (k / per_row) * (core_height + kGap);
      shapes += box(cx, cy, core_width, core_height, "core", printed("core %d", core));
      for (std::size_t p = 0; p < processors.size(); ++p) {
        const int processor = processors[p];
        const auto mark = marks.find(processor);
        const bool marked = mark != marks.end() && mark->second > 0;
        const bool usable = allowed.count(processor) != 0;
        const int px = cx + kGap + static_cast<int>(p) * (kProcessorWidth + kGap);
        const int py = cy + kLabel;
        // Markup per processor is kept short: a page draws the machine once per case.
        shapes += printed("<g class=\"processor%s\">", marked ? " marked" : usable ? "" : " unusable");
        if (marked || !usable) {
          shapes +=
              printed("<title>processor %d%s</title>", processor,
                      marked ? printed(": %d thread placement%s", mark->second, mark->second == 1 ? "" : "s").c_str()
                             : " (not for this process)");
        }
        shapes +=
            printed("<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\"/><text x=\"%d\" y=\"%d\">P%d%s</text></g>", px,
                    py, kProcessorWidth, kProcessorHeight, px + 4, py + 17, processor,
                    marked ? printed(" x%d", mark->second).c_str() : "");
      }
      ++k;
    }
    width = std::max(width, node_width + kGap * 4);
    y += node_height + kGap;
  }
  const int height = y + kGap;
  // A drawing of placement is one of many: the machine's name for it is enough.
  const std::string title = marks.empty() ? topology_line(machine) + "; caches " + caches_line(machine) : "placement";
  width = std::max(width, 7 * static_cast<int>(title.size()) + 20);
  // A drawing of placement is one of many, set side by side: drawn at most 360 pixels wide.
  const double scale = marks.empty() ? 1.0 : std::min(1.0, 360.0 / width);
  return printed(
             "<svg class=\"topology\" xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" "
             "viewBox=\"0 0 %d %d\">",
             width * scale, height * scale, width, height) +
         box(kGap, kGap, width - 2 * kGap, height - 2 * kGap, "machine", title) + shapes + "</svg>";
}

void widen(forest_axis& axis, double ratio, const interval& ci) {
  for (double value : {ratio, ci.low, ci.high}) {
    if (value > 0 && std::isfinite(value)) {
      axis.low = std::min(axis.low, value / 1.1);
      axis.high = std::max(axis.high, value * 1.1);
    }
  }
}

std::string forest_row_svg(double ratio, const interval& ci, bool supported, const forest_axis& axis) {
  constexpr int width = 260;
  constexpr int height = 22;
  const auto x_of = [&](double value) {
    const double clamped = std::clamp(value, axis.low, axis.high);
    return 10 + (width - 20) * std::log(clamped / axis.low) / std::log(axis.high / axis.low);
  };
  const char* colour = supported ? "#1f4e99" : "#999999";
  std::string svg =
      printed("<svg class=\"forest\" xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\">", width, height);
  svg += printed("<line x1=\"%.1f\" y1=\"2\" x2=\"%.1f\" y2=\"%d\" stroke=\"#444\" stroke-dasharray=\"3,2\"/>", x_of(1),
                 x_of(1), height - 2);
  if (ratio > 0 && std::isfinite(ratio) && std::isfinite(ci.low) && std::isfinite(ci.high)) {
    svg += printed("<line x1=\"%.1f\" y1=\"11\" x2=\"%.1f\" y2=\"11\" stroke=\"%s\" stroke-width=\"3\"/>", x_of(ci.low),
                   x_of(ci.high), colour);
    svg += printed("<circle cx=\"%.1f\" cy=\"11\" r=\"5\" fill=\"%s\"/>", x_of(ratio), colour);
  }
  return svg + "</svg>";
}

std::string html_page(const std::string& title, const std::string& body) {
  return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + html_escaped(title) +
         "</title>\n<style>\n"
         "body { font-family: sans-serif; margin: 1.5em; color: #222; max-width: 1400px; }\n"
         "h1 { font-size: 1.5em; } h2 { font-size: 1.2em; margin-top: 1.6em; border-bottom: 1px solid #ccc; }\n"
         "table { border-collapse: collapse; font-size: 0.9em; margin: 0.5em 0; }\n"
         "th, td { border: 1px solid #ccc; padding: 2px 6px; text-align: right; }\n"
         "th { background: #f0f0f0; } td.name, th.name { text-align: left; }\n"
         "tr.section td { background: #f7f7f7; text-align: left; font-weight: bold; }\n"
         ".facts td { text-align: left; border: none; white-space: normal; } .facts th { text-align: left; border: "
         "none; background: none; }\n"
         "figure { margin: 1em 0; } figcaption { font-size: 0.9em; color: #555; }\n"
         "figure.placement { display: inline-block; vertical-align: top; max-width: 360px; margin: 0.4em; }\n"
         "td { white-space: nowrap; } td.text { white-space: normal; }\n"
         "table.forest td.text { text-align: left; max-width: 60em; }\n"
         ".supported { color: #1f4e99; } .slow { background: #fbd3c4; font-weight: bold; }\n"
         ".note { color: #555; font-style: italic; }\n"
         "svg.topology rect { stroke: #555; } svg.topology text { font-size: 11px; }\n"
         "svg.topology rect.machine { fill: #f7f7f7; } svg.topology rect.node { fill: #eef3fa; }\n"
         "svg.topology rect.core { fill: #fff; } .processor rect { fill: #dde7d4; }\n"
         ".processor.marked rect { fill: #f28e2b; } .processor.unusable rect { fill: #ccc; }\n"
         "</style>\n</head>\n<body>\n" +
         body + "</body>\n</html>\n";
}
