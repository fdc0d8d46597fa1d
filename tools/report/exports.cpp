#include "tools/report/exports.hpp"

namespace omp_sums {

exports::~exports() { discard_exports(*this); }

std::string open_exports(const output_paths& paths, const std::vector<input_file>& inputs, exports& out) {
  for (std::size_t a = 0; a < kFormatCount; ++a) {
    const std::string& output = paths.path[a];
    if (output.empty()) continue;
    for (std::size_t b = a + 1; b < kFormatCount; ++b) {
      if (!paths.path[b].empty() && same_file(output, paths.path[b])) {
        return std::string(kFormats[a].option) + " and " + kFormats[b].option + " name the same file, " + output;
      }
    }
    for (const input_file& input : inputs) {
      if (same_file(output, input.path)) {
        return std::string(kFormats[a].option) + " names " +
               (output == input.path ? output + ", which " : output + ", the file " + input.path + " that ") +
               input.what + ": an output never replaces an input";
      }
    }
  }
  if (!paths.of(output_format::chart).empty()) {
    if (std::string problem = gnuplot_problem(); !problem.empty()) return problem;
  }
  for (std::size_t k = 0; k < kFormatCount; ++k) {
    if (paths.path[k].empty()) continue;
    if (std::string problem = open_staged(paths.path[k], out.file[k]); !problem.empty()) return problem;
  }
  for (std::size_t k = 0; k < kFormatCount; ++k) {
    if (kFormats[k].header != nullptr) write_staged(out.file[k], kFormats[k].header());
  }
  return {};
}

void export_run(exports& out, const run_plan& plan, const run_record& record) {
  for (std::size_t k = 0; k < kFormatCount; ++k) {
    if (kFormats[k].of_each_run != nullptr) write_staged(out.file[k], kFormats[k].of_each_run(plan, record));
  }
}

namespace {

// Each file asked for written by its format's writer (a file its writer cannot write at all is
// dropped with the reason), then put in place.
template <typename Document>
std::vector<std::string> finish(exports& out, const Document& document, const volatile std::sig_atomic_t* interrupted) {
  std::vector<std::string> problems;
  for (std::size_t k = 0; k < kFormatCount; ++k) {
    staged_file& file = out.file[k];
    if (file.fd < 0) continue;
    writing how{file.path, interrupted, true, {}};
    const std::string text = written(kFormats[k].format, document, how);
    if (!how.problem.empty()) {
      discard_staged(file);
      problems.push_back(how.problem);
      continue;
    }
    write_staged(file, text);
    if (std::string problem = commit_staged(file); !problem.empty()) problems.push_back(problem);
  }
  return problems;
}

}  // namespace

std::vector<std::string> finish_exports(exports& out, const report& r, const volatile std::sig_atomic_t* interrupted) {
  return finish(out, r, interrupted);
}

std::vector<std::string> finish_exports(exports& out, const comparison& compared) {
  return finish(out, compared, nullptr);
}

std::vector<std::string> finish_exports(exports& out, const merged_runs& merged) {
  return finish(out, merged, nullptr);
}

void discard_exports(exports& out) {
  for (staged_file& file : out.file) discard_staged(file);
}

}  // namespace omp_sums
