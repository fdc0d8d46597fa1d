#include "tools/chart.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <string_view>

#include "tools/child_process.hpp"
#include "tools/machine_facts.hpp"
#include "tools/program_catalog.hpp"
#include "tools/program_output.hpp"

namespace {

// One block per program: its name, then "threads median" rows.
std::string chart_data(const std::vector<case_stats>& cases) {
  std::string data;
  for (const program_description& program : kPrograms) {
    std::string rows;
    for (const case_stats& c : cases) {
      if (c.c.program == &program) rows += printed("%d %.9g\n", c.c.threads, c.wall.median);
    }
    if (!rows.empty()) data += (data.empty() ? "" : "\n\n") + std::string(program.name) + "\n" + rows;
  }
  return data;
}

}  // namespace

std::string gnuplot_problem() {
  const child_result run = run_child("gnuplot", {"--version"}, current_environment(), {10, 1 << 16});
  if (run.exit_status == 0) return {};
  return "--plot needs gnuplot, which cannot be run here (" + run.err.substr(0, run.err.find('\n')) +
         "); install it with: apt-get install gnuplot-nox";
}

std::string draw_chart(const std::string& output, const std::vector<case_stats>& cases) {
  const std::string data = chart_data(cases);
  if (data.empty()) return "no valid case to draw in the chart";
  char data_path[] = "/tmp/sum_compare_chart_XXXXXX";
  const int fd = mkstemp(data_path);
  if (fd < 0) return std::string("cannot write the chart's data: ") + std::strerror(errno);
  const bool written = write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
  close(fd);
  const std::string script = own_directory() + "/" SUITE_CHART_SCRIPT;
  const child_result run = written ? run_child("gnuplot", {"-c", script, output, data_path}, current_environment(), {60, 1 << 20})
                                   : child_result{1, {}, "cannot write the chart's data", {}};
  unlink(data_path);
  if (run.exit_status == 0 && run.failure.empty()) return {};
  return "gnuplot failed: " + (run.failure.empty() ? run.err : run.failure);
}
