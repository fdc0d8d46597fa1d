// --from, --compare and --merge: saved runs, read and checked, reported again, compared or set
// side by side; nothing is run.
#include <cerrno>
#include <cstring>

#include "tools/analysis/comparison.hpp"
#include "tools/analysis/judged.hpp"
#include "tools/analysis/merge.hpp"
#include "tools/catalog/text.hpp"
#include "tools/report/console.hpp"
#include "tools/report/json.hpp"
#include "tools/sum_compare/shared.hpp"

namespace omp_sums {

namespace {

// The saved runs that the options name, each as an input no output may replace.
std::vector<input_file> saved_inputs(const compare_options& options) {
  std::vector<input_file> inputs;
  if (!options.from_path.empty()) inputs.push_back({"--from reads", options.from_path});
  for (const std::string& path : options.compare_paths) inputs.push_back({"--compare reads", path});
  for (const std::string& path : options.merge_paths) inputs.push_back({"--merge reads", path});
  return inputs;
}

// The files of a comparison or a merge put in place, standard output flushed; the exit status.
template <typename Summary>
int finish_summary(exports& out, const Summary& summary) {
  const int stdout_error = flush_standard_output();
  std::vector<std::string> problems = finish_exports(out, summary);
  if (stdout_error != 0)
    problems.push_back(std::string("cannot write standard output: ") + std::strerror(stdout_error));
  for (const std::string& problem : problems) complain(problem);
  return problems.empty() ? 0 : 1;
}

}  // namespace

// --from: the saved runs reported as when they ran.
int report_saved(const compare_options& options) {
  exports out;
  report r;
  if (std::string problem = open_exports(options.outputs, saved_inputs(options), out); !problem.empty())
    return refuse(out, problem);
  if (std::string problem = read_saved_report(options.from_path, r); !problem.empty()) return refuse(out, problem);
  r.saved = true;
  catch_stop_signals();
  say(console_header(r, console_width()));
  for (const run_record& record : r.records) export_run(out, r.plan, record);
  return print_and_export(r, out);
}

// --compare: two saved runs side by side.
int compare_saved(const compare_options& options) {
  exports out;
  if (std::string problem = open_exports(options.outputs, saved_inputs(options), out); !problem.empty())
    return refuse(out, problem);
  report base;
  report now;
  for (auto [path, r] : {std::pair{&options.compare_paths[0], &base}, {&options.compare_paths[1], &now}}) {
    if (std::string problem = read_saved_report(*path, *r); !problem.empty()) return refuse(out, problem);
    analyse(*r);
  }
  const comparison compared = compare_reports(options.compare_paths[0], options.compare_paths[1], base, now);
  say(as_console(compared, console_width()));
  int status = finish_summary(out, compared);
  if (options.fail_if_slower >= 0) {
    for (const compared_figure* figure : slower_than(compared.compared, options.fail_if_slower)) {
      complain(printed("%s is %.1f%% slower [%.1f%%, %.1f%%], more than --fail-if-slower %g%%", figure->name.c_str(),
                       100 * (figure->ratio - 1), 100 * (figure->ci.low - 1), 100 * (figure->ci.high - 1),
                       100 * options.fail_if_slower));
      status = 1;
    }
  }
  return status;
}

// --merge: the saved runs of several machines side by side, the slow ones flagged.
int merge_saved(const compare_options& options) {
  exports out;
  if (std::string problem = open_exports(options.outputs, saved_inputs(options), out); !problem.empty())
    return refuse(out, problem);
  std::vector<report> runs(options.merge_paths.size());
  for (std::size_t k = 0; k < runs.size(); ++k) {
    if (std::string problem = read_saved_report(options.merge_paths[k], runs[k]); !problem.empty())
      return refuse(out, problem);
    analyse(runs[k]);
  }
  if (std::string problem = merge_refusal(options.merge_paths, runs); !problem.empty()) return refuse(out, problem);
  const merged_runs merged = merge_runs(options.merge_paths, runs);
  say(as_console(merged, console_width()));
  return finish_summary(out, merged);
}

}  // namespace omp_sums
