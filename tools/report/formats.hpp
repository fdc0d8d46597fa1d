// The files a report can be written to, each format described once: the option that asks for
// it, and whether a comparison and a merge write it too. Every format has a writer per document
// it writes, all of one shape:
//   std::string as_FORMAT(const report&, writing&)        a run, live or saved
//   std::string as_FORMAT(const comparison&, writing&)    --compare
//   std::string as_FORMAT(const merged_runs&, writing&)   --merge
// A new format is its writers' file, a row below and its case in written().
#pragma once

#include <csignal>
#include <cstddef>
#include <iterator>
#include <string>

#include "tools/analysis/comparison.hpp"
#include "tools/analysis/merge.hpp"
#include "tools/analysis/report.hpp"

enum class output_format { csv, json, chart, markdown, html };

struct format_description {
  output_format format;
  const char* option;      // "--json"
  const char* value_name;  // in --help
  const char* help;
  bool of_summaries;  // --compare and --merge write it too, not only a run and --from
};

inline constexpr format_description kFormats[] = {
    {output_format::csv, "--csv", "FILE",
     "one row per measured run; the file is whole when sum_compare ends, an interrupted run's with the runs that "
     "finished",
     false},
    {output_format::json, "--json", "FILE",
     "machine facts, runs and aggregates (or a --compare's or --merge's figures)", true},
    {output_format::chart, "--plot", "FILE.svg|FILE.png", "chart of the medians, drawn by gnuplot", false},
    {output_format::markdown, "--markdown", "FILE",
     "the verdict, the table, the headlines and the warnings (or a --compare's or --merge's verdict and table) as "
     "GitHub-flavoured markdown",
     true},
    {output_format::html, "--html", "FILE",
     "one self-contained page (of a run, --from, --compare or --merge): the verdict and the headlines as a forest "
     "plot first, then a chart per effect (gnuplot), the machine with each case's placement and the tables",
     true},
};
inline constexpr std::size_t kFormatCount = std::size(kFormats);

constexpr bool formats_in_order() {
  for (std::size_t k = 0; k < kFormatCount; ++k) {
    if (static_cast<std::size_t>(kFormats[k].format) != k) return false;
  }
  return true;
}
static_assert(formats_in_order(), "kFormats lists the formats in the order of output_format");

constexpr const format_description& describe(output_format format) {
  return kFormats[static_cast<std::size_t>(format)];
}

// The file each format is to be written to; empty: not asked for.
struct output_paths {
  std::string path[kFormatCount];
  std::string& of(output_format format) { return path[static_cast<std::size_t>(format)]; }
  const std::string& of(output_format format) const { return path[static_cast<std::size_t>(format)]; }
};

// What a writer may need beyond its document.
struct writing {
  std::string path;                                         // the file it writes (a chart's format is its ending)
  const volatile std::sig_atomic_t* interrupted = nullptr;  // set by a signal: stop drawing
  bool draw_charts = true;                                  // false: no gnuplot, as where it is missing
  std::string problem;                                      // set where the file cannot be written at all
};

// The text of `format` for a document, by its writer; "" for the CSV, whose rows go out as the
// runs finish.
std::string written(output_format format, const report& r, writing& how);
std::string written(output_format format, const comparison& compared, writing& how);
std::string written(output_format format, const merged_runs& merged, writing& how);
