// Runs under the region tool (sum_compare --regions): each case again, on LLVM's OpenMP runtime
// with the tool loaded, after and apart from the timed runs, which the tool would perturb.
#pragma once

#include <string>
#include <vector>

#include "tools/catalog/regions.hpp"
#include "tools/run/runner.hpp"

namespace omp_sums {

// What the region runs need here: the tool, and LLVM's runtime to load first (a program of
// GCC's runs on it through its GOMP entry points).
struct region_setup {
  std::string tool;     // the tool library
  std::string runtime;  // libomp.so.5
  std::string problem;  // why no region run can be made here; empty: they can
};

// The tool beside sum_compare (TOOL_DIR is its directory), and the runtime this build was made
// with.
region_setup find_region_setup(const std::string& tool_dir);

// The environment of a region run: the case's, the runtime first, the tool, and where the tool
// writes its record.
std::vector<std::string> region_environment(const std::vector<std::string>& case_env, const region_setup& setup,
                                            const std::string& record_path);

// Where the regions past the tool's bound are said to lie, together.
inline constexpr char kOtherRegionsPlace[] = "the regions past the first 256, together";

// A tool record read: empty, or why it is not one (its regions are then cleared). OBJECTS and
// OFFSETS get each region's object and offset to resolve; "" and 0 for the regions past the bound.
std::string read_region_record(const std::string& text, region_run& run, std::vector<std::string>& objects,
                               std::vector<unsigned long long>& offsets);

// Each case of the plan but the calibration and the serial build, REPEAT times, in rounds.
std::vector<region_run> run_region_rounds(const run_plan& plan, const region_setup& setup, int repeat,
                                          const runner_settings& settings);

}  // namespace omp_sums
