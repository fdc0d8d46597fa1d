// The values sum_compare's options take, checked as CLI11 reads them.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

#include "tools/catalog/plan.hpp"

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

// "NAME=v1,v2,..." split at the commas outside braces, so that an OMP_PLACES value such as
// {0,1},{2,3} stays whole; no value empty or holding a control character. Returns an empty
// string, or what is wrong.
std::string read_dimension(const std::string& text, setting_dimension& dimension);

// "NAME=DIR": a build's name (letters, digits, '.', '-', '_') and the directory of its programs.
std::string read_build(const std::string& text, build_location& build);
