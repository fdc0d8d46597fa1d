#include "tools/chart.hpp"

#include <unistd.h>

#include <cstdio>
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

bool write_chart(const std::string& path, const std::vector<case_stats>& cases) {
  const std::string script = own_directory() + "/" SUITE_CHART_SCRIPT;
  const std::string data = chart_data(cases);
  if (data.empty()) {
    std::fprintf(stderr, "sum_compare: no valid case to draw in %s\n", path.c_str());
    return false;
  }
  char data_path[] = "/tmp/sum_compare_chart_XXXXXX";
  const int fd = mkstemp(data_path);
  if (fd < 0) {
    std::perror("sum_compare: chart data");
    return false;
  }
  const bool written = write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
  close(fd);
  const child_result run =
      written ? run_child("gnuplot", {"-c", script, path, data_path}, current_environment()) : child_result{1, {}, "cannot write the chart data"};
  unlink(data_path);
  if (run.exit_status == 127 && run.err.rfind("cannot start", 0) == 0) {
    std::fprintf(stderr, "sum_compare: --plot needs gnuplot, which is not installed here; "
                         "install it with: apt-get install gnuplot-nox\n");
    return false;
  }
  if (run.exit_status != 0) std::fprintf(stderr, "sum_compare: gnuplot failed: %s\n", run.err.c_str());
  return run.exit_status == 0;
}
