// sum_compare: runs the array-sum programs side by side over a range of team sizes, repeats
// every case, validates every run, and reports medians, spread and speed-ups, with optional
// CSV, JSON and a gnuplot chart. Plan, run, aggregate, report.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/aggregate.hpp"
#include "tools/chart.hpp"
#include "tools/compare_options.hpp"
#include "tools/compare_report.hpp"
#include "tools/headlines.hpp"
#include "tools/machine_facts.hpp"
#include "tools/run_plan.hpp"
#include "tools/runner.hpp"

int main(int argc, char** argv) {
  compare_options options;
  if (const std::optional<int> status = parse_compare_options(argc, argv, options)) return *status;
  const run_plan plan = make_plan(options, processors_online());
  const std::string bin = options.bin_dir.empty() ? own_directory() : options.bin_dir;

  print_header(plan, bin);
  std::fflush(stdout);
  int failures = 0;
  const std::vector<run_record> records = run_plan_rounds(plan, bin, failures);
  const std::vector<case_stats> cases = aggregate(plan, records);
  print_table(cases);
  print_headlines(plan, cases);

  bool outputs_ok = true;
  if (!options.csv_path.empty() && !write_csv(options.csv_path, plan, records)) {
    std::fprintf(stderr, "sum_compare: cannot write %s\n", options.csv_path.c_str());
    outputs_ok = false;
  }
  if (!options.json_path.empty() && !write_json(options.json_path, plan, records, cases)) {
    std::fprintf(stderr, "sum_compare: cannot write %s\n", options.json_path.c_str());
    outputs_ok = false;
  }
  if (!options.plot_path.empty() && !write_chart(options.plot_path, cases)) outputs_ok = false;
  if (failures > 0) std::printf("%d run%s failed validation: see standard error.\n", failures, failures == 1 ? "" : "s");
  return failures == 0 && outputs_ok ? 0 : 1;
}
