// The CSV of runs: one row per measured run, the times of a failed run left empty; a calibration
// run gives one row per floor, named floor:<name>, its value in seconds.
#pragma once

#include <string>

#include "tools/catalog/plan.hpp"

namespace omp_sums {

std::string csv_header();
std::string csv_rows(const run_plan& plan, const run_record& record);

}  // namespace omp_sums
