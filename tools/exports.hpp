// The files a report is written to, owned in one place: checked and opened before the first
// run, given each run as it finishes, then finished (JSON and chart written, everything put in
// place) or discarded.
#pragma once

#include <csignal>
#include <string>
#include <vector>

#include "tools/compare_options.hpp"
#include "tools/output_files.hpp"
#include "tools/report.hpp"

// Whatever is left open when they go (an early return, an exception) is discarded: no
// temporary outlives sum_compare.
struct exports {
  staged_file csv;
  staged_file json;
  staged_file chart;
  staged_file markdown;
  staged_file html;
  exports() = default;
  exports(const exports&) = delete;
  exports& operator=(const exports&) = delete;
  ~exports();
};

// A file sum_compare reads, named for the message that refuses an output over it.
struct input_file {
  std::string what;  // who reads it: "--from reads", "sum_compare reads as the facts of build clang"
  std::string path;
};

// Checks that the output paths name distinct files, none of them one of the inputs, that can be
// written, and that gnuplot runs for a chart, then opens them (the CSV with its header).
// Returns an empty string, or why not.
std::string open_exports(const compare_options& options, const std::vector<input_file>& inputs, exports& out);

// The CSV's rows of one finished run.
void export_run(exports& out, const run_plan& plan, const run_record& record);

// Writes the JSON, the markdown, the chart and the page (gnuplot stopped when *interrupted is
// set) and puts every file in place. Returns what went wrong, each with its reason.
std::vector<std::string> finish_exports(exports& out, const report& r, const volatile std::sig_atomic_t* interrupted);

// For a comparison or a merge, which have no runs of their own to list or draw (the options
// refuse a CSV or a chart with them): the JSON, markdown and page written and put in place.
// Returns what went wrong.
std::vector<std::string> finish_summary_exports(exports& out, const std::string& json, const std::string& markdown,
                                                const std::string& html);

// Closes every file and removes its temporary.
void discard_exports(exports& out);
