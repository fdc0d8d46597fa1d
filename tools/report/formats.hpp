// The files a report can be written to, each format described once: the option that asks for
// it and its writers. Every writer gets the finished document (a run, live or saved; a
// --compare; a --merge), its verdict already judged; a streaming format also gets its header
// when the file opens and each run as it finishes. A new format is its writers' file and a row
// below.
#pragma once

#include <cstddef>
#include <iterator>
#include <string>
#include <type_traits>

#include "tools/report/chart.hpp"
#include "tools/report/csv.hpp"
#include "tools/report/html.hpp"
#include "tools/report/json.hpp"
#include "tools/report/markdown.hpp"
#include "tools/report/writing.hpp"

namespace omp_sums {

enum class output_format { csv, json, chart, markdown, html };

struct format_description {
  output_format format;
  const char* option;      // "--json"
  const char* value_name;  // in --help
  const char* help;
  // The whole file of a run, a comparison, a merge; nullptr where the format writes no such file
  // (the options refuse it there) or, for a run, where its rows went out as the runs finished.
  std::string (*of_run)(const report&, writing&) = nullptr;
  std::string (*of_comparison)(const comparison&, writing&) = nullptr;
  std::string (*of_merge)(const merged_runs&, writing&) = nullptr;
  // A streaming format's first lines, and its lines of each measured run.
  std::string (*header)() = nullptr;
  std::string (*of_each_run)(const run_plan&, const run_record&) = nullptr;

  // --compare and --merge write it too, not only a run and --from.
  constexpr bool of_summaries() const { return of_comparison != nullptr && of_merge != nullptr; }
};

inline constexpr format_description kFormats[] = {
    {.format = output_format::csv,
     .option = "--csv",
     .value_name = "FILE",
     .help = "one row per measured run; the file is whole when sum_compare ends, an interrupted run's with the runs "
             "that finished",
     .header = csv_header,
     .of_each_run = csv_rows},
    {.format = output_format::json,
     .option = "--json",
     .value_name = "FILE",
     .help = "machine facts, runs and aggregates (or a --compare's or --merge's figures)",
     .of_run = as_json,
     .of_comparison = as_json,
     .of_merge = as_json},
    {.format = output_format::chart,
     .option = "--plot",
     .value_name = "FILE.svg|FILE.png",
     .help = "chart of the medians, drawn by gnuplot",
     .of_run = as_chart},
    {.format = output_format::markdown,
     .option = "--markdown",
     .value_name = "FILE",
     .help = "the verdict, the table, the headlines and the warnings (or a --compare's or --merge's verdict and "
             "table) as GitHub-flavoured markdown",
     .of_run = as_markdown,
     .of_comparison = as_markdown,
     .of_merge = as_markdown},
    {.format = output_format::html,
     .option = "--html",
     .value_name = "FILE",
     .help = "one self-contained page (of a run, --from, --compare or --merge): the verdict and the headlines as a "
             "forest plot first, then a chart per effect (gnuplot), the machine with each case's placement and the "
             "tables",
     .of_run = as_html,
     .of_comparison = as_html,
     .of_merge = as_html},
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

// The whole file of `format` for a document by its writer; "" where it has none.
template <typename Document>
std::string written(output_format format, const Document& document, writing& how) {
  const format_description& writers = describe(format);
  std::string (*writer)(const Document&, writing&) = nullptr;
  if constexpr (std::is_same_v<Document, report>) writer = writers.of_run;
  if constexpr (std::is_same_v<Document, comparison>) writer = writers.of_comparison;
  if constexpr (std::is_same_v<Document, merged_runs>) writer = writers.of_merge;
  return writer != nullptr ? writer(document, how) : std::string();
}

}  // namespace omp_sums
