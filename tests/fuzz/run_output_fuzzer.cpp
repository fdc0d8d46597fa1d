// Bytes read as what a run printed: a first line "NAME THREADS" picks the reader (a program of
// the suite, the calibration, or else a command with a --time-regex and an --expect) and its team
// (1 to 4), the rest up to a NUL is its standard output and the rest after it its standard
// error. Then through what a run's output goes through: the reading and its checks, the affinity
// lines, and the problem as a CSV cell and on the terminal. Built as a libFuzzer target with clang.
#include <cstdint>
#include <cstring>
#include <string>

#include "tools/catalog/text.hpp"
#include "tools/report/text_formats.hpp"
#include "tools/run/command_output.hpp"
#include "tools/run/program_output.hpp"

using namespace omp_sums;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t line_end = std::min(input.find('\n'), input.size());
  const std::string first = input.substr(0, line_end);
  const std::string text = line_end < input.size() ? input.substr(line_end + 1) : std::string();
  const std::size_t blank = std::min(first.find(' '), first.size());
  const std::string name = first.substr(0, blank);
  const int threads = 1 + (blank < first.size() ? static_cast<unsigned char>(first[blank + 1]) - '1' : 0) % 4;
  const std::size_t split = std::min(text.find('\0'), text.size());
  child_result child;
  child.out = text.substr(0, split);
  child.err = split < text.size() ? text.substr(split + 1) : std::string();
  child.cpu_seconds = 0.5;
  program_run read;
  if (const program_description* program = find_program(name)) {
    read = read_run(*program, 1000, threads, child);
  } else if (name == kCalibration.name) {
    read = read_run(kCalibration, 1000, threads, child);
  } else {
    command_wanted command;
    command.name = "fuzzed";
    command.argv = {"fuzzed"};
    command.time_regex = "took ([0-9.e+-]+) s";
    command.expect = "(a+)+$|done";
    read = read_command_run(command, threads, child, 0.25, {4, 300});
  }
  volatile std::size_t kept = csv_cell(read.problem).size() + terminal_line(read.problem).size() +
                              terminal_text(excerpt(child.err)).size() + read.result_fields.size();
  static_cast<void>(kept);
  return 0;
}
