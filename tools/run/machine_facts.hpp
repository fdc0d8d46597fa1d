// Facts about the machine and the process that sum_compare reports beside its figures.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace omp_sums {

// "model name" of /proc/cpuinfo.
std::string processor_model();

int processors_online();

// Every OMP_*, GOMP_* and KMP_* variable of the caller's, which every run inherits, as
// NAME=value, sorted.
std::vector<std::string> runtime_settings();

// The load average over the last minute (/proc/loadavg), or -1.
double load_average();

// The machine's CPU time so far, all of it and what the hypervisor stole from it (/proc/stat).
struct cpu_time {
  unsigned long long total = 0;
  unsigned long long steal = 0;
};
cpu_time cpu_time_so_far();

// The share of CPU time stolen between two readings, in percent, or -1 when unknown.
double steal_percent(const cpu_time& before, const cpu_time& after);

// The memory this process can have now, in bytes: the kernel's MemAvailable, or less where a
// cgroup's limit (of its own group or one above it) leaves less; 0 where neither is known.
unsigned long long memory_available(const std::string& root = "");

// The directory of the running executable.
std::string own_directory();

// The columns of the terminal on `fd`; else COLUMNS; else `otherwise`.
std::size_t terminal_columns(int fd, std::size_t otherwise);

}  // namespace omp_sums
