// The values sum_compare's options take, checked as CLI11 reads them.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "tools/catalog/plan.hpp"

namespace omp_sums {

// Whole decimal numbers only: no sign, blank, base prefix or octal reading of a leading zero.
extern const CLI::Validator kDecimal;
// A path ending in .svg or .png.
extern const CLI::Validator kChartFile;
// A percentage above 0 and below 100, with or without its % sign: "5%", "2.5".
extern const CLI::Validator kPercent;
extern const CLI::Validator kNonEmpty;
// "NAME=DIR" of --build, "NAME=v1,v2" of --env.
extern const CLI::Validator kBuild;
extern const CLI::Validator kDimension;

// A --size: a count of elements, or L1, L2, L3 or DRAM.
extern const CLI::Validator kSize;

// "NAME=v1,v2,..." split at the commas outside braces, so that an OMP_PLACES value such as
// {0,1},{2,3} stays whole; no value empty or holding a control character. Returns an empty
// string, or what is wrong.
std::string read_dimension(const std::string& text, setting_dimension& dimension);

// "NAME=CMD ARGS" of --command; a regular expression of --expect and --time-regex.
extern const CLI::Validator kCommand;
extern const CLI::Validator kRegex;      // RE2 syntax
extern const CLI::Validator kTimeRegex;  // RE2 syntax, with a group for the seconds

// LINE split into words as a shell splits them, with no expansion: blanks part words; single
// quotes keep what they hold; double quotes keep it but for \" \\ \$ and \` ; a backslash
// outside quotes keeps the next character. Returns an empty string, or what is wrong.
std::string shell_words(const std::string& line, std::vector<std::string>& words);

// "NAME=CMD ARGS": a name of letters, digits, '.', '-' and '_' that no program of the suite has,
// and the command's words (with SHELL, its line is left whole for /bin/sh -c).
std::string read_command(const std::string& text, bool shell, command_wanted& command);

// "NAME=DIR": a build's name (letters, digits, '.', '-', '_') and the directory of its programs.
std::string read_build(const std::string& text, build_location& build);

}  // namespace omp_sums
