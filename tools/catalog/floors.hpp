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

namespace omp_sums {

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
  double seconds_per_field = 1;  // calibrate prints it in ns (1e-9), us (1e-6) or s (1)
  bool as_bandwidth = false;     // its value is the array's bytes over the field's seconds, in GB/s
  int fewest_threads = 1;        // 2 for a hand-over between two threads; below it calibrate prints nan
  bool share = false;            // a share from 0 to 1, not a time
  std::string_view description;  // what is measured, under the floors table
  bool cpu_time = false;         // a CPU time, which sharing the processors with other work does not stretch
};

// What the floors table calls it, without its unit: "running sums in one line".
constexpr std::string_view row_name(const floor_description& floor) {
  return floor.label.substr(0, floor.label.find(','));
}

inline constexpr floor_description kFloors[] = {
    {
        .kind = floor_kind::add_latency,
        .line = "add latency",
        .line_unit = "ns per add",
        .name = "add_latency",
        .unit = "ns",
        .label = "add latency, ns per add",
        .format = "%.3f",
        .seconds_per_field = 1e-9,
        .description = "one dependent double add per thread, all threads at once",
    },
    {
        .kind = floor_kind::add_cpu_time,
        .line = "add CPU time",
        .line_unit = "ns per add",
        .name = "add_cpu_time",
        .unit = "ns",
        .label = "add CPU time, ns per add",
        .format = "%.3f",
        .seconds_per_field = 1e-9,
        .description = "the same adds' CPU time per thread: the clock the threads ran at, however little of a "
                       "processor the scheduler gave them",
        .cpu_time = true,
    },
    {
        .kind = floor_kind::inorder_streams,
        .line = "in-order streams",
        .line_unit = "s",
        .name = "inorder_streams",
        .unit = "s",
        .label = "in-order streams, s",
        .format = "%.6f",
        .description = "each thread's in-order block sum alone, no fork, barrier, join or atomic: the slowest thread",
    },
    {
        .kind = floor_kind::read_bandwidth,
        .line = "read bandwidth",
        .line_unit = "s",
        .name = "read_bandwidth",
        .unit = "GB/s",
        .label = "read bandwidth, GB/s",
        .format = "%.1f",
        .as_bandwidth = true,
        .description = "the same blocks read at once with a reassociated, vectorised sum (over and over where a "
                       "block is under 2^20 elements)",
    },
    {
        .kind = floor_kind::line_transfer,
        .line = "line transfer",
        .line_unit = "ns per hand-over",
        .name = "line_transfer",
        .unit = "ns",
        .label = "line transfer, ns",
        .format = "%.3f",
        .seconds_per_field = 1e-9,
        .fewest_threads = 2,
        .description = "one cache line handed between two threads",
    },
    {
        .kind = floor_kind::hand_over_waits,
        .line = "waited hand-overs",
        .line_unit = "of all",
        .name = "hand_over_waits",
        .unit = "share",
        .label = "hand-overs that waited, share",
        .format = "%.3f",
        .fewest_threads = 2,
        .share = true,
        .description = "the share of those hand-overs that gave the processor up: the two threads did not run at "
                       "once",
    },
    {
        .kind = floor_kind::shared_line_sums,
        .line = "shared-line sums",
        .line_unit = "s",
        .name = "shared_line_sums",
        .unit = "s",
        .label = "running sums in one line, s",
        .format = "%.6f",
        .description = "every thread's running sum kept in memory, all in one cache line",
    },
    {
        .kind = floor_kind::separate_line_sums,
        .line = "separate-line sums",
        .line_unit = "s",
        .name = "separate_line_sums",
        .unit = "s",
        .label = "running sums a line apart, s",
        .format = "%.6f",
        .description = "the same with each thread's sum a cache line apart",
    },
    {
        .kind = floor_kind::shared_line_atomic_adds,
        .line = "shared-line atomic adds",
        .line_unit = "s",
        .name = "shared_line_atomic_adds",
        .unit = "s",
        .label = "atomic adds in one line, s",
        .format = "%.6f",
        .description = "every thread's atomic adds into a double of its own, all in one line",
    },
    {
        .kind = floor_kind::separate_line_atomic_adds,
        .line = "separate-line atomic adds",
        .line_unit = "s",
        .name = "separate_line_atomic_adds",
        .unit = "s",
        .label = "atomic adds a line apart, s",
        .format = "%.6f",
        .description = "the same with each thread's double a cache line apart",
    },
    {
        .kind = floor_kind::fork_join,
        .line = "fork/join",
        .line_unit = "us per region",
        .name = "fork_join",
        .unit = "us",
        .label = "fork/join, us per region",
        .format = "%.3f",
        .seconds_per_field = 1e-6,
        .description = "an empty parallel region, back to back",
    },
    {
        .kind = floor_kind::fill,
        .line = "fill",
        .line_unit = "s",
        .name = "fill",
        .unit = "s",
        .label = "fill, s",
        .format = "%.6f",
        .description = "main's index fill of a fresh array, page faults included: how long the programs' team "
                       "idles between their regions",
    },
    {
        .kind = floor_kind::fork_join_after_idle,
        .line = "fork/join after idle",
        .line_unit = "us",
        .name = "fork_join_after_idle",
        .unit = "us",
        .label = "fork/join after idle, us",
        .format = "%.3f",
        .seconds_per_field = 1e-6,
        .description = "an empty parallel region after the team idled as long as the fill",
    },
    {
        .kind = floor_kind::barrier,
        .line = "barrier",
        .line_unit = "us",
        .name = "barrier",
        .unit = "us",
        .label = "barrier, us",
        .format = "%.3f",
        .seconds_per_field = 1e-6,
        .description = "one barrier",
    },
    {
        .kind = floor_kind::atomic_add,
        .line = "atomic add",
        .line_unit = "ns per add",
        .name = "atomic_add",
        .unit = "ns",
        .label = "contended atomic add, ns",
        .format = "%.3f",
        .seconds_per_field = 1e-9,
        .description = "one atomic add into one shared double, every thread adding",
    },
    {
        .kind = floor_kind::critical,
        .line = "critical",
        .line_unit = "us per entry",
        .name = "critical",
        .unit = "us",
        .label = "critical section entry, us",
        .format = "%.3f",
        .seconds_per_field = 1e-6,
        .description = "one entry into the unnamed critical section",
    },
};
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

}  // namespace omp_sums
