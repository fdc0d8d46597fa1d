#include "tools/report/json_schema.hpp"

#include <map>
#include <memory>
#include <valijson/adapters/nlohmann_json_adapter.hpp>
#include <valijson/schema.hpp>
#include <valijson/schema_parser.hpp>
#include <valijson/validator.hpp>

#include "tools/report/json_schema_text.hpp"

namespace omp_sums {

namespace {

// The schema of one definition (or of the whole document), parsed once.
const valijson::Schema& schema_of(std::string_view definition) {
  static std::map<std::string, std::unique_ptr<valijson::Schema>, std::less<>> parsed;
  const auto known = parsed.find(definition);
  if (known != parsed.end()) return *known->second;
  nlohmann::json document = nlohmann::json::parse(kJsonSchemaText);
  if (!definition.empty()) {
    document = {{"definitions", document.at("definitions")}, {"$ref", "#/definitions/" + std::string(definition)}};
  }
  auto schema = std::make_unique<valijson::Schema>();
  valijson::SchemaParser parser;
  const valijson::adapters::NlohmannJsonAdapter adapter(document);
  parser.populateSchema(adapter, *schema);
  return *parsed.emplace(std::string(definition), std::move(schema)).first->second;
}

// valijson's context ("<root>", "[runs]", "[3]") as a JSON pointer ("/runs/3").
std::string pointer_of(const std::vector<std::string>& context) {
  std::string pointer;
  for (const std::string& step : context) {
    if (step.size() < 2 || step.front() != '[' || step.back() != ']') continue;
    pointer += "/";
    for (char c : step.substr(1, step.size() - 2)) pointer += c == '~' ? "~0" : c == '/' ? "~1" : std::string(1, c);
  }
  return pointer.empty() ? "/" : pointer;
}

// valijson's words, said plainly: the schema's "not" guards only which characters text holds,
// and its bounds are whole numbers.
std::string readable(std::string description) {
  if (description.find("'not' constraint") != std::string::npos) {
    return "holds a character it may not: a control character (a line break, a tab, an escape), or in a name one "
           "that is not a letter, a digit, '.', '-' or '_'";
  }
  for (std::size_t at = description.find(".000000"); at != std::string::npos; at = description.find(".000000", at)) {
    description.erase(at, 7);
  }
  return description;
}

}  // namespace

std::string_view json_schema_text() { return kJsonSchemaText; }

std::string schema_violation(const nlohmann::json& document, std::string_view definition) {
  valijson::Validator validator(valijson::Validator::kStrongTypes);
  valijson::ValidationResults results;
  const valijson::adapters::NlohmannJsonAdapter adapter(document);
  if (validator.validate(schema_of(definition), adapter, &results)) return {};
  // The innermost fault comes first; the ones after it say which enclosing value it spoiled.
  valijson::ValidationResults::Error first;
  if (!results.popError(first)) return "/: does not hold the schema";
  return pointer_of(first.context) + ": " + readable(first.description);
}

nlohmann::json parsed_json(const std::string& text, std::string& problem) {
  try {
    return nlohmann::json::parse(text);
  } catch (const nlohmann::json::exception& error) {  // a syntax error, or a number past a double's range
    std::string what = error.what();
    const std::size_t message = what.find("] ");  // past "[json.exception.parse_error.101] "
    if (message != std::string::npos) what.erase(0, message + 2);
    const auto* syntax = dynamic_cast<const nlohmann::json::parse_error*>(&error);
    problem = (syntax != nullptr ? "at byte " + std::to_string(syntax->byte) + ": " : std::string()) + what;
    return nullptr;
  }
}

}  // namespace omp_sums
