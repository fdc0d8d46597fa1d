// The JSON of a report: the plan, the machine and build facts, every measured run (the
// calibration's among them), the aggregates, floors, headlines and warnings; and reading it back,
// so that a saved run can be reported again.
#pragma once

#include <string>

#include "tools/report.hpp"

inline constexpr int kJsonSchemaVersion = 4;

std::string json_document(const report& r);

// Reads the plan, facts and runs that json_document wrote into `r` (the figures, headlines and
// warnings are left to analyse()). Returns an empty string, or why the file cannot be read back.
std::string read_saved_report(const std::string& path, report& r);
