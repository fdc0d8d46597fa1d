// sum_compare's options, each with its help, its check and what it needs or excludes, added to
// the command line by group; what they hold as read (compare_options), and their texts before
// they are read into a plan.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "tools/catalog/plan.hpp"
#include "tools/report/formats.hpp"
#include "tools/sum_compare/option_modes.hpp"

namespace omp_sums {

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
  bool regions = false;                    // after the timed runs, each case again under the region tool
};

// The options' texts before they are read into a plan.
struct option_texts {
  std::vector<std::string> sizes;
  int budget = kDefaultBudgetSeconds;
  std::string precision;
  std::string slower;
  std::vector<std::string> builds;
  std::vector<std::string> dimensions;
  std::vector<std::string> commands;
  bool dry_run = false;
  bool shell = false;
  std::string time_regex;
  std::string expect;
  int expect_exit = 0;
};

// The programs --programs may name: the catalog's compared ones, in its order.
std::vector<std::string> compared_programs();

void add_plan_options(CLI::App& app, compare_options& options, option_texts& texts);
void add_setting_options(CLI::App& app, compare_options& options, option_texts& texts);
// A command of the user's own, and how its runs are read: these options need a --command.
void add_command_options(CLI::App& app, option_texts& texts);
// Reporting saved runs: --from, --compare, --merge and --dry-run are modes of their own.
void add_saved_options(CLI::App& app, compare_options& options, option_texts& texts);
void add_output_options(CLI::App& app, compare_options& options);

}  // namespace omp_sums
