#include "tools/exports.hpp"

#include "tools/chart.hpp"
#include "tools/report_csv.hpp"
#include "tools/report_json.hpp"
#include "tools/report_html.hpp"
#include "tools/report_markdown.hpp"

exports::~exports() { discard_exports(*this); }

std::string open_exports(const compare_options& options, const std::vector<input_file>& inputs, exports& out) {
  const std::pair<const char*, const std::string*> paths[] = {{"--csv", &options.csv_path},
                                                              {"--json", &options.json_path},
                                                              {"--plot", &options.plot_path},
                                                              {"--markdown", &options.markdown_path},
                                                              {"--html", &options.html_path}};
  for (std::size_t a = 0; a < std::size(paths); ++a) {
    for (std::size_t b = a + 1; b < std::size(paths); ++b) {
      if (!paths[a].second->empty() && !paths[b].second->empty() && same_file(*paths[a].second, *paths[b].second)) {
        return std::string(paths[a].first) + " and " + paths[b].first + " name the same file, " + *paths[a].second;
      }
    }
    for (const input_file& input : inputs) {
      if (!paths[a].second->empty() && same_file(*paths[a].second, input.path)) {
        const std::string& output = *paths[a].second;
        return std::string(paths[a].first) + " names " +
               (output == input.path ? output + ", which " : output + ", the file " + input.path + " that ") + input.what +
               ": an output never replaces an input";
      }
    }
  }
  if (!options.plot_path.empty()) {
    if (std::string problem = gnuplot_problem(); !problem.empty()) return problem;
  }
  for (auto [file, path] : {std::pair{&out.csv, &options.csv_path}, {&out.json, &options.json_path},
                            {&out.chart, &options.plot_path}, {&out.markdown, &options.markdown_path},
                            {&out.html, &options.html_path}}) {
    if (path->empty()) continue;
    if (std::string problem = open_staged(*path, *file); !problem.empty()) return problem;
  }
  write_staged(out.csv, csv_header());
  return {};
}

void export_run(exports& out, const run_plan& plan, const run_record& record) {
  write_staged(out.csv, csv_rows(plan, record));
}

std::vector<std::string> finish_exports(exports& out, const report& r, const volatile std::sig_atomic_t* interrupted) {
  std::vector<std::string> problems;
  if (out.json.fd >= 0) write_staged(out.json, json_document(r));
  if (out.markdown.fd >= 0) write_staged(out.markdown, markdown_report(r));
  if (out.chart.fd >= 0) {
    std::string image;
    const std::string format = out.chart.path.substr(out.chart.path.size() - 3);
    if (std::string problem = draw_chart(format, r.plan, r.measured, interrupted, image); problem.empty()) {
      write_staged(out.chart, image);
    } else {
      discard_staged(out.chart);
      problems.push_back(problem);
    }
  }
  if (out.html.fd >= 0) {
    std::vector<effect_chart> charts = effect_charts(r.plan, r.measured);
    const std::string charts_problem = draw_effect_charts(charts, interrupted);
    write_staged(out.html, html_report(r, charts, charts_problem));
  }
  for (staged_file* file : {&out.csv, &out.json, &out.chart, &out.markdown, &out.html}) {
    if (file->fd < 0) continue;
    if (std::string problem = commit_staged(*file); !problem.empty()) problems.push_back(problem);
  }
  return problems;
}

std::vector<std::string> finish_summary_exports(exports& out, const std::string& json, const std::string& markdown,
                                                const std::string& html) {
  write_staged(out.json, json);
  write_staged(out.markdown, markdown);
  write_staged(out.html, html);
  std::vector<std::string> problems;
  for (staged_file* file : {&out.json, &out.markdown, &out.html}) {
    if (file->fd < 0) continue;
    if (std::string problem = commit_staged(*file); !problem.empty()) problems.push_back(problem);
  }
  return problems;
}

void discard_exports(exports& out) {
  for (staged_file* file : {&out.csv, &out.json, &out.chart, &out.markdown, &out.html}) discard_staged(*file);
}
