// Facts about the machine and the process that sum_compare reports beside its figures.
#pragma once

#include <string>
#include <vector>

// "model name" of /proc/cpuinfo.
std::string processor_model();

int processors_online();

// The caller's OMP_* settings, which every run inherits, as NAME=value.
std::vector<std::string> omp_settings();

// The directory of the running executable.
std::string own_directory();
