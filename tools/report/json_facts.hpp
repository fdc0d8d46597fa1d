// The machine's facts in a run's JSON, written and read back: its topology (with hwloc's kinds
// of core), the read sweep, the sizes the runs took and what --budget cut, and the clock as the
// kernel showed it.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tools/catalog/facts.hpp"
#include "tools/catalog/machine.hpp"
#include "tools/catalog/plan.hpp"

namespace omp_sums {

// What the schema does not say of a saved run: a fault at a JSON pointer.
struct saved_fault {
  std::string where;
  std::string what;
};

nlohmann::ordered_json topology_json(const machine_topology& machine);
nlohmann::ordered_json sizes_json(const std::vector<array_size>& sizes);
nlohmann::ordered_json clock_json(const clock_facts& clock);
nlohmann::ordered_json sweep_json(const read_sweep& sweep);
nlohmann::ordered_json budget_json(const budget_cut& budget);

// The same read back from a document that holds the schema (the topology from the whole run's
// document, for its allowed processors); a saved_fault where what the schema lets through cannot
// be: a processor of two kinds, a count other than its name, a size named twice.
machine_topology topology_of(const nlohmann::ordered_json& run);
std::vector<array_size> sizes_of(const nlohmann::ordered_json& sizes);
clock_facts clock_of(const nlohmann::ordered_json& clock);
// A sweep's points in the order calibrate prints them (one thread's, then the team's, each by
// size); a budget's cuts as --budget makes them.
read_sweep sweep_of(const nlohmann::ordered_json& sweep);
budget_cut budget_of(const nlohmann::ordered_json& budget);

// A JSON number, or null where there is none (below 0, or not finite); and back, NONE for null.
nlohmann::ordered_json json_number(double value);
double number_or(const nlohmann::ordered_json& value, double none);

}  // namespace omp_sums
