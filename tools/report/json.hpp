// The JSON of a report: the plan, the machine and build facts, every measured run (the
// calibration's among them), the aggregates, floors, headlines and warnings; and reading it back,
// so that a saved run can be reported again. A comparison's and a merge's JSON hold their figures.
#pragma once

#include <string>

#include "tools/analysis/comparison.hpp"
#include "tools/analysis/merge.hpp"
#include "tools/analysis/report.hpp"
#include "tools/report/writing.hpp"

namespace omp_sums {

inline constexpr int kJsonSchemaVersion = 11;

// The JSON of a run, of a comparison and of a merge, each as tools/report/sum_compare.schema.json
// describes it.
std::string as_json(const report& r, writing& how);
std::string as_json(const comparison& compared, writing& how);
std::string as_json(const merged_runs& merged, writing& how);

// Where the JSON of R, a run planned and not yet run, breaks the schema, or "": checked before
// the first run, so that no setting, name or command makes a run that --from cannot read back.
std::string unsaveable(const report& r);

// Reads the plan, facts and runs that json_document wrote into `r` (the figures, headlines and
// warnings are left to analyse()), once the text holds the schema and the caps of a live run.
// Returns an empty string, or what is wrong and where, as a sentence to follow the file's name.
std::string report_from_json(const std::string& text, report& r);

// The same from a file. Returns an empty string, or a sentence that names the file.
std::string read_saved_report(const std::string& path, report& r);

}  // namespace omp_sums
