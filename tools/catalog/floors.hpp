// What the machine allows, as calibrate measures it beside the programs: its floors and the
// references the effects are read against, each described once here. Calibrate prints one line
// per entry, in this order, with the share of its processors' time the phase's threads had
// ("add latency: 0.59 ns per add, with 0.98 of its processors"); the validator reads its output
// with the format made from them, and the aggregation, the tables, the CSV, the JSON, the
// footnotes and the docs name each floor as its entry does. A new floor is an entry here (and
// its floor_kind) and its kernel in calibrate. Calibrate's --sweep prints the read sweep's
// lines instead (kSweepLine).
#pragma once

#include <array>
#include <cstddef>
#include <iterator>
#include <string_view>

enum class floor_kind {
  add_latency,
  add_cpu_time,
  inorder_streams,
  read_bandwidth,
  line_transfer,
  hand_over_waits,
  shared_line_sums,
  separate_line_sums,
  shared_line_atomic_adds,
  separate_line_atomic_adds,
  fork_join,
  fill,
  fork_join_after_idle,
  barrier,
  atomic_add,
  critical,
};

struct floor_description {
  floor_kind kind;
  std::string_view line;         // how calibrate's line of it begins, before ": %g "
  std::string_view line_unit;    // what calibrate's line gives after the number
  std::string_view name;         // in the JSON, and in the CSV as floor:NAME
  std::string_view unit;         // of its value: "ns", "us", "s" or "GB/s"
  std::string_view label;        // in the floors table
  const char* format;            // of its value in the floors table
  double seconds_per_field;      // calibrate prints it in ns (1e-9), us (1e-6) or s (1)
  bool as_bandwidth;             // its value is the array's bytes over the field's seconds, in GB/s
  int fewest_threads;            // 2 for a hand-over between two threads; below it calibrate prints nan
  bool share;                    // a share from 0 to 1, not a time
  std::string_view description;  // what is measured, under the floors table
  bool cpu_time = false;         // a CPU time, which sharing the processors with other work does not stretch
};

// What the floors table calls it, without its unit: "running sums in one line".
constexpr std::string_view row_name(const floor_description& floor) {
  return floor.label.substr(0, floor.label.find(','));
}

// clang-format off
inline constexpr floor_description kFloors[] = {
    {floor_kind::add_latency, "add latency", "ns per add", "add_latency", "ns", "add latency, ns per add", "%.3f",
     1e-9, false, 1, false, "one dependent double add per thread, all threads at once"},
    {floor_kind::add_cpu_time, "add CPU time", "ns per add", "add_cpu_time", "ns", "add CPU time, ns per add", "%.3f",
     1e-9, false, 1, false, "the same adds' CPU time per thread: the clock the threads ran at, however little of a "
     "processor the scheduler gave them", true},
    {floor_kind::inorder_streams, "in-order streams", "s", "inorder_streams", "s", "in-order streams, s", "%.6f",
     1, false, 1, false, "each thread's in-order block sum alone, no fork, barrier, join or atomic: the slowest thread"},
    {floor_kind::read_bandwidth, "read bandwidth", "s", "read_bandwidth", "GB/s", "read bandwidth, GB/s", "%.1f",
     1, true, 1, false, "the same blocks read at once with a reassociated, vectorised sum (over and over where a block is under 2^20 "
     "elements)"},
    {floor_kind::line_transfer, "line transfer", "ns per hand-over", "line_transfer", "ns", "line transfer, ns", "%.3f",
     1e-9, false, 2, false, "one cache line handed between two threads"},
    {floor_kind::hand_over_waits, "waited hand-overs", "of all", "hand_over_waits", "share",
     "hand-overs that waited, share", "%.3f",
     1, false, 2, true, "the share of those hand-overs that gave the processor up: the two threads did not run at once"},
    {floor_kind::shared_line_sums, "shared-line sums", "s", "shared_line_sums", "s", "running sums in one line, s", "%.6f",
     1, false, 1, false, "every thread's running sum kept in memory, all in one cache line"},
    {floor_kind::separate_line_sums, "separate-line sums", "s", "separate_line_sums", "s",
     "running sums a line apart, s", "%.6f",
     1, false, 1, false, "the same with each thread's sum a cache line apart"},
    {floor_kind::shared_line_atomic_adds, "shared-line atomic adds", "s", "shared_line_atomic_adds", "s",
     "atomic adds in one line, s", "%.6f",
     1, false, 1, false, "every thread's atomic adds into a double of its own, all in one line"},
    {floor_kind::separate_line_atomic_adds, "separate-line atomic adds", "s", "separate_line_atomic_adds", "s",
     "atomic adds a line apart, s", "%.6f",
     1, false, 1, false, "the same with each thread's double a cache line apart"},
    {floor_kind::fork_join, "fork/join", "us per region", "fork_join", "us", "fork/join, us per region", "%.3f",
     1e-6, false, 1, false, "an empty parallel region, back to back"},
    {floor_kind::fill, "fill", "s", "fill", "s", "fill, s", "%.6f",
     1, false, 1, false, "main's index fill of a fresh array, page faults included: how long the programs' team idles "
     "between their regions"},
    {floor_kind::fork_join_after_idle, "fork/join after idle", "us", "fork_join_after_idle", "us",
     "fork/join after idle, us", "%.3f",
     1e-6, false, 1, false, "an empty parallel region after the team idled as long as the fill"},
    {floor_kind::barrier, "barrier", "us", "barrier", "us", "barrier, us", "%.3f",
     1e-6, false, 1, false, "one barrier"},
    {floor_kind::atomic_add, "atomic add", "ns per add", "atomic_add", "ns", "contended atomic add, ns", "%.3f",
     1e-9, false, 1, false, "one atomic add into one shared double, every thread adding"},
    {floor_kind::critical, "critical", "us per entry", "critical", "us", "critical section entry, us", "%.3f",
     1e-6, false, 1, false, "one entry into the unnamed critical section"},
};
// clang-format on
inline constexpr std::size_t kFloorCount = std::size(kFloors);

