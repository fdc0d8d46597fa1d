#include "tools/report/csv.hpp"

#include <cmath>

#include "tools/analysis/aggregate.hpp"
#include "tools/report/text_formats.hpp"

namespace omp_sums {

namespace {

// A time of a valid run, or "" where the run failed or printed none.
std::string csv_seconds(const run_record& r, double value) {
  return !r.reading.problem.empty() || value < 0 || !std::isfinite(value) ? "" : printed("%.9g", value);
}

}  // namespace

std::string csv_header() {
  return "program,threads,run,elements,wall_seconds,thread_seconds,sum,valid,problem,settings\n";
}

std::string csv_rows(const run_plan& plan, const run_record& r) {
  const std::string problem = csv_cell(r.reading.problem);
  const std::string under = csv_cell(setting_label(plan.settings[static_cast<std::size_t>(r.c.setting)]));
  const int valid = r.reading.problem.empty() ? 1 : 0;
  if (r.c.program->role != program_role::calibration) {
    return printed("%s,%d,%d,%d,%s,%s,%s,%d,%s,%s\n", std::string(r.c.program->name).c_str(), r.c.threads, r.round,
                   elements_of(plan, r.c), csv_seconds(r, r.reading.seconds).c_str(),
                   csv_seconds(r, r.reading.thread_seconds).c_str(), csv_cell(r.reading.sum).c_str(), valid,
                   problem.c_str(), under.c_str());
  }
  std::string rows;
  for (const floor_description& floor : kFloors) {
    if (r.c.threads < floor.fewest_threads) continue;
    rows += printed("floor:%s,%d,%d,%d,%s,,,%d,%s,%s\n", std::string(floor.name).c_str(), r.c.threads, r.round,
                    elements_of(plan, r.c), csv_seconds(r, floor_field_seconds(floor, r.reading.result_fields)).c_str(),
                    valid, problem.c_str(), under.c_str());
  }
  return rows;
}

}  // namespace omp_sums
