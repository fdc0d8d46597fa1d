// sum_compare's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

// --env NAME=v1,v2: every case runs under each value of NAME.
struct setting_dimension {
  std::string name;
  std::vector<std::string> values;
};

// Where a build's programs lie: a --build NAME=DIR, or the one build sum_compare runs by default.
struct build_location {
  std::string name;      // "" for the default build
  std::string bin;       // its programs
  std::string tool_dir;  // its calibrate
};

// What sum_compare is asked to do: run the plan, only print it, or report saved runs.
enum class compare_mode { run, dry_run, from, compare, merge };

struct compare_options {
  compare_mode mode = compare_mode::run;
  std::vector<std::string> programs;  // in the catalog's order; default: every compared program
  std::vector<int> threads;           // ascending; empty: 1, 2, 4, ... up to the processors, and that count
  int size = 10000000;
  int repeat = 7;
  int timeout_seconds = 300;  // per run
  double precision = 0;       // --precision as a fraction (0.05 for 5%); 0: --repeat rounds only
  int max_seconds = 120;      // --max-time: when rounds stop being added for --precision
  std::string csv_path;
  std::string json_path;
  std::string plot_path;
  std::string markdown_path;
  std::string html_path;
  std::string bin_dir;  // empty: the directory sum_compare lies in
  std::vector<build_location> builds;  // from --build, in their order; empty: the one build of --bin
  bool dry_run = false; // print the header and the plan, run nothing
  std::string from_path;  // report the runs saved in this JSON again, run nothing
  std::vector<std::string> compare_paths;  // BASE.json NEW.json: compare two saved runs, run nothing
  std::vector<std::string> merge_paths;    // A.json B.json ...: saved runs of several machines side by side
  double fail_if_slower = -1;              // with --compare: exit 1 past this fraction slower; -1: never
  std::vector<setting_dimension> dimensions;  // from --env, in their order
};

// Reads the command line into options. Returns the exit status when sum_compare should stop at
// once: 0 after --help, 2 after a one-line message for a bad option or one that the mode does not
// use; nullopt to go on.
std::optional<int> parse_compare_options(int argc, char** argv, compare_options& options);
