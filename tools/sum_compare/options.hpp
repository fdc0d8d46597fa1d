// sum_compare's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/catalog/plan.hpp"
#include "tools/report/formats.hpp"
#include "tools/sum_compare/option_modes.hpp"

// What a plan left to sum_compare may take, as estimated before it runs.
inline constexpr int kDefaultBudgetSeconds = 30;

struct compare_options {
  compare_mode mode = compare_mode::run;
  plan_request plan;
  output_paths outputs;
  std::string from_path;                   // report the runs saved in this JSON again, run nothing
  std::vector<std::string> compare_paths;  // BASE.json NEW.json: compare two saved runs, run nothing
  std::vector<std::string> merge_paths;    // A.json B.json ...: saved runs of several machines side by side
  double fail_if_slower = -1;              // with --compare: exit 1 past this fraction slower; -1: never
};

// Reads the command line into options. Returns the exit status when sum_compare should stop at
// once: 0 after --help, 2 after a one-line message for a bad option or one that the mode does not
// use; nullopt to go on.
std::optional<int> parse_compare_options(int argc, char** argv, compare_options& options);
