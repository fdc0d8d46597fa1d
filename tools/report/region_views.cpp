#include "tools/report/region_views.hpp"

#include <algorithm>

#include "tools/catalog/text.hpp"
#include "tools/report/palette.hpp"
#include "tools/report/text_formats.hpp"

namespace omp_sums {

namespace {

std::string share_text(const char* part, const share_figure& share) {
  return printed("%s %.0f%% [%.0f, %.0f]", part, 100 * share.median, 100 * share.low, 100 * share.high);
}

}  // namespace

std::string region_seconds(double seconds) {
  if (seconds < 0) return "-";
  if (seconds < 1e-3) return printed("%.3g us", seconds * 1e6);
  if (seconds < 1) return printed("%.3g ms", seconds * 1e3);
  return printed("%.4g s", seconds);
}

std::string regions_heading(const report& r) {
  int runs = 0;
  for (const case_regions& c : r.regions) runs = std::max(runs, c.runs);
  return printed(
      "Where the parallel regions' time goes: %d run%s of each case under the region tool, on LLVM's "
      "libomp, after the timed runs; shares of the team's time (threads x wall) with 95%% intervals",
      runs, runs == 1 ? "" : "s");
}

std::string region_case_line(const run_plan& plan, const case_regions& c) {
  const std::string timed = "timed median " + region_seconds(c.timed_seconds);
  std::string text = case_name(plan, c.c) + ": ";
  if (c.timed_runtime == "libomp") {
    text += timed + " and under the tool " + region_seconds(c.seconds_under_tool) + ", both on libomp";
  } else {
    text += timed + " on " + (c.timed_runtime.empty() ? std::string("the runtime it links") : c.timed_runtime) +
            ", under the tool " + region_seconds(c.seconds_under_tool) + " on libomp";
  }
  if (c.ns_per_event >= 0)
    text += printed("; the tool's cost %.0f ns an event, about %.1f%% of the team's time", c.ns_per_event,
                    100 * std::max(c.tool_share, 0.0));
  return text;
}

std::string region_line(const region_figure& region) {
  return printed("%s, %lld instance%s on %d thread%s, %s of team time: ", region.where.c_str(), region.instances,
                 region.instances == 1 ? "" : "s", region.team, region.team == 1 ? "" : "s",
                 region_seconds(region.team_seconds).c_str()) +
         shares_text(region.work, region.barrier, region.lock, region.overhead);
}

namespace {

// Shown per case on the page: the regions that lose the most.
constexpr std::size_t kChartedRegions = 2;

// The four parts' colours, as every chart of the page draws them.
struct part_style {
  const char* name;
  double region_time::*seconds;
  const char* colour;
};
constexpr part_style kParts[] = {{"work", &region_time::work, "#59a14f"},
                                 {"barrier", &region_time::barrier, "#e15759"},
                                 {"lock", &region_time::lock, "#edc948"},
                                 {"overhead", &region_time::overhead, "#bab0ac"}};

// One bar per thread, its seconds in the region split into the four parts, to the scale of the
// slowest thread.
std::string threads_svg(const region_figure& region) {
  constexpr int kBarHeight = 18;
  constexpr int kLabelWidth = 80;
  constexpr int kBarWidth = 480;
  double longest = 0;
  for (const region_time& thread : region.threads) longest = std::max(longest, total(thread));
  const int height = kBarHeight * static_cast<int>(region.threads.size()) + 4;
  std::string svg =
      printed("<svg class=\"regions\" viewBox=\"0 0 %d %d\" style=\"max-width:%dpx\" role=\"img\" aria-label=\"%s\">\n",
              kLabelWidth + kBarWidth + 90, height, kLabelWidth + kBarWidth + 90,
              html_escaped("each thread's time in " + region.where).c_str());
  for (std::size_t k = 0; k < region.threads.size(); ++k) {
    const region_time& thread = region.threads[k];
    const int y = static_cast<int>(k) * kBarHeight + 2;
    svg += printed("<text x=\"0\" y=\"%d\">thread %zu</text>\n", y + 13, k);
    double x = kLabelWidth;
    for (const part_style& part : kParts) {
      const double width = longest > 0 ? kBarWidth * (thread.*part.seconds) / longest : 0;
      if (width <= 0) continue;
      svg += printed("<rect x=\"%.1f\" y=\"%d\" width=\"%.1f\" height=\"%d\" fill=\"%s\"><title>%s %s</title></rect>\n",
                     x, y, width, kBarHeight - 4, part.colour, part.name, region_seconds(thread.*part.seconds).c_str());
      x += width;
    }
    svg += printed("<text x=\"%.1f\" y=\"%d\">%s</text>\n", x + 4, y + 13, region_seconds(total(thread)).c_str());
  }
  return svg + "</svg>\n";
}

}  // namespace

std::string shares_text(const share_figure& work, const share_figure& barrier, const share_figure& lock,
                        const share_figure& overhead) {
  return share_text("work", work) + ", " + share_text("barrier", barrier) + ", " + share_text("lock", lock) + ", " +
         share_text("overhead", overhead);
}

std::string merged_region_line(const merged_runs& merged, const merged_region& region) {
  std::vector<std::string> cells;
  for (std::size_t k = 0; k < merged.machines.size(); ++k) {
    const share_figure& share = region.waiting[k];
    cells.push_back(merged.machines[k].name + " " +
                    (region.measured[k]
                         ? printed("%.0f%% [%.0f, %.0f]", 100 * share.median, 100 * share.low, 100 * share.high)
                         : std::string("-")));
  }
  return region.name + ": waiting " + joined(cells, ", ");
}

std::string regions_markdown(const report& r) {
  if (r.regions.empty() && r.regions_unavailable.empty()) return {};
  if (!r.regions_unavailable.empty()) return "\n**Regions**: none ran: " + markdown_text(r.regions_unavailable) + ".\n";
  std::string text = "\n**" + markdown_text(regions_heading(r)) + "**\n\n";
  for (const case_regions& c : r.regions)
    text += "- " + markdown_text(c.sentence) + " " + markdown_text(region_case_line(r.plan, c)) + ".\n";
  text += "\n| case | region | instances | work | barrier | lock | overhead |\n|---|---|---:|---:|---:|---:|---:|\n";
  for (const case_regions& c : r.regions) {
    const auto row = [&](const std::string& where, const std::string& instances, const share_figure& work,
                         const share_figure& barrier, const share_figure& lock, const share_figure& overhead) {
      text += "| " + markdown_text(case_name(r.plan, c.c)) + " | " + markdown_text(where) + " | " + instances;
      for (const share_figure* share : {&work, &barrier, &lock, &overhead})
        text += printed(" | %.0f%% [%.0f, %.0f]", 100 * share->median, 100 * share->low, 100 * share->high);
      text += " |\n";
    };
    if (c.recorded == 0) continue;
    row("all regions", "", c.work, c.barrier, c.lock, c.overhead);
    for (const region_figure& region : c.regions)
      row(region.where, std::to_string(region.instances), region.work, region.barrier, region.lock, region.overhead);
  }
  return text;
}

std::string regions_html(const report& r) {
  if (r.regions.empty() && r.regions_unavailable.empty()) return {};
  if (!r.regions_unavailable.empty())
    return "<h2>Regions</h2>\n<p>None ran: " + html_escaped(r.regions_unavailable) + ".</p>\n";
  std::string html = "<h2>Where the parallel regions' time goes</h2>\n<p class=\"reading\">" +
                     html_escaped(regions_heading(r)) + ". Each bar is one thread's seconds in the region per run: ";
  for (const part_style& part : kParts)
    html += printed("<span style=\"color:%s\">&#9632;</span> %s ", part.colour, part.name);
  html += "</p>\n";
  for (const case_regions& c : r.regions) {
    html += "<h3>" + html_escaped(case_name(r.plan, c.c)) + "</h3>\n<p>" + html_escaped(c.sentence) + "</p>\n<p>" +
            html_escaped(region_case_line(r.plan, c)) + ".</p>\n";
    for (std::size_t k = 0; k < c.regions.size() && k < kChartedRegions; ++k) {
      html += "<figure>" + threads_svg(c.regions[k]) + "<figcaption>" + html_escaped(region_line(c.regions[k])) +
              "</figcaption></figure>\n";
    }
  }
  return html;
}

}  // namespace omp_sums
