// Reads a run of the caller's own command (--command): its exit status, the lines that tell its
// time and element count, and where the OpenMP runtime says each of its threads ran.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "tools/catalog/plan.hpp"
#include "tools/run/child_process.hpp"

namespace omp_sums {

// The processors of a place as the runtimes print them ("0", "0-3", "0,2,4-7"), ascending; empty
// where the text is no such list, or names a processor twice or one at or beyond PROCESSORS (the
// machine's count), so that no line can make the list longer than the machine.
std::vector<int> processors_of_place(std::string_view place, int processors);

// TEXT without the runtime's affinity lines (kAffinityFormat), each thread's place put in PLACES
// (thread -> its processors; a thread's first line holds). A line of a thread beyond the team of
// THREADS, or of no place on a machine of PROCESSORS, is dropped unread.
std::string without_affinity_lines(const std::string& text, std::map<int, std::vector<int>>& places, int threads,
                                   int processors);

// Reads and validates one run of COMMAND on a team of THREADS that took WALL_SECONDS: its exit
// status as expected, its output matching --expect, its time from "seconds=" (or --time-regex)
// where it prints one and else the wall time, its CPU time over the team as the thread time, and
// its threads' processors where each runs on one (in `threads`, as the suite's placement programs
// report them), within BOUNDS.
struct output_bounds {
  int processors = 1;       // the machine's configured processors: no place names one beyond
  double most_seconds = 0;  // the run's time limit: no time it tells is longer
};
program_run read_command_run(const command_wanted& command, int threads, const child_result& run, double wall_seconds,
                             const output_bounds& bounds);

}  // namespace omp_sums
