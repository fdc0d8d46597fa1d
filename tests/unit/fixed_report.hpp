// A report of fixed runs, for the tests of what is derived from runs and how it is written.
#pragma once

#include "tools/analysis/judged.hpp"
#include "tools/catalog/text.hpp"
#include "tools/run/planning.hpp"

namespace omp_sums {

// Calibrate's fields from each floor's value, in the floors' order, each beside its share of
// the processors (SHARE); floors past the values given are left out.
inline std::vector<std::string> calibration_fields(const std::vector<std::string>& values,
                                                   const std::string& share = "1") {
  std::vector<std::string> fields;
  for (const std::string& value : values) {
    fields.push_back(value);
    fields.push_back(share);
  }
  return fields;
}

// Two rounds of sum_walltime and sum_slots_padded (or PROGRAMS) on 1 and 2 threads under two
// settings (at each of SIZES), with their calibration, on a machine of two processors on two cores.
inline report fixed_report(int rounds = 2, double padded_factor = 1.0,
                           std::vector<std::string> programs = {"sum_walltime", "sum_slots_padded"},
                           std::vector<array_size> sizes = {counted_size(1000)}) {
  plan_request options;
  options.programs = std::move(programs);
  options.threads = {1, 2};
  options.repeat = rounds;
  options.sizes = std::move(sizes);
  options.dimensions = {{"OMP_PROC_BIND", {"close", "spread"}}};
  report r;
  r.plan = make_plan(options, 2);
  r.facts = {"node-1",
             "Test CPU",
             2,
             {"OMP_WAIT_POLICY=active"},
             {{"", "/opt/bin", "GNU 12.2.0", "optimised -O3", "libgomp for sum_walltime sum_slots_padded"}}};
  r.machine.packages = 1;
  r.machine.numa_nodes = 1;
  r.machine.cores = 2;
  r.machine.processors = 2;
  r.machine.allowed = {0, 1};
  r.machine.core_of = {{0, 0}, {1, 1}};
  r.machine.node_of = {{0, 0}, {1, 0}};
  r.conditions = {0.5, 0.1, 3.0, 0.4, 0.1, true, 0};
  for (int round = 1; round <= rounds; ++round) {
    for (const run_case& c : r.plan.cases) {
      run_record record{c, round, {}, round == 2 ? "a remark\n" : ""};
      if (c.program->role == program_role::calibration) {
        // The floors in order: add latency and CPU time, in-order streams, read bandwidth, line
        // transfer and its waits, running sums and atomic adds in one line and a line apart,
        // fork/join, the fill, fork/join after idle, barrier, atomic add, critical.
        record.reading.result_fields =
            calibration_fields({"0.5", "0.5", printed("%g", 0.001 / c.threads), "0.0004",
                                c.threads == 1 ? "nan" : "200", c.threads == 1 ? "nan" : "0", "0.003", "0.002",
                                "0.0005", "0.0004", "2", "0.02", "40", "1.5", "60", "0.3"});
      } else {
        record.reading.sum = "499500";
        const double jitter = 1 + 0.01 * (round - 1);
        record.reading.seconds =
            (c.program->role == program_role::padded_slots ? 0.004 * padded_factor : 0.001) * jitter / c.threads;
        record.reading.thread_seconds = record.reading.seconds * 0.9;
        if (prints_placement(*c.program)) {
          for (int t = 0; t < c.threads; ++t) record.reading.threads[t].processor = 1 - t;
        }
        if (prints_pages(*c.program)) {  // thread 1 reads on node 1, its block an eighth there
          for (int t = 0; t < c.threads; ++t) record.reading.threads[t] = {-1, t, t == 0 ? 100 : 12.5};
        }
      }
      r.records.push_back(record);
    }
  }
  analyse(r);
  return r;
}

}  // namespace omp_sums
