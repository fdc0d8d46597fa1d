// What a report warns of, as data: runs that wrote to standard error, placement that undoes what
// a case measures (threads sharing a processor or core, teams larger than the processors, a bound
// team on one NUMA node, a team over cores of several kinds), and cases too noisy to trust, with
// advice. The console prints them, the JSON keeps them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/analysis/aggregate.hpp"
#include "tools/analysis/identities.hpp"
#include "tools/catalog/facts.hpp"

namespace omp_sums {

struct warning {
  warning_kind kind;
  std::string subject;  // the case it is about, as case_name() gives it
  std::string text;     // the sentence, on one line
  std::string detail;   // for standard_error, an excerpt of what was written, its lines kept; else ""
  std::vector<std::pair<std::string, double>> figures;  // what it rests on, by name
  std::optional<run_case> about{};                      // the case it is about, where it is about one
  std::string advice{};  // what to do of it, the same for every warning of its kind; "" for none
};

// The advice of the warnings, each once, in their order.
std::vector<std::string> advice_of(const std::vector<warning>& warnings);

std::vector<warning> find_warnings(const run_plan& plan, const std::vector<run_record>& records,
                                   const figures& measured, const machine_topology& machine, const run_facts& facts);

}  // namespace omp_sums
