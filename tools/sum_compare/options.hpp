// sum_compare's command line.
#pragma once

#include <optional>

#include "tools/sum_compare/option_set.hpp"

namespace omp_sums {

// Reads the command line into options. Returns the exit status when sum_compare should stop at
// once: 0 after --help, 2 after a one-line message for a bad option or one that the mode does not
// use; nullopt to go on.
std::optional<int> parse_compare_options(int argc, char** argv, compare_options& options);

}  // namespace omp_sums
