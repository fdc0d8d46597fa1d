// What sum_compare writes: the header, the table, the warnings, the CSV of runs and the JSON
// of everything.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tools/aggregate.hpp"
#include "tools/run_plan.hpp"

void print_header(const run_plan& plan, const std::string& bin);

void print_table(const std::vector<case_stats>& cases);

// Valid runs that wrote to standard error, one line per case, with what they wrote.
void print_warnings(const std::vector<run_record>& records);

// The CSV: one row per measured run, the times of a failed run left empty.
void write_csv_header(std::FILE* csv);
void write_csv_row(std::FILE* csv, const run_plan& plan, const run_record& record);

// Machine facts, settings, runs and aggregates; "complete" is false after an interruption.
void write_json(std::FILE* json, const run_plan& plan, const std::vector<run_record>& records,
                const std::vector<case_stats>& cases, bool complete);
