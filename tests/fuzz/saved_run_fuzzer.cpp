// Bytes read as a saved run, then through everything a saved run goes through: the reading and
// its checks, the analysis, and every writer of every mode into memory. Built as a libFuzzer
// target with clang, and as a driver that replays the regression inputs with any compiler.
#include <cstdint>
#include <cstdio>
#include <string>

#include "tools/chart.hpp"
#include "tools/compare_runs.hpp"
#include "tools/effect_charts.hpp"
#include "tools/merge_runs.hpp"
#include "tools/report_console.hpp"
#include "tools/report_csv.hpp"
#include "tools/report_html.hpp"
#include "tools/report_json.hpp"
#include "tools/report_markdown.hpp"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The console's writers print; what they print is of no interest here.
  return std::freopen("/dev/null", "w", stdout) == nullptr;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  report r;
  if (!report_from_json(std::string(reinterpret_cast<const char*>(data), size), r).empty()) return 0;
  r.saved = true;
  analyse(r);
  std::size_t written = json_document(r).size() + markdown_report(r).size() + chart_data(r.plan, r.measured).size();
  written += html_report(r, effect_charts(r.plan, r.measured), "").size() + csv_header().size();
  for (const run_record& record : r.records) written += csv_rows(r.plan, record).size();
  print_header(r.plan, r.facts, r.conditions, r.machine);
  print_tables(r.plan, r.measured);
  print_warnings(r.warnings);
  print_headlines(r.said);
  print_conditions(r.conditions);

  const comparison compared = compare_reports("base.json", "new.json", r, r);
  print_comparison(compared);
  written += comparison_json(compared).size() + markdown_comparison(compared).size() + html_comparison(compared, r, r).size();
  const merged_runs merged = merge_runs({"a/run.json", "b/run.json"}, {r, r});
  print_merge(merged);
  written += merge_json(merged).size() + markdown_merge(merged).size() + html_merge(merged, {r, r}).size();
  std::fprintf(stdout, "%zu bytes written\n", written);
  return 0;
}

#ifndef SUITE_LIBFUZZER
// Without libFuzzer: each file named is one input; a fault shows as a crash or a sanitizer's report.
#include "tools/output_files.hpp"

int main(int argc, char** argv) {
  LLVMFuzzerInitialize(&argc, &argv);
  for (int k = 1; k < argc; ++k) {
    std::string text;
    if (std::string problem = read_whole_file(argv[k], text); !problem.empty()) {
      std::fprintf(stderr, "%s\n", problem.c_str());
      return 1;
    }
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    std::fprintf(stderr, "replayed %s\n", argv[k]);
  }
  return 0;
}
#endif
