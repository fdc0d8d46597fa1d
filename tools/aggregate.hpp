// The figures of a plan's measured runs: one set per case, and the machine's floors from the
// calibration runs.
#pragma once

#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/placement.hpp"
#include "tools/run_plan.hpp"
#include "tools/statistics.hpp"
#include "tools/topology.hpp"

struct case_stats {
  run_case c;
  std::vector<double> walls;     // the valid runs' timed intervals
  summary wall{0, 0, 0};
  interval median_ci{0, 0, 0};
  double spread_percent = 0;     // (max - min) / median
  double thread_median = -1;     // -1: the program prints no thread time
  double ns_per_element_per_thread = 0;
  double speedup = -1;           // -1: no one-thread case of the same program
  double floor_seconds = -1;     // the in-order streams floor of its team size; -1: none measured
  double of_floor = -1;          // median / floor_seconds
  std::optional<placement_summary> placement;  // for the programs that print placement lines
  int runs = 0;                  // measured runs, valid or not
  bool precision_reached = true; // its median interval lies within the plan's --precision (true without one)
};

// The calibration's floors and references, in the order of its result fields.
enum class floor_kind {
  add_latency,
  inorder_streams,
  read_bandwidth,
  line_transfer,
  shared_line_sums,
  separate_line_sums,
  shared_line_atomic_adds,
  separate_line_atomic_adds,
  fork_join,
  fork_join_after_idle,
  barrier,
  atomic_add,
  critical,
};

// What each floor is, written once for the aggregation, the tables, the CSV, the JSON and the
// headlines.
struct floor_description {
  floor_kind kind;
  std::string_view name;     // in the JSON, and in the CSV as floor:NAME
  std::string_view unit;     // of its value: "ns", "s" or "GB/s"
  std::string_view label;    // in the floors table
  const char* format;        // of its value in the floors table
  double seconds_per_field;  // calibrate prints it in ns (1e-9) or s (1)
  bool as_bandwidth;         // its value is the array's bytes over the field's seconds, in GB/s
  int fewest_threads;        // 2 for a hand-over between two threads
};

inline constexpr floor_description kFloors[] = {
    {floor_kind::add_latency, "add_latency", "ns", "add latency, ns per add", "%.3f", 1e-9, false, 1},
    {floor_kind::inorder_streams, "inorder_streams", "s", "in-order streams, s", "%.6f", 1, false, 1},
    {floor_kind::read_bandwidth, "read_bandwidth", "GB/s", "read bandwidth, GB/s", "%.1f", 1, true, 1},
    {floor_kind::line_transfer, "line_transfer", "ns", "line transfer, ns", "%.3f", 1e-9, false, 2},
    {floor_kind::shared_line_sums, "shared_line_sums", "s", "running sums in one line, s", "%.6f", 1, false, 1},
    {floor_kind::separate_line_sums, "separate_line_sums", "s", "running sums a line apart, s", "%.6f", 1, false, 1},
    {floor_kind::shared_line_atomic_adds, "shared_line_atomic_adds", "s", "atomic adds in one line, s", "%.6f", 1, false, 1},
    {floor_kind::separate_line_atomic_adds, "separate_line_atomic_adds", "s", "atomic adds a line apart, s", "%.6f", 1,
     false, 1},
    {floor_kind::fork_join, "fork_join", "us", "fork/join, us per region", "%.3f", 1e-6, false, 1},
    {floor_kind::fork_join_after_idle, "fork_join_after_idle", "us", "fork/join after idle, us", "%.3f", 1e-6, false, 1},
    {floor_kind::barrier, "barrier", "us", "barrier, us", "%.3f", 1e-6, false, 1},
    {floor_kind::atomic_add, "atomic_add", "ns", "contended atomic add, ns", "%.3f", 1e-9, false, 1},
    {floor_kind::critical, "critical", "us", "critical section entry, us", "%.3f", 1e-6, false, 1},
};

constexpr bool floors_in_kind_order() {
  for (int k = 0; k < static_cast<int>(std::size(kFloors)); ++k) {
    if (static_cast<int>(kFloors[k].kind) != k) return false;
  }
  return true;
}
static_assert(floors_in_kind_order(), "kFloors lists the floors in the order of floor_kind");

inline constexpr const floor_description& describe(floor_kind kind) { return kFloors[static_cast<int>(kind)]; }

// Calibrate's field of this floor, in seconds, from a run on `size` elements; NaN where absent.
double floor_field_seconds(const floor_description& floor, const std::vector<std::string>& fields);

// The floor's value in its unit from the field's seconds.
double floor_value(const floor_description& floor, double field_seconds, int size);

struct floor_stats {
  floor_kind kind;
  int threads;
  int setting;
  std::vector<double> values;    // one per valid calibration run, in the floor's unit
  double median = 0;
  interval ci{0, 0, 0};
};

struct figures {
  std::vector<case_stats> cases;   // the program cases with a valid run, in the plan's order
  std::vector<floor_stats> floors; // by team size, then kind
};

figures aggregate(const run_plan& plan, const std::vector<run_record>& records, const machine_topology& machine);

// The figures of a program on a team size under one of the plan's settings, or nullptr.
const case_stats* find_case(const std::vector<case_stats>& cases, const program_description& program, int threads,
                            int setting = 0);

// The same for the compared program of a role.
const case_stats* find_case(const std::vector<case_stats>& cases, program_role role, int threads, int setting = 0);

// A floor on a team size under one of the plan's settings, or nullptr.
const floor_stats* find_floor(const std::vector<floor_stats>& floors, floor_kind kind, int threads, int setting = 0);