constexpr bool floors_in_kind_order() {
  for (std::size_t k = 0; k < kFloorCount; ++k) {
    if (static_cast<std::size_t>(kFloors[k].kind) != k) return false;
  }
  return true;
}
static_assert(floors_in_kind_order(), "kFloors lists the floors in the order of floor_kind");

constexpr const floor_description& describe(floor_kind kind) { return kFloors[static_cast<std::size_t>(kind)]; }

// Each line ends with the share of the processors the phase's threads had over its time: their
// CPU time over CPU time and run-queue wait, 1 where the scheduler gave them all.
inline constexpr char kShareSuffix[] = ", with %g of its processors";

// Calibrate's lines as one printf format, made from the entries: "add latency: %g ns per
// add, with %g of its processors\nadd CPU time: ...", without the last newline. The fields
// alternate: a floor's value, then its share.
constexpr std::size_t calibration_format_length() {
  std::size_t length = 0;
  for (const floor_description& floor : kFloors)
    length += floor.line.size() + 5 + floor.line_unit.size() + std::string_view(kShareSuffix).size() + 1;
  return length;  // the last newline's place holds the terminating zero
}

constexpr std::array<char, calibration_format_length()> calibration_format() {
  std::array<char, calibration_format_length()> text{};
  std::size_t at = 0;
  const auto append = [&](std::string_view part) {
    for (char c : part) text[at++] = c;
  };
  for (const floor_description& floor : kFloors) {
    if (at > 0) append("\n");
    append(floor.line);
    append(": %g ");
    append(floor.line_unit);
    append(kShareSuffix);
  }
  return text;
}

inline constexpr std::array<char, calibration_format_length()> kCalibrationFormat = calibration_format();
inline constexpr const char* kCalibrationLines = kCalibrationFormat.data();

// Where a floor's value and its share lie among calibrate's fields.
constexpr std::size_t value_field(floor_kind kind) { return 2 * static_cast<std::size_t>(kind); }
constexpr std::size_t share_field(floor_kind kind) { return 2 * static_cast<std::size_t>(kind) + 1; }

// A phase whose threads had less than this share of their processors was time-shared with other
// work: its figure is the scheduler's as much as the machine's.
inline constexpr double kLeastProcessorShare = 0.8;

// calibrate --sweep BYTES: the read bandwidth of working sets from kSweepFirstBytes up to BYTES,
// two a doubling (2^k and 1.5 x 2^k), on one thread and then on the team, one line each.
inline constexpr char kSweepLine[] = "read sweep on %d threads: %lld bytes at %g GB/s";
inline constexpr long long kSweepFirstBytes = 16 * 1024;
