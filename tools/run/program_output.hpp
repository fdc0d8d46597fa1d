// Reads a program's run against its description: the one validator of program output, shared by
// sum_compare and the tests.
#pragma once

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/catalog/plan.hpp"
#include "tools/catalog/programs.hpp"
#include "tools/catalog/text.hpp"
#include "tools/run/child_process.hpp"

namespace omp_sums {

// A value as "%g" writes it.
std::string g_format(double value);

// The memory message, newline included, for an array of n doubles.
std::string memory_message(long long n);

// The fields of `text` when it is exactly what printf(format, ...) writes for some values, each
// as written but without the blanks of a field width; nullopt otherwise. Knows the conversions
// the programs use: %d %Nd %u %lu %lld %td %g %p, and %% for a percent sign.
std::optional<std::vector<std::string>> match_format(std::string_view text, std::string_view format);

// Reads and validates one run of `program` on n elements on a team of `threads` (0: whatever
// team the runtime formed): exit status 0, every line as the description has it, one block per
// thread of the team, times that are numbers of seconds, and the sum where it is known.
program_run read_run(const program_description& program, long long n, int threads, const child_result& run);

}  // namespace omp_sums
