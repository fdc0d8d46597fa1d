// What sum_compare prints: the header, the tables, the warnings, the headlines and how the runs
// went.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tools/aggregate.hpp"
#include "tools/headlines.hpp"
#include "tools/run_facts.hpp"
#include "tools/topology.hpp"
#include "tools/warnings.hpp"

void print_header(const run_plan& plan, const run_facts& facts, const run_conditions& conditions,
                  const machine_topology& machine);

// The plan's figures: the programs' table, then the floors', each by setting.
void print_tables(const run_plan& plan, const figures& measured);

void print_warnings(const std::vector<warning>& warnings);

void print_headlines(const std::vector<headline>& said);

// How long the plan took, the calibration's share, and the steal time.
void print_conditions(const run_conditions& conditions);

// Prints text as it is but for its control bytes (the newline and the tab but), shown as \xHH:
// text from a saved file or a program cannot move the terminal's cursor or change its state.
void say(const std::string& text);

// Prints `text` (a paragraph: all its control bytes shown as \xHH, the newline too) wrapped at `width` columns, continuation lines indented by `indent` blanks.
void print_wrapped(const std::string& text, std::size_t width, std::size_t indent);
