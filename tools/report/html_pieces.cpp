#include "tools/report/html_pieces.hpp"

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

#include "tools/catalog/text.hpp"

namespace omp_sums {

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
  // On processors of several kinds each is drawn in its kind's colour, with a key under the
  // machine's own drawing.
  const std::vector<std::string> kinds = usable_kinds(machine);
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
        const int kind = kinds.empty() ? -1 : kind_of(machine, processor);
        shapes += printed("<g class=\"processor%s%s\">",
                          marked   ? " marked"
                          : usable ? ""
                                   : " unusable",
                          kind >= 0 ? printed(" kind-%d", kind % 4).c_str() : "");
        if (marked || !usable || kind >= 0) {
          shapes +=
              printed("<title>processor %d%s%s</title>", processor,
                      marked   ? printed(": %d thread placement%s", mark->second, mark->second == 1 ? "" : "s").c_str()
                      : usable ? ""
                               : " (not for this process)",
                      kind >= 0 ? printed(", core kind %d", kind).c_str() : "");
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
  for (std::size_t k = 0; marks.empty() && !kinds.empty() && k < machine.kinds.size(); ++k) {
    const std::string key = printed("core kind %zu: ", k) + processor_list(machine.kinds[k].processors) + " (" +
                            kind_description(machine.kinds[k]) + ")";
    shapes += printed("<g class=\"processor kind-%zu\"><rect x=\"%d\" y=\"%d\" width=\"14\" height=\"14\"/></g>", k % 4,
                      kGap * 2, y + 2) +
              printed("<text x=\"%d\" y=\"%d\">", kGap * 2 + 20, y + 13) + html_escaped(key) + "</text>";
    width = std::max(width, 7 * static_cast<int>(key.size()) + 40);
    y += 18;
  }
  const int height = y + kGap;
  // A drawing of placement is one of many: the machine's name for it is enough.
  const std::string title = marks.empty() ? topology_line(machine) + "; caches " + caches_line(machine) : "placement";
  width = std::max(width, 7 * static_cast<int>(title.size()) + 20);
  // A drawing of placement is one of many, set side by side: drawn at most 240 pixels wide.
  const double scale = marks.empty() ? 1.0 : std::min(1.0, 240.0 / width);
  return printed(
             "<svg class=\"topology\" xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" "
             "viewBox=\"0 0 %d %d\">",
             width * scale, height * scale, width, height) +
         box(kGap, kGap, width - 2 * kGap, height - 2 * kGap, "machine", title) + shapes + "</svg>";
}

namespace {

constexpr int kForestWidth = 240;
constexpr int kForestMargin = 12;

double forest_x(const forest_axis& axis, double value) {
  const double clamped = std::clamp(value, axis.low, axis.high);
  return kForestMargin +
         (kForestWidth - 2 * kForestMargin) * std::log(clamped / axis.low) / std::log(axis.high / axis.low);
}

// The ratios worth a tick between the axis's ends: 1 and the powers of two, or on a short axis
// steps of a tenth.
std::vector<double> forest_ticks(const forest_axis& axis) {
  std::vector<double> ticks;
  const bool short_axis = axis.high / axis.low < 2.5;
  for (double tick : short_axis ? std::vector<double>{0.6, 0.7, 0.8, 0.9, 1.0, 1.1, 1.25, 1.5, 1.75}
                                : std::vector<double>{1.0 / 4096, 1.0 / 1024, 1.0 / 256, 1.0 / 64, 1.0 / 16, 0.125,
                                                      0.25, 0.5, 1, 2, 4, 8, 16, 64, 256, 1024, 4096}) {
    if (tick >= axis.low && tick <= axis.high) ticks.push_back(tick);
  }
  return ticks;
}

}  // namespace

void widen(forest_axis& axis, double ratio, const interval& ci) {
  for (double value : {ratio, ci.low, ci.high}) {
    if (value > 0 && std::isfinite(value)) {
      axis.low = std::min(axis.low, value / 1.1);
      axis.high = std::max(axis.high, value * 1.1);
    }
  }
}

std::string forest_row_svg(double ratio, const interval& ci, bool supported, const forest_axis& axis) {
  constexpr int height = 22;
  const char* colour = supported ? "#1f4e99" : "#999999";
  std::string svg = printed(
      "<svg class=\"forest\" xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\">",
      kForestWidth, height, kForestWidth, height);
  for (double tick : forest_ticks(axis)) {
    if (tick != 1) {
      svg += printed("<line x1=\"%.1f\" y1=\"0\" x2=\"%.1f\" y2=\"%d\" stroke=\"#e4e4e4\"/>", forest_x(axis, tick),
                     forest_x(axis, tick), height);
    }
  }
  svg += printed("<line x1=\"%.1f\" y1=\"0\" x2=\"%.1f\" y2=\"%d\" stroke=\"#444\" stroke-dasharray=\"3,2\"/>",
                 forest_x(axis, 1), forest_x(axis, 1), height);
  if (ratio > 0 && std::isfinite(ratio) && std::isfinite(ci.low) && std::isfinite(ci.high)) {
    svg += printed("<line x1=\"%.1f\" y1=\"11\" x2=\"%.1f\" y2=\"11\" stroke=\"%s\" stroke-width=\"3\"/>",
                   forest_x(axis, ci.low), forest_x(axis, ci.high), colour);
    svg += printed("<circle cx=\"%.1f\" cy=\"11\" r=\"5\" fill=\"%s\"/>", forest_x(axis, ratio), colour);
  }
  return svg + "</svg>";
}

std::string forest_axis_svg(const forest_axis& axis, const char* left, const char* right) {
  constexpr int height = 34;
  std::string svg = printed(
      "<svg class=\"forest-axis\" xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d "
      "%d\" font-size=\"10\">",
      kForestWidth, height, kForestWidth, height);
  const double one = forest_x(axis, 1);
  svg += printed("<text x=\"%.1f\" y=\"11\" text-anchor=\"end\">&#8592; %s</text>", one - 4, left);
  svg += printed("<text x=\"%.1f\" y=\"11\">%s &#8594;</text>", one + 4, right);
  svg += printed("<line x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\" stroke=\"#444\"/>", kForestMargin, height - 12,
                 kForestWidth - kForestMargin, height - 12);
  // Labels at least this far apart (a label's width at its font), and never over the 1's.
  constexpr double kLabelSpacing = 30;
  double last_label = -kLabelSpacing;
  for (double tick : forest_ticks(axis)) {
    const double x = forest_x(axis, tick);
    svg +=
        printed("<line x1=\"%.1f\" y1=\"%d\" x2=\"%.1f\" y2=\"%d\" stroke=\"#444\"/>", x, height - 15, x, height - 9);
    if (tick != 1 && (x - last_label < kLabelSpacing || std::fabs(x - one) < kLabelSpacing)) continue;
    last_label = x;
    svg += printed("<text x=\"%.1f\" y=\"%d\" text-anchor=\"middle\">%s</text>", x, height - 1,
                   (tick < 1 && tick * 64 == std::round(tick * 64) && tick < 0.2 ? printed("1/%.0f", 1 / tick)
                                                                                 : printed("%g", tick))
                       .c_str());
  }
  return svg + "</svg>";
}

std::string verdict_html(const verdict& said) {
  std::string findings;
  for (const verdict_line& finding : said.findings) {
    findings += std::string("<li") + (finding.weakened_by.empty() ? "" : " class=\"weakened\"") + ">" +
                html_escaped(finding.text) + "<span class=\"weakened-by\">" + html_escaped(weakened_text(finding)) +
                "</span></li>\n";
  }
  if (said.findings.empty()) findings = "<li>No measurable finding.</li>\n";
  std::string html = "<section class=\"verdict\" id=\"verdict\">\n<div class=\"findings\">\n<h2>" +
                     html_escaped(heading_text(said)) + "</h2>\n<ul>\n" + findings + "</ul>\n";
  if (!said.unmeasured.empty()) {
    html +=
        "<p class=\"unmeasured\">No measurable difference: " + html_escaped(lines_text(said.unmeasured)) + ".</p>\n";
  }
  if (!said.untold.empty())
    html += "<p class=\"untold\">This run cannot tell: " + html_escaped(lines_text(said.untold)) + ".</p>\n";
  html += "</div>\n<div class=\"trust\">\n<h2>Trust</h2>\n<p class=\"conditions\">" + html_escaped(said.conditions) +
          ".</p>\n";
  if (said.notes.empty()) {
    html += "<p>Nothing in the run's conditions touches these findings.</p>\n";
  } else {
    // The numbered notes are those the findings cite.
    html += "<ol>\n";
    std::string unnumbered;
    for (const trust_note& note : said.notes) {
      const std::string item = ">" + html_escaped(note.text) + " <span class=\"touches\">" +
                               html_escaped(touches_text(note)) + "</span></li>\n";
      if (touching(note)) {
        html += "<li class=\"touching\"" + item;
      } else {
        unnumbered += std::string("<li") + (note.withholds ? " class=\"touching\"" : "") + item;
      }
    }
    html += "</ol>\n" + (unnumbered.empty() ? "" : "<ul>\n" + unnumbered + "</ul>\n");
  }
  return html + "</div>\n</section>\n";
}

std::string table_cell(const std::string& text, const char* css) {
  return std::string(css != nullptr ? "<td class=\"" + std::string(css) + "\">" : "<td>") + html_escaped(text) +
         "</td>";
}

std::string heading_row(const std::vector<std::string>& cells) {
  std::string row = "<thead><tr>";
  for (std::size_t k = 0; k < cells.size(); ++k) row += (k == 0 ? "<th class=\"name\">" : "<th>") + cells[k] + "</th>";
  return row + "</tr></thead>\n";
}

std::string scrolling(const std::string& html) { return "<div class=\"scroll\">" + html + "</div>\n"; }

std::string html_page(const std::string& title, const std::string& body) {
  return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
         html_escaped(title) +
         "</title>\n<style>\n"
         "body { font-family: sans-serif; margin: 1em auto; padding: 0 1em; color: #222; max-width: 1320px; }\n"
         "h1 { font-size: 1.4em; margin-bottom: 0.2em; } h2 { font-size: 1.15em; margin-top: 1.4em; border-bottom: 1px "
         "solid #ccc; }\n"
         "p.lead { margin-top: 0; color: #444; }\n"
         "h1, h2, p, li, figcaption, td.wraps { overflow-wrap: anywhere; }\n"
         ".verdict { display: flex; flex-wrap: wrap; gap: 0 2em; }\n"
         ".verdict > div { flex: 1 1 26em; min-width: 0; } .verdict h2 { margin-top: 0.6em; }\n"
         ".verdict .findings li { font-weight: bold; color: #1f4e99; margin: 0.2em 0; }\n"
         ".verdict .findings li.weakened { font-weight: normal; color: #6b7a99; }\n"
         ".weakened-by { color: #8a3b00; font-style: italic; font-weight: normal; }\n"
         ".verdict .trust li.touching { color: #8a3b00; } .touches { color: #555; font-style: italic; }\n"
         ".scroll { overflow-x: auto; max-width: 100%; }\n"
         "svg { max-width: 100%; height: auto; } svg.forest, svg.forest-axis { min-width: 180px; }\n"
         "table { border-collapse: collapse; font-size: 0.9em; margin: 0.5em 0; }\n"
         "th, td { border: 1px solid #ccc; padding: 2px 6px; text-align: right; }\n"
         "th { background: #f0f0f0; } td.name, th.name { text-align: left; }\n"
         ".facts td { text-align: left; border: none; } .facts th { text-align: left; border: none; background: none; "
         "vertical-align: top; }\n"
         "figure { margin: 1em 0; } figcaption { font-size: 0.9em; color: #555; }\n"
         "p.reading { margin: 0.2em 0 1.2em; max-width: 60em; }\n"
         ".placements { display: flex; flex-wrap: wrap; gap: 0.4em; }\n"
         "figure.placement { margin: 0; max-width: 240px; }\n"
         "td { white-space: nowrap; } td.text, td.wraps { white-space: normal; }\n"
         "table.forest td.text { text-align: left; max-width: 40em; } th.axis { padding: 0; }\n"
         ".supported { color: #1f4e99; } .slow { background: #fbd3c4; font-weight: bold; }\n"
         ".note { color: #555; font-style: italic; max-width: 70em; }\n"
         "ul.warnings pre { white-space: pre-wrap; margin: 0; font-size: 0.85em; }\n"
         "details > summary { cursor: pointer; color: #1f4e99; }\n"
         "svg.topology rect { stroke: #555; } svg.topology text { font-size: 11px; }\n"
         "svg.topology rect.machine { fill: #f7f7f7; } svg.topology rect.node { fill: #eef3fa; }\n"
         "svg.topology rect.core { fill: #fff; } .processor rect { fill: #dde7d4; }\n"
         ".processor.kind-0 rect { fill: #cfe0f3; } .processor.kind-2 rect { fill: #f3e3c4; } "
         ".processor.kind-3 rect { fill: #e6d3ec; }\n"
         ".processor.marked rect { fill: #f28e2b; } .processor.unusable rect { fill: #ccc; }\n"
         // On a narrow screen the forest plot's rows stack, each plot the screen's width, and names wrap.
         "@media (max-width: 720px) {\n"
         "  table.stacking, table.stacking tbody, table.stacking tr, table.stacking td { display: block; }\n"
         "  table.stacking thead { display: block; position: sticky; top: 0; background: #fff; }\n"
         "  table.stacking thead tr { display: block; } table.stacking thead th { display: none; }\n"
         "  table.stacking thead th.axis { display: block; border: none; background: none; }\n"
         "  table.stacking td { border: none; text-align: left; white-space: normal; }\n"
         "  table.stacking tr { border-bottom: 1px solid #ccc; padding: 0.3em 0; }\n"
         "  table.stacking td.text { max-width: none; } table.stacking svg { width: 100%; }\n"
         "  td.name { white-space: normal; min-width: 7em; }\n"
         "}\n"
         "</style>\n</head>\n<body>\n" +
         body + "</body>\n</html>\n";
}

std::string shortened(std::string_view text, std::size_t most) {
  std::size_t characters = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if ((static_cast<unsigned char>(text[at]) & 0xc0) == 0x80) continue;  // within a character
    if (++characters > most) return std::string(text.substr(0, at)) + "\u2026";
  }
  return std::string(text);
}

std::string shortened_html(std::string_view text, std::size_t most) {
  const std::string shown = shortened(text, most);
  if (shown.size() == text.size()) return html_escaped(text);
  return "<span title=\"" + html_escaped(text) + "\">" + html_escaped(shown) + "</span>";
}

}  // namespace omp_sums
