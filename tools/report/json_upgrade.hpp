// Saved runs of earlier schema versions, read as the current one: each version's step adds what
// the next one holds, with the figures an earlier sum_compare did not measure left absent (null,
// or "nan" among calibrate's fields) rather than guessed.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace omp_sums {

// The oldest schema version a saved run can be read from.
inline constexpr int kOldestReadSchemaVersion = 6;

// DOCUMENT, a run of schema version kOldestReadSchemaVersion or later, as the current version
// holds it, each run's problem and standard error cut as a run record keeps them; "" , or why it cannot be (a version too old or too new, named beside the one read).
std::string upgrade_saved_run(nlohmann::json& document);

}  // namespace omp_sums
