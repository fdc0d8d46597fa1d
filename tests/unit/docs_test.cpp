// The docs against the code: every floor, JSON field and option the code has is documented, and
// the docs name none it lacks; the README's sample is the sample run's own text.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tools/catalog/floors.hpp"
#include "tools/report/json_schema.hpp"
#include "tools/sum_compare/options.hpp"

using namespace omp_sums;

namespace {

std::vector<std::string> lines_of(const std::string& file) {
  std::ifstream in(std::string(SUITE_SOURCE_DIR) + "/" + file);
  EXPECT_TRUE(in.is_open()) << file;
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The backticked word that opens each table row of `file` from the heading `from` on (its
// first word, for "`--size N`"), but the tables' own headings.
std::set<std::string> first_cells(const std::string& file, const std::string& from = "") {
  std::set<std::string> names;
  bool reading = from.empty();
  const std::regex cell("^\\| `([^` ]+)[^`]*` \\|");
  for (const std::string& line : lines_of(file)) {
    reading = reading || line == from;
    std::smatch match;
    if (reading && std::regex_search(line, match, cell)) names.insert(match[1]);
  }
  return names;
}

// Every property name the schema gives any object.
void property_names(const nlohmann::json& schema, std::set<std::string>& names) {
  if (schema.is_object()) {
    if (schema.contains("properties")) {
      for (const auto& [name, value] : schema["properties"].items()) names.insert(name);
    }
    for (const auto& [key, value] : schema.items()) property_names(value, names);
  } else if (schema.is_array()) {
    for (const nlohmann::json& item : schema) property_names(item, names);
  }
}

// sum_compare's options, as its --help lists them.
std::set<std::string> options_of_help() {
  compare_options options;
  std::string words[] = {"sum_compare", "--help"};
  char* argv[] = {words[0].data(), words[1].data(), nullptr};
  testing::internal::CaptureStdout();
  parse_compare_options(2, argv, options);
  const std::string help = testing::internal::GetCapturedStdout();
  std::set<std::string> found;
  const std::regex option("[\\s,](--[a-z][a-z-]*)");
  for (auto it = std::sregex_iterator(help.begin(), help.end(), option); it != std::sregex_iterator(); ++it) {
    found.insert((*it)[1]);
  }
  return found;
}

TEST(Docs, ListEveryFloorAndNoOther) {
  std::set<std::string> floors;
  for (const floor_description& floor : kFloors) floors.emplace(floor.name);
  EXPECT_EQ(first_cells("docs/floors.md"), floors);
}

TEST(Docs, ListEveryJsonFieldAndNoOther) {
  std::set<std::string> fields;
  property_names(nlohmann::json::parse(json_schema_text()), fields);
  EXPECT_EQ(first_cells("docs/output-formats.md", "## JSON"), fields);
}

TEST(Docs, ListEveryOptionAndNameNoOther) {
  const std::set<std::string> options = options_of_help();
  ASSERT_GT(options.size(), 10u);
  EXPECT_EQ(first_cells("docs/modes.md", "## Every option"), options);
  // Anywhere else: every --option of a line that is not a command of another tool.
  const std::regex option("(^|[^-\\w])(--[a-z][a-z-]*)");
  const std::regex other_tool("\\b(cmake|ctest|srun|chromium|gtest|calibrate)\\b");
  for (const char* file :
       {"README.md", "docs/reading-the-output.md", "docs/modes.md", "docs/output-formats.md", "docs/floors.md",
        "docs/programs.md", "docs/troubleshooting.md", "docs/development.md", "docs/commands.md"}) {
    for (const std::string& line : lines_of(file)) {
      if (std::regex_search(line, other_tool)) continue;
      for (auto it = std::sregex_iterator(line.begin(), line.end(), option); it != std::sregex_iterator(); ++it) {
        EXPECT_EQ(options.count((*it)[2]), 1u) << file << " names " << (*it)[2] << ": " << line;
      }
    }
  }
}

// The README quotes the sample run: every line of its indented sample is the sample's.
TEST(Docs, TheReadmesSampleIsTheSampleRunsText) {
  std::set<std::string> sample;
  for (const std::string& line : lines_of("docs/examples/run.txt")) sample.insert(line);
  bool quoting = false;
  int quoted = 0;
  for (const std::string& line : lines_of("README.md")) {
    quoting = line.rfind("    What this run shows", 0) == 0 || (quoting && !line.empty());
    if (!quoting) continue;
    EXPECT_EQ(sample.count(line.substr(4)), 1u) << line;
    ++quoted;
  }
  EXPECT_GT(quoted, 3);
}

}  // namespace
