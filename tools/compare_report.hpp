// What sum_compare writes: the header, the table, the CSV of runs and the JSON of everything.
#pragma once

#include <string>
#include <vector>

#include "tools/aggregate.hpp"
#include "tools/run_plan.hpp"

void print_header(const run_plan& plan, const std::string& bin);

void print_table(const std::vector<case_stats>& cases);

// One row per measured run; false when the file cannot be written.
bool write_csv(const std::string& path, const run_plan& plan, const std::vector<run_record>& records);

// Machine facts, runs and aggregates; false when the file cannot be written.
bool write_json(const std::string& path, const run_plan& plan, const std::vector<run_record>& records,
                const std::vector<case_stats>& cases);
