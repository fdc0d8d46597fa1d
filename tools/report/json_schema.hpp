// sum_compare's JSON Schema (tools/sum_compare.schema.json, installed beside the chart script):
// every JSON sum_compare writes holds it, and every JSON it reads is checked against it before
// anything in it is used.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace omp_sums {

// The schema's text, as the repository and the installation have it.
std::string_view json_schema_text();

// Where `document` first breaks the schema, as a JSON pointer and what is wrong there
// ("/runs/3/threads: ..."), or "" where it holds. `definition` names one of the schema's
// documents ("run", "comparison" or "merge"); empty: any of them.
std::string schema_violation(const nlohmann::json& document, std::string_view definition = {});

// `text` parsed as JSON; where it is not JSON, `problem` says at which byte and why.
nlohmann::json parsed_json(const std::string& text, std::string& problem);

}  // namespace omp_sums
