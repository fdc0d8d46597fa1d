// sum_compare's --help: its options by group, within a terminal of 80 columns.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

namespace omp_sums {

// The help of APP: its description, then its options by group in the order of GROUPS (any other
// group after them), each option's description wrapped beside it, then the footer; no line past
// WIDTH columns.
std::string help_text(const CLI::App& app, std::vector<std::string> groups, std::size_t width);

}  // namespace omp_sums
