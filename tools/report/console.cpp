#include "tools/report/console.hpp"
#include "tools/report/region_views.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "tools/catalog/text.hpp"
#include "tools/report/case_columns.hpp"
#include "tools/report/text_formats.hpp"

namespace omp_sums {

namespace {

// Why the first write to standard output failed: once the stream has failed, a later flush says
// only that it did, not why.
int first_write_error = 0;

}  // namespace

void say(const std::string& text) {
  errno = 0;
  if (std::fputs(terminal_text(text).c_str(), stdout) == EOF && first_write_error == 0)
    first_write_error = errno != 0 ? errno : EIO;
}

int said_error() { return first_write_error; }

std::string wrapped(const std::string& raw, std::size_t width, std::size_t indent) {
  const std::string text = terminal_line(raw);
  const std::size_t longest = std::max(width, indent + 21) - 1;  // the columns a line may fill
  std::string out;
  std::size_t column = 0;
  bool line_begun = false;  // a word stands on the line after its indent
  for (std::size_t at = 0; at <= text.size();) {
    const std::size_t end = std::min(text.find(' ', at), text.size());
    std::string word = text.substr(at, end - at);
    if (line_begun && column + 1 + word.size() > longest && word.size() <= longest - indent) {
      out += "\n" + std::string(indent, ' ');
      column = indent;
      line_begun = false;
    } else if (at > 0 && (line_begun || column < indent)) {
      out += ' ';
      ++column;
    }
    // A word longer than any line (a path) is cut where each line ends.
    while (column + word.size() > longest && word.size() > longest - indent) {
      const std::size_t fits = longest - column;
      out += word.substr(0, fits) + "\n" + std::string(indent, ' ');
      word.erase(0, fits);
      column = indent;
    }
    out += word;
    column += word.size();
    line_begun = line_begun || !word.empty();
    at = end + 1;
  }
  return out + "\n";
}

namespace {

std::string setting_heading(const run_plan& plan, int setting, std::size_t width) {
  return wrapped("under " + setting_label(plan.settings[static_cast<std::size_t>(setting)]) + ":", width, 2);
}

std::string cases_table(const run_plan& plan, const figures& measured, std::size_t width) {
  const bool wide = width >= kWideConsole;
  const auto row_of = [&](auto cell_of) {
    std::string row;
    for (const column_description& column : kCaseColumns) {
      const int columns = wide ? column.console_width : column.narrow_width;
      if (columns == 0 || column.column == case_column::setting) continue;
      row += printed(column.left ? "%-*s " : "%*s ", columns, cell_of(column).c_str());
    }
    return row.substr(0, row.size() - 1) + "\n";
  };
  std::string text = row_of(
      [&](const column_description& column) { return std::string(wide ? column.heading : column.narrow_heading); });
  int shown_setting = -1;
  for (const case_stats& c : measured.cases) {
    if (plan.settings.size() > 1 && c.c.setting != shown_setting)
      text += setting_heading(plan, shown_setting = c.c.setting, width);
    text += row_of([&](const column_description& column) { return case_cell(column.column, plan, c); });
  }
  const bool imprecise = std::any_of(measured.cases.begin(), measured.cases.end(),
                                     [](const case_stats& c) { return c.median_ci.coverage < kConfidence; });
  const bool serial = std::any_of(measured.cases.begin(), measured.cases.end(),
                                  [](const case_stats& c) { return !c.c.program->on_team; });
  const bool time_shared =
      std::any_of(measured.cases.begin(), measured.cases.end(), [](const case_stats& c) { return c.time_shared; });
  text +=
      wrapped(
          "(" + case_legend(wide ? column_set::all : column_set::narrow_console) +
              (wide ? "" : "; team is the team size; the JSON and the page have every column") +
              (imprecise ? "; * fewer than 6 runs cannot give 95%: the interval is then the smallest to the largest run"
                         : "") +
              (serial ? "; the serial build runs on one thread only, as the reference, whatever --threads holds" : "") +
              (time_shared ? "; ! marks a case whose threads had less than 0.80 of their processors' time: other "
                             "work held them, and no sentence rests on it"
                           : "") +
              ")",
          width, 1) +
      "\n";
  if (plan.precision > 0) {
    const long unreached = std::count_if(measured.cases.begin(), measured.cases.end(),
                                         [](const case_stats& c) { return !c.precision_reached; });
    text += wrapped(printed("--precision %g%%: ", plan.precision * 100) +
                        (unreached == 0 ? std::string("every case's median interval lies within it")
                                        : printed("~ marks the %ld case%s whose median interval did not come within it "
                                                  "in --max-time %d s",
                                                  unreached, unreached == 1 ? "" : "s", plan.max_seconds)),
                    width, 2) +
            "\n";
  }
  return text;
}

}  // namespace

std::string floor_legend(bool scheduled) {
  std::string legend;
  for (const floor_description& floor : kFloors) {
    legend += (legend.empty() ? "" : "; ") + std::string(row_name(floor)) + ": " + std::string(floor.description);
  }
  if (scheduled) {
    legend +=
        "; ! the team's threads did not run at once, or had less than 0.80 of their processors' time in the "
        "phase (the trust notes give each share): the figure is the scheduler's, and no sentence rests on it";
  }
  return legend;
}

namespace {

std::string floors_table(const run_plan& plan, const figures& measured, std::size_t width) {
  if (measured.floors.empty()) return {};
  std::string text = printed("%-33s %7s %10s %s\n", "machine floor (calibrate)", "threads", "median", "95% interval");
  int shown_setting = -1;
  bool scheduled = false;
  for (const floor_stats& f : measured.floors) {
    if (plan.settings.size() > 1 && f.setting != shown_setting)
      text += setting_heading(plan, shown_setting = f.setting, width);
    const floor_description& floor = describe(f.kind);
    text += printed("%-33s %7d %10s %s%s\n", std::string(floor.label).c_str(), f.threads,
                    printed(floor.format, f.median).c_str(), interval_text(f.ci, floor.format).c_str(),
                    f.scheduled ? " !" : "");
    scheduled = scheduled || f.scheduled;
  }
  return text + wrapped("(" + floor_legend(scheduled) + ")", width, 1) + "\n";
}

std::string warnings_text(const std::vector<warning>& warnings, std::size_t width) {
  std::string text;
  // The noisy cases in one paragraph, each with its spread: the JSON and the page keep each in full.
  std::vector<std::string> noisy;
  for (const warning& said : warnings) {
    if (said.kind == warning_kind::noise) {
      for (const auto& [figure, value] : said.figures) {
        if (figure == "spread_percent") noisy.push_back(said.subject + printed(" %.0f%%", value));
      }
    }
  }
  if (noisy.size() > 1)
    text += wrapped("Noisy, spreading over 20% or with far-out runs: " + joined(noisy, ", ") + ".", width, 2);
  for (const warning& said : warnings) {
    if (said.kind == warning_kind::noise && noisy.size() > 1) continue;
    text += wrapped(said.text, width, 2);
    // The excerpt keeps its lines, each indented: none can pass for one of sum_compare's own.
    for (const std::string& line : lines_of(said.detail)) text += "    " + terminal_text(line) + "\n";
  }
  // Advice once for its kind, not under each case.
  for (const std::string& advice : advice_of(warnings)) text += wrapped(advice, width, 2);
  return warnings.empty() ? text : text + "\n";
}

std::string headlines_text(const std::vector<headline>& said, std::size_t width) {
  std::string text = "The headlines in full (ratios of medians, with 95% bootstrap intervals):\n";
  for (const headline& sentence : said) text += wrapped("- " + sentence.text, width, 2);
  if (said.empty()) text += "- (run sum_walltime and both slot programs to get the headlines)\n";
  if (std::any_of(said.begin(), said.end(), [](const headline& sentence) { return !sentence.precise; })) {
    text += wrapped(
        "* fewer than 6 runs on a side cannot give a 95% interval: no sentence claims an effect from it "
        "(raise --repeat)",
        width, 2);
  }
  return text + "\n";
}

std::string conditions_text(const run_conditions& conditions, const clock_facts& clock, std::size_t width) {
  const std::string after = frequency_text(clock.after);
  return wrapped(printed("The runs took %.1f s, %.1f s (%.0f%%) of it the calibration", conditions.seconds,
                         conditions.calibration_seconds,
                         conditions.seconds > 0 ? 100 * conditions.calibration_seconds / conditions.seconds : 0.0) +
                     (conditions.estimated_seconds >= 0 ? printed(" (estimated: %.0f s)", conditions.estimated_seconds)
                                                        : std::string()) +
                     (after.empty() ? "" : "; the clocks were " + after + " after them") + ".",
                 width, 0) +
         "\n";
}

}  // namespace

std::string verdict_text(const verdict& said, std::size_t width) {
  std::string text = wrapped(heading_text(said) + ":", width, 0);
  for (const verdict_line& finding : said.findings) text += wrapped("  " + line_text(finding), width, 4);
  if (said.findings.empty()) text += wrapped("  No measurable finding.", width, 4);
  if (!said.unmeasured.empty())
    text += wrapped("  No measurable difference: " + lines_text(said.unmeasured) + ".", width, 4);
  if (!said.untold.empty()) text += wrapped("  This run cannot tell: " + lines_text(said.untold) + ".", width, 4);
  if (said.notes.empty()) {
    return text + wrapped("Trust: nothing in the run's conditions touches these findings (" + said.conditions + ").",
                          width, 2);
  }
  text += wrapped("Trust (" + said.conditions + "):", width, 2);
  // The notes that touch no finding, in one line: the warnings above say which, so here they are counted.
  std::vector<std::string> aside;
  int noisy = 0;
  int shared = 0;
  for (std::size_t n = 0; n < said.notes.size(); ++n) {
    const trust_note& note = said.notes[n];
    if (!touching(note) && !note.withholds) {
      noisy += note.kind == warning_kind::noise ? 1 : 0;
      shared += note.kind == warning_kind::placement ? 1 : 0;
      if (note.kind != warning_kind::noise && note.kind != warning_kind::placement)
        aside.push_back(note.text.substr(0, note.text.size() - (note.text.back() == '.' ? 1 : 0)));
      continue;
    }
    const std::string touches = touches_text(note);
    text += wrapped((touching(note) ? printed("  %zu. ", n + 1) : std::string("  ! ")) + note.text +
                        (touches.empty() ? "" : " " + touches),
                    width, 4);
  }
  if (shared > 0)
    aside.insert(aside.begin(), printed("%d case%s whose threads shared a processor", shared, shared == 1 ? "" : "s"));
  if (noisy > 0) aside.insert(aside.begin(), printed("%d noisy case%s", noisy, noisy == 1 ? "" : "s"));
  if (!aside.empty())
    text += wrapped("  Touching no finding (see the warnings above): " + joined(aside, "; ") + ".", width, 4);
  return text;
}

std::string regions_text(const report& r, std::size_t width) {
  if (r.regions.empty() && r.regions_unavailable.empty()) return {};
  std::string text = "\n";
  if (!r.regions_unavailable.empty())
    return text + wrapped("Regions: none ran: " + r.regions_unavailable + ".", width, 2);
  text += wrapped(regions_heading(r) + ":", width, 2);
  for (const case_regions& c : r.regions) {
    text += wrapped("  " + region_case_line(r.plan, c), width, 4);
    if (c.recorded > 0) {
      text += wrapped("    all regions: " + shares_text(c.work, c.barrier, c.lock, c.overhead), width, 6);
      for (std::size_t k = 0; k < c.regions.size() && k < 3; ++k)
        text += wrapped("    " + region_line(c.regions[k]), width, 6);
    }
    text += wrapped("    " + c.sentence, width, 6);
  }
  return text;
}

std::string as_console(const report& r, std::size_t width) {
  return cases_table(r.plan, r.measured, width) + floors_table(r.plan, r.measured, width) +
         warnings_text(r.warnings, width) + headlines_text(r.said, width) +
         conditions_text(r.conditions, r.facts.clock, width) + regions_text(r, width) + verdict_text(r.judged, width);
}

}  // namespace omp_sums
