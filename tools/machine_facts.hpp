// Facts about the machine and the process that sum_compare reports beside its figures.
#pragma once

#include <string>
#include <vector>

// "model name" of /proc/cpuinfo.
std::string processor_model();

int processors_online();

// The processors this process may run on: its affinity mask (narrowed by taskset, cgroups...).
std::vector<int> allowed_processors();

// "0-3,6" for {0, 1, 2, 3, 6}.
std::string processor_list(const std::vector<int>& processors);

// Every OMP_*, GOMP_* and KMP_* variable of the caller's, which every run inherits, as
// NAME=value, sorted.
std::vector<std::string> runtime_settings();

// The directory of the running executable.
std::string own_directory();
