// The processors' clock as the kernel's cpufreq and power-supply classes show it in sysfs, where
// they do: the governor, boost, the hardware's range, the clocks now, and the power source.
#pragma once

#include <string>
#include <vector>

#include "tools/catalog/facts.hpp"

namespace omp_sums {

// The facts of PROCESSORS (OS numbers), read from the sysfs under ROOT: "" for this machine's,
// a folder of the same shape for a test. What the kernel does not show is left unsaid.
clock_facts read_clock_facts(const std::vector<int>& processors, const std::string& root = "");

// Their clocks now, lowest to highest (scaling_cur_freq).
frequency_range current_frequencies(const std::vector<int>& processors, const std::string& root = "");

}  // namespace omp_sums
