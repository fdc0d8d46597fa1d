// Reads a program's run against its description: the one validator of program output, shared by
// sum_compare and the tests.
#pragma once

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/child_process.hpp"
#include "tools/program_catalog.hpp"

// The text printf(format, values...) writes.
template <typename... Values>
std::string printed(const char* format, Values... values) {
  const int length = std::snprintf(nullptr, 0, format, values...);
  std::string text(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  std::snprintf(text.data(), text.size() + 1, format, values...);
  return text;
}

// A value as "%g" writes it.
std::string g_format(double value);

// The memory message, newline included, for an array of n doubles.
std::string memory_message(long long n);

// The fields of `text` when it is exactly what printf(format, ...) writes for some values, each
// as written but without the blanks of a field width; nullopt otherwise. Knows the conversions
// the programs use: %d %Nd %u %lu %lld %td %g %p.
std::optional<std::vector<std::string>> match_format(std::string_view text, std::string_view format);

// One run, read back.
struct program_run {
  std::string problem;      // empty when the run is valid
  int team_size = 0;        // from the team-size line; 1 for the serial build; 0 when none is printed
  std::vector<std::string> first_fields;
  std::map<int, std::vector<std::string>> thread_fields;  // thread number -> its block's fields
  std::vector<int> block_order;     // blocks before the result as printed: -1 the first, else a thread
  std::vector<std::string> result_fields;
  std::string sum;                  // as printed, or empty
  double seconds = -1.0;            // the timed interval, or -1 where the program prints none
  double thread_seconds = -1.0;     // the mean thread time, or -1 where the program prints none
};

// Reads and validates one run of `program` on n elements on a team of `threads` (0: whatever
// team the runtime formed): exit status 0, every line as the description has it, one block per
// thread of the team, times that are numbers of seconds, and the sum where it is known.
program_run read_run(const program_description& program, long long n, int threads, const child_result& run);
