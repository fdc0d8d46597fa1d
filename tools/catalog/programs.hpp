// What each program of the suite prints, as the tooling and the tests read it: one description
// per program. The programs print these texts from their own code; the program tests hold the
// two together. How each program is built comes from CMake (tools/suite_build.hpp).
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "tools/catalog/floors.hpp"

namespace omp_sums {

// The programs' lines as printf formats, without the final newline. A format may span lines.
inline constexpr char kTeamLine[] = "omp summation with %d threads";
inline constexpr char kPlacementLine[] = "thread %2d is running on core %2d";
inline constexpr char kPagesLine[] = "thread %2d reads its block on node %d: %g%% of its pages there";
inline constexpr char kResultLine[] = "Sum is %g, process took %g of wall-clock time, <%g> sec of thread-time ";
inline constexpr char kPaddedResultLine[] =
    "Sum is %g, process took %g sec of wall-clock time, <%g> sec of thread-time ";
inline constexpr char kSerialFirstLine[] = "serial summation";
inline constexpr char kSerialResultLine[] = "Sum is %g, took %g sec";
inline constexpr char kScanResultLine[] = "process took %g of wall-clock time ";
inline constexpr char kIterationLine[] = "\tthread %d performed %d iterations";
inline constexpr char kIterationResultLine[] = "Sum is %u (expected: %lld)";
inline constexpr char kImbalanceResultLines[] =
    "static blocks would leave %g%% of the team's time waiting at the region's end\n"
    "Sum is %llu (expected: %llu)\nseconds=%g";
inline constexpr char kStackNotice[] =
    "\nmain thread notice:\nbase of stack is: %p\ntop of stack is : %p\n&i is           : %p\n"
    "   &i - rbp     : %td\n   &i - rsp     : %td";
inline constexpr char kStackThreadLines[] =
    "\tthread nr %d says: i address is %p (%td from main's i)\n"
    "\t\t\tmy base of stack is %p ( %td from main's stack )";
inline constexpr char kMemoryMessage[] = "I'm sorry, there is not enough memory to host %lu bytes";

enum class array_fill { index, random, none };

// What a program stands for in sum_compare's report: the headlines, the chart and the warnings
// ask for roles, never for names.
enum class program_role {
  serial_reference,  // the serial build: the one-thread reference
  random_reduction,  // the reduction over a random array
  reduction,         // the reduction over the index-filled array: the headlines' reduction
  packed_slots,
  padded_slots,
  first_touch,
  main_touch,     // the array filled by main alone, then read in the team's blocks
  team_touch,     // filled by the team in the very blocks its threads read
  calibration,    // the machine's floors
  demonstration,  // not summed side by side
  command,        // the caller's own program (--command), measured as the suite's are
};

// Which fields of the result line hold the sum and the times; -1 where it has none.
struct result_fields {
  int sum;
  int seconds;
  int thread_seconds;
};

struct program_description {
  std::string_view name;
  array_fill fill;           // index: element i holds i, so the sum is N(N-1)/2
  bool on_team;              // false: the serial build, one thread whatever OMP_NUM_THREADS says
  const char* first_block;   // printed once before the result, or nullptr
  const char* thread_block;  // printed once by each thread of the team, or nullptr
  const char* result_block;  // printed last
  result_fields fields;
  int default_count;  // N without an argument; 0: the program takes no argument
  bool allocates;     // prints the memory message and exits 1 when its array cannot be had
  bool compared;      // one of the sums that sum_compare runs side by side
  program_role role;
};

// In the order sum_compare lays them out.
inline constexpr program_description kPrograms[] = {
    {
        .name = "sum_baseline_serial",
        .fill = array_fill::random,
        .on_team = false,
        .first_block = kSerialFirstLine,
        .thread_block = nullptr,
        .result_block = kSerialResultLine,
        .fields = {.sum = 0, .seconds = 1, .thread_seconds = -1},
        .default_count = 100,
        .allocates = true,
        .compared = true,
        .role = program_role::serial_reference,
    },
    {
        .name = "sum_baseline",
        .fill = array_fill::random,
        .on_team = true,
        .first_block = kTeamLine,
        .thread_block = nullptr,
        .result_block = kResultLine,
        .fields = {.sum = 0, .seconds = 1, .thread_seconds = 2},
        .default_count = 100,
        .allocates = true,
        .compared = true,
        .role = program_role::random_reduction,
    },
    {
        .name = "sum_walltime",
        .fill = array_fill::index,
        .on_team = true,
        .first_block = kTeamLine,
        .thread_block = nullptr,
        .result_block = kResultLine,
        .fields = {.sum = 0, .seconds = 1, .thread_seconds = 2},
        .default_count = 100,
        .allocates = true,
        .compared = true,
        .role = program_role::reduction,
    },
    {
        .name = "sum_slots_packed",
        .fill = array_fill::index,
        .on_team = true,
        .first_block = kTeamLine,
        .thread_block = kPlacementLine,
        .result_block = kResultLine,
        .fields = {.sum = 0, .seconds = 1, .thread_seconds = 2},
        .default_count = 100,
        .allocates = true,
        .compared = true,
        .role = program_role::packed_slots,
    },
    {
        .name = "sum_slots_padded",
        .fill = array_fill::index,
        .on_team = true,
        .first_block = kTeamLine,
        .thread_block = kPlacementLine,
        .result_block = kPaddedResultLine,
        .fields = {.sum = 0, .seconds = 1, .thread_seconds = 2},
        .default_count = 100,
        .allocates = true,
        .compared = true,
        .role = program_role::padded_slots,
    },
    {
        .name = "sum_first_touch",
        .fill = array_fill::index,
        .on_team = true,
        .first_block = kTeamLine,
        .thread_block = kPlacementLine,
        .result_block = kResultLine,
        .fields = {.sum = 0, .seconds = 1, .thread_seconds = 2},
        .default_count = 100,
        .allocates = true,
        .compared = true,
        .role = program_role::first_touch,
    },
    {
        .name = "sum_touch_main",
        .fill = array_fill::index,
        .on_team = true,
        .first_block = kTeamLine,
        .thread_block = kPagesLine,
        .result_block = kResultLine,
        .fields = {.sum = 0, .seconds = 1, .thread_seconds = 2},
        .default_count = 100,
        .allocates = true,
        .compared = true,
        .role = program_role::main_touch,
    },
    {
        .name = "sum_touch_team",
        .fill = array_fill::index,
        .on_team = true,
        .first_block = kTeamLine,
        .thread_block = kPagesLine,
        .result_block = kResultLine,
        .fields = {.sum = 0, .seconds = 1, .thread_seconds = 2},
        .default_count = 100,
        .allocates = true,
        .compared = true,
        .role = program_role::team_touch,
    },
    {
        .name = "prefix_scan",
        .fill = array_fill::random,
        .on_team = true,
        .first_block = nullptr,
        .thread_block = nullptr,
        .result_block = kScanResultLine,
        .fields = {.sum = -1, .seconds = 0, .thread_seconds = -1},
        .default_count = 10000,
        .allocates = true,
        .compared = false,
        .role = program_role::demonstration,
    },
    {
        .name = "thread_stacks",
        .fill = array_fill::none,
        .on_team = true,
        .first_block = kStackNotice,
        .thread_block = kStackThreadLines,
        .result_block = "",
        .fields = {.sum = -1, .seconds = -1, .thread_seconds = -1},
        .default_count = 0,
        .allocates = false,
        .compared = false,
        .role = program_role::demonstration,
    },
    {
        .name = "iteration_count",
        .fill = array_fill::none,
        .on_team = true,
        .first_block = kTeamLine,
        .thread_block = kIterationLine,
        .result_block = kIterationResultLine,
        .fields = {.sum = 0, .seconds = -1, .thread_seconds = -1},
        .default_count = 100,
        .allocates = false,
        .compared = false,
        .role = program_role::demonstration,
    },
    {
        .name = "schedule_imbalance",
        .fill = array_fill::none,
        .on_team = true,
        .first_block = kTeamLine,
        .thread_block = nullptr,
        .result_block = kImbalanceResultLines,
        .fields = {.sum = 1, .seconds = 3, .thread_seconds = -1},
        .default_count = 20000,
        .allocates = false,
        .compared = false,
        .role = program_role::demonstration,
    },
};

// The tooling's own program that sum_compare runs beside them: the machine's limits on the
// runtime's default team (calibrate/calibrate.cpp). Its result fields are the floors and
// references of tools/catalog/floors.hpp, in that order.
inline constexpr program_description kCalibration = {
    .name = "calibrate",
    .fill = array_fill::index,
    .on_team = true,
    .first_block = kTeamLine,
    .thread_block = nullptr,
    .result_block = kCalibrationLines,
    .fields = {.sum = -1, .seconds = static_cast<int>(value_field(floor_kind::inorder_streams)), .thread_seconds = -1},
    .default_count = 1000000,
    .allocates = true,
    .compared = false,
    .role = program_role::calibration,
};

// The description of a program, or nullptr for a name that is not one of the suite's.
inline const program_description* find_program(std::string_view name) {
  for (const program_description& program : kPrograms) {
    if (program.name == name) return &program;
  }
  return nullptr;
}

// The description of one of the suite's programs; throws std::out_of_range for another name.
inline const program_description& program(std::string_view name) {
  const program_description* found = find_program(name);
  if (found == nullptr) throw std::out_of_range("not a program of the suite: " + std::string(name));
  return *found;
}

// The headlines, the chart and the warnings find a program by its role: no two compared
// programs may share one.
constexpr bool roles_unique() {
  for (const program_description& a : kPrograms) {
    for (const program_description& b : kPrograms) {
      if (&a != &b && a.compared && b.compared && a.role == b.role) return false;
    }
  }
  return true;
}
static_assert(roles_unique(), "two compared programs share a role");

// The compared program of a role; throws std::out_of_range where none has it.
inline const program_description& program_with(program_role role) {
  for (const program_description& program : kPrograms) {
    if (program.compared && program.role == role) return program;
  }
  throw std::out_of_range("no compared program has the role");
}

// True for the programs whose lines say where each thread's pages lie.
inline bool prints_pages(const program_description& program) { return program.thread_block == kPagesLine; }

// True for the programs whose placement lines say where each thread ran.
inline bool prints_placement(const program_description& program) { return program.thread_block == kPlacementLine; }

// The OpenMP runtime's settings that no program of the suite reads, each with why: no region of
// theirs has the construct the setting steers, so a value of it cannot change what they measure.
struct unread_setting {
  std::string_view name;
  std::string_view why;
};

inline constexpr unread_setting kUnreadSettings[] = {
    {"OMP_SCHEDULE", "no compared program of the suite has a schedule(runtime) loop"},
    {"OMP_CANCELLATION", "no program of the suite cancels a region"},
    {"OMP_DEFAULT_DEVICE", "no program of the suite offloads to a device"},
    {"OMP_TARGET_OFFLOAD", "no program of the suite offloads to a device"},
    {"OMP_MAX_TASK_PRIORITY", "no program of the suite makes tasks"},
    {"OMP_NUM_TEAMS", "no program of the suite has a teams construct"},
    {"OMP_TEAMS_THREAD_LIMIT", "no program of the suite has a teams construct"},
};

// Why no program of the suite reads a setting, or "" where one may.
constexpr std::string_view why_unread(std::string_view name) {
  for (const unread_setting& setting : kUnreadSettings) {
    if (setting.name == name) return setting.why;
  }
  return {};
}

}  // namespace omp_sums
