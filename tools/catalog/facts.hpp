// What a report says beside its figures: the facts of the machine, build and caller that the
// runs saw, and how the runs went. Gathered from this process for a live run
// (tools/run/run_facts.hpp), read back from the JSON for a saved one, so that both print alike.
#pragma once

#include <string>
#include <vector>

namespace omp_sums {

// What a build says of itself in the facts file CMake writes beside its programs.
struct build_facts {
  std::string name;      // the --build name, "" for the one default build
  std::string bin;       // the programs' directory
  std::string compiler;  // "GNU 12.2.0"; "unknown" where the directory has no facts file
  std::string profiles;  // "optimised -O3 ...; serial -O0 ..." of the plan's programs
  std::string runtimes;  // "libgomp for calibrate sum_walltime; none for sum_baseline_serial"
};

// The processors' clock as the kernel's cpufreq shows it, where it does: most virtual machines
// show none, and then the add latency across team sizes is the only measure of it.
struct frequency_range {
  double low_mhz = -1;  // -1: not said
  double high_mhz = -1;
  bool operator==(const frequency_range&) const = default;
};

struct clock_facts {
  std::vector<std::string> governors;  // the usable processors' scaling governors, each once
  int boost = -1;                      // turbo or boost: 1 on, 0 off, -1 not said
  frequency_range hardware;            // the lowest and highest clock the processors can take
  frequency_range before;              // the usable processors' clocks before the first run, lowest to highest
  frequency_range after;               // and after the last
  std::string power;                   // "mains", "battery, discharging, 54%"; "" not said
  bool operator==(const clock_facts&) const = default;
};

struct run_facts {
  std::string host;       // the node's name
  std::string processor;  // model name
  int processors_online = 0;
  std::vector<std::string> runtime_settings;  // the caller's OMP_*, GOMP_*, KMP_* as NAME=value, sorted
  std::vector<build_facts> builds;            // in the plan's order
  // What the kernel does to where pages lie: transparent huge pages' mode ("always", "madvise",
  // "never"; "" where not read), and automatic NUMA balancing (1 on, 0 off, -1 not read).
  std::string transparent_huge_pages{};
  int numa_balancing = -1;
  clock_facts clock{};
};

struct run_conditions {
  double estimated_seconds = -1;  // the plan's duration as estimated from a probe run before it
  double load_before = -1;        // load average over the minute before the first run
  double steal_percent = -1;      // CPU time the hypervisor took during the runs
  double seconds = 0;             // the whole plan, as run
  double calibration_seconds = 0;
  bool complete = true;                     // false after an interruption
  int failures = 0;                         // runs that failed, warm-ups included
  unsigned long long memory_available = 0;  // bytes the runs could have, before the first; 0: not known
  bool commands_unprobed = false;           // --dry-run: no --command ran, so their time is not known
};

// "0.80-4.20 GHz", or "" where not said.
std::string frequency_text(const frequency_range& range);

// The clock's facts for the header: governor, boost, the hardware's range and the clocks before
// the run, the power source; "" where the kernel said none of them.
std::string clock_line(const clock_facts& clock);

// The value of one runtime setting (NAME), or "" where the caller did not set it.
std::string runtime_setting(const run_facts& facts, const std::string& name);

}  // namespace omp_sums
