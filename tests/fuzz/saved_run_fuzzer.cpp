// Bytes read as a saved run, then through everything a saved run goes through: the reading and
// its checks, the analysis, and every writer of every mode into memory (the charts left
// undrawn). Built as a libFuzzer target with clang, and as a driver that replays the regression
// inputs with any compiler.
#include <cstdint>
#include <cstdio>
#include <string>

#include "tools/analysis/judged.hpp"
#include "tools/report/console.hpp"
#include "tools/report/csv.hpp"
#include "tools/report/formats.hpp"
#include "tools/report/json.hpp"

using namespace omp_sums;

namespace {

template <typename Document>
std::size_t every_format(const Document& document) {
  std::size_t bytes = 0;
  for (const format_description& format : kFormats) {
    writing how{"chart.svg", nullptr, false, {}};
    bytes += written(format.format, document, how).size();
  }
  return bytes + as_console(document).size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  report r;
  if (!report_from_json(std::string(reinterpret_cast<const char*>(data), size), r).empty()) return 0;
  r.saved = true;
  analyse(r);
  std::size_t bytes = every_format(r) + console_header(r).size() + csv_header().size();
  for (const run_record& record : r.records) bytes += csv_rows(r.plan, record).size();
  bytes += every_format(compare_reports("base.json", "new.json", r, r));
  bytes += every_format(merge_runs({"a/run.json", "b/run.json"}, {r, r}));
  volatile std::size_t kept = bytes;  // what was written, so that no writer is left out
  static_cast<void>(kept);
  return 0;
}

#ifndef SUITE_LIBFUZZER
// Without libFuzzer: each file named is one input; a fault shows as a crash or a sanitizer's report.
#include "tools/report/output_files.hpp"

int main(int argc, char** argv) {
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
