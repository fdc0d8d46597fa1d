// What sum_compare writes: the header, the tables, the warnings, the CSV of runs and the JSON
// of everything.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tools/aggregate.hpp"
#include "tools/headlines.hpp"
#include "tools/run_plan.hpp"
#include "tools/topology.hpp"

// What the machine was doing around the runs, and how they went.
struct run_conditions {
  double load_before = -1;      // load average over the minute before the first run
  double steal_percent = -1;    // CPU time the hypervisor took during the runs
  double seconds = 0;           // the whole plan, as run
  double calibration_seconds = 0;
  bool complete = true;         // false after an interruption
};

void print_header(const run_plan& plan, const std::string& bin, double load_before, const machine_topology& machine);

// The plan's figures: the programs' table, then the floors', each by setting.
void print_tables(const run_plan& plan, const figures& measured);

// Valid runs that wrote to standard error, placement that undoes what a case measures (threads
// sharing a processor or core, teams larger than the processors, a bound team on one NUMA node),
// and cases too noisy to trust, with advice.
void print_warnings(const run_plan& plan, const std::vector<run_record>& records, const figures& measured,
                    const machine_topology& machine);

void print_headlines(const std::vector<headline>& said);

// How long the plan took, the calibration's share, and the steal time.
void print_conditions(const run_conditions& conditions);

// Prints `text` wrapped at `width` columns, continuation lines indented by `indent` blanks.
void print_wrapped(const std::string& text, std::size_t width, std::size_t indent);

// The CSV: one row per measured run, the times of a failed run left empty; a calibration run
// gives one row per floor, named floor:<name>, its value in seconds.
std::string csv_header();
std::string csv_rows(const run_plan& plan, const run_record& record);

std::string json_document(const run_plan& plan, const std::vector<run_record>& records,
                const figures& measured, const std::vector<headline>& said, const run_conditions& conditions,
                const machine_topology& machine);
