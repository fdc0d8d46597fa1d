#include "tools/sum_compare/shared.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/analysis/judged.hpp"
#include "tools/catalog/text.hpp"
#include "tools/report/console.hpp"
#include "tools/run/machine_facts.hpp"

namespace omp_sums {

volatile std::sig_atomic_t stop_signal = 0;

namespace {

void note_stop_signal(int signal_number) { stop_signal = signal_number; }

}  // namespace

void catch_stop_signals() {
  struct sigaction action {};
  action.sa_handler = note_stop_signal;
  sigemptyset(&action.sa_mask);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaction(signal_number, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

// Piped into a pager or tee, the output still lands on the terminal that standard error shows.
std::size_t console_width() {
  return terminal_columns(STDOUT_FILENO, terminal_columns(STDERR_FILENO, kDefaultConsoleWidth));
}

void complain(const std::string& problem) {
  std::fputs(terminal_line("sum_compare: " + problem).append("\n").c_str(), stderr);
}

int flush_standard_output() {
  errno = 0;
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return 0;
  return said_error() != 0 ? said_error() : errno != 0 ? errno : EIO;
}

int print_and_export(report& r, exports& out) {
  analyse(r);
  say(as_console(r, console_width()));
  if (stop_signal != 0) {
    std::printf("Interrupted by %s after %zu of %lld measured runs: the figures above are of those.\n",
                sigabbrev_np(stop_signal), r.records.size(),
                planned_runs(r.plan) - static_cast<long long>(r.plan.cases.size()));
  }
  const int failures = r.conditions.failures;
  if (failures > 0) {
    std::printf("%d run%s failed: %s.\n", failures, failures == 1 ? "" : "s",
                r.saved ? "their problems are in the saved runs" : "see standard error");
  }

  // Flushed before gnuplot runs, so that its time does not hold back what is printed.
  const int stdout_error = flush_standard_output();
  std::vector<std::string> problems = finish_exports(out, r, &stop_signal);
  if (stdout_error != 0)
    problems.push_back(std::string("cannot write standard output: ") + std::strerror(stdout_error));
  for (const std::string& problem : problems) complain(problem);
  if (stop_signal != 0) return 128 + stop_signal;
  return (failures == 0 || r.saved) && problems.empty() ? 0 : 1;
}

int refuse(exports& out, const std::string& problem) {
  discard_exports(out);
  complain(problem);
  return 2;
}

}  // namespace omp_sums
