// The files a report is written to, owned in one place: checked and opened before the first
// run, given each run as it finishes, then finished (every document written, everything put in
// place) or discarded.
#pragma once

#include <csignal>
#include <string>
#include <vector>

#include "tools/report/formats.hpp"
#include "tools/report/output_files.hpp"

namespace omp_sums {

// One file per format asked for. Whatever is left open when they go (an early return, an
// exception) is discarded: no temporary outlives sum_compare.
struct exports {
  staged_file file[kFormatCount];
  exports() = default;
  exports(const exports&) = delete;
  exports& operator=(const exports&) = delete;
  ~exports();
  bool asked(output_format format) const { return file[static_cast<std::size_t>(format)].fd >= 0; }
};

// A file sum_compare reads, named for the message that refuses an output over it.
struct input_file {
  std::string what;  // who reads it: "--from reads", "sum_compare reads as the facts of build clang"
  std::string path;
};

// Checks that the output paths name distinct files, none of them one of the inputs, that can be
// written, and that gnuplot runs for a chart, then opens them (a streaming format with its first lines).
// Returns an empty string, or why not.
std::string open_exports(const output_paths& paths, const std::vector<input_file>& inputs, exports& out);

// A finished run, to every streaming format asked for.
void export_run(exports& out, const run_plan& plan, const run_record& record);

// Writes every document asked for (gnuplot stopped when *interrupted is set) and puts every
// file in place. Returns what went wrong, each with its reason.
std::vector<std::string> finish_exports(exports& out, const report& r, const volatile std::sig_atomic_t* interrupted);
std::vector<std::string> finish_exports(exports& out, const comparison& compared);
std::vector<std::string> finish_exports(exports& out, const merged_runs& merged);

// Closes every file and removes its temporary.
void discard_exports(exports& out);

}  // namespace omp_sums
