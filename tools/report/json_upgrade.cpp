#include "tools/report/json_upgrade.hpp"

#include <array>
#include <cstddef>

#include "tools/catalog/floors.hpp"
#include "tools/catalog/text.hpp"
#include "tools/report/json.hpp"
#include "tools/run/runner.hpp"

namespace omp_sums {

using json = nlohmann::json;

namespace {

// Each object of the array at KEY, where there is one.
template <typename Change>
void for_each_in(json& document, const char* key, Change change) {
  if (!document.contains(key) || !document[key].is_array()) return;
  for (json& item : document[key]) {
    if (item.is_object()) change(item);
  }
}

// 6 to 7: where the pages lie, and the kernel's page facts.
void add_page_facts(json& run) {
  run["transparent_huge_pages"] = nullptr;
  run["numa_balancing"] = nullptr;
  for_each_in(run, "aggregates", [](json& aggregate) { aggregate["local_pages_percent"] = nullptr; });
}

// 7 to 8: one array size, named by its count, that every run ran at; the clock and core kinds.
void add_sizes(json& run) {
  const json elements = run.contains("elements") ? run["elements"] : json();
  run.erase("elements");
  json size = {{"name", elements.is_number_integer() ? std::to_string(elements.get<long long>()) : std::string()},
               {"elements", elements},
               {"cache_level", nullptr},
               {"cache_bytes", nullptr},
               {"memory_bytes", nullptr}};
  run["sizes"] = json::array({size});
  for (const char* key : {"runs", "calibration_runs", "aggregates", "floors"})
    for_each_in(run, key, [](json& item) { item["size"] = ""; });
  run["clock"] = {{"governors", json::array()}, {"boost", nullptr},     {"hardware_mhz", nullptr},
                  {"before_mhz", nullptr},      {"after_mhz", nullptr}, {"power", nullptr}};
  if (run.contains("topology") && run["topology"].is_object()) run["topology"]["core_kinds"] = json::array();
}

// Calibrate's floors up to version 8, in the order it printed them: one value each.
constexpr std::array kFloorsBeforeShares = {floor_kind::add_latency,
                                            floor_kind::inorder_streams,
                                            floor_kind::read_bandwidth,
                                            floor_kind::line_transfer,
                                            floor_kind::hand_over_waits,
                                            floor_kind::shared_line_sums,
                                            floor_kind::separate_line_sums,
                                            floor_kind::shared_line_atomic_adds,
                                            floor_kind::separate_line_atomic_adds,
                                            floor_kind::fork_join,
                                            floor_kind::fork_join_after_idle,
                                            floor_kind::barrier,
                                            floor_kind::atomic_add,
                                            floor_kind::critical};

// 8 to 9: the read sweep, the budget and the memory (none then), each floor's share of its
// processors and the two floors added since (absent), each case's share (absent).
void add_shares(json& run) {
  run["sweep"] = nullptr;
  run["budget"] = nullptr;
  run["memory_available"] = nullptr;
  for_each_in(run, "sizes", [](json& size) {
    size["measured"] = false;
    size["uncut_elements"] = nullptr;
  });
  for_each_in(run, "aggregates", [](json& aggregate) {
    aggregate["processor_share"] = nullptr;
    aggregate["time_shared"] = false;
  });
  for_each_in(run, "floors", [](json& floor) { floor["processor_share"] = nullptr; });
  for_each_in(run, "calibration_runs", [](json& calibration) {
    if (!calibration.contains("fields") || !calibration["fields"].is_array()) return;
    const json old = calibration["fields"];
    json fields = json::array();
    for (std::size_t k = 0; k < 2 * std::size(kFloors); ++k) fields.push_back("nan");
    for (std::size_t k = 0; k < old.size() && k < kFloorsBeforeShares.size(); ++k)
      fields[value_field(kFloorsBeforeShares[k])] = old[k];
    calibration["fields"] = fields;
  });
}

// What a run record keeps of its problem and standard error, as the runner keeps them: files
// written before those bounds, or by hand, are read bounded too.
void bound_run_texts(json& document) {
  for (const char* key : {"runs", "calibration_runs"}) {
    for_each_in(document, key, [](json& run) {
      if (run.contains("problem") && run["problem"].is_string())
        run["problem"] = kept_line(run["problem"].get<std::string>(), kKeptProblem);
      if (run.contains("standard_error") && run["standard_error"].is_string())
        run["standard_error"] = kept_start(run["standard_error"].get<std::string>(), kKeptStandardError);
    });
  }
}

}  // namespace

std::string upgrade_saved_run(json& document) {
  const json& version = document["schema_version"];
  if (!version.is_number_integer()) return "has no schema version";
  const long long read = version.get<long long>();
  if (read > kJsonSchemaVersion || read < kOldestReadSchemaVersion) {
    return "has schema version " + std::to_string(read) + "; this sum_compare reads versions " +
           std::to_string(kOldestReadSchemaVersion) + " to " + std::to_string(kJsonSchemaVersion) +
           (read > kJsonSchemaVersion ? ": a newer sum_compare wrote it" : "");
  }
  if (read < 7) add_page_facts(document);
  if (read < 8) add_sizes(document);
  if (read < 9) add_shares(document);
  // Version 10 added the verdict and each headline's reading, both derived: read back, they are
  // derived again, so an older file needs nothing. Version 11 added the region runs, absent
  // where none were made.
  bound_run_texts(document);
  document["schema_version"] = kJsonSchemaVersion;
  return {};
}

}  // namespace omp_sums
