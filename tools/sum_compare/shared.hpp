// What every mode of sum_compare shares: the signal that stops it, a complaint on standard
// error, a refusal before anything is written, and a report printed and its files put in place.
#pragma once

#include <csignal>
#include <string>

#include "tools/analysis/report.hpp"
#include "tools/report/exports.hpp"
#include "tools/sum_compare/options.hpp"

namespace omp_sums {

// The signal that asked sum_compare to stop (SIGINT, SIGTERM, SIGHUP, SIGQUIT), or 0.
extern volatile std::sig_atomic_t stop_signal;

// Catches the stop signals and ignores SIGPIPE: a closed standard output is a write error to
// report, not a reason to die with the runs unsaved.
void catch_stop_signals();

// The columns the console text is fitted to: the terminal's, COLUMNS, or the default.
std::size_t console_width();

// "sum_compare: PROBLEM" on standard error, its control bytes shown.
void complain(const std::string& problem);

// The files discarded and the problem told; exit status 2.
int refuse(exports& out, const std::string& problem);

// Standard output flushed: 0, or the errno of its first failed write.
int flush_standard_output();

// A report's tables, warnings and headlines, then its files; the exit status.
int print_and_export(report& r, exports& out);

// --from, --compare and --merge: saved runs reported, compared or merged; the exit status.
int report_saved(const compare_options& options);
int compare_saved(const compare_options& options);
int merge_saved(const compare_options& options);

}  // namespace omp_sums
