// A JSON that sum_compare wrote, read back: it must hold the schema sum_compare publishes.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "tools/report/json_schema.hpp"

namespace omp_sums {

inline nlohmann::json written_json(const std::string& text) {
  nlohmann::json json = nlohmann::json::parse(text);  // throws, failing the test, on anything but JSON
  EXPECT_EQ(schema_violation(json), "");
  return json;
}

}  // namespace omp_sums
