#include "tools/run/clock_facts.hpp"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

namespace omp_sums {

namespace {

// The first word of a file, or "".
std::string word_of(const std::string& path) {
  std::ifstream file(path);
  std::string word;
  return file >> word ? word : "";
}

// A whole number from a file, or -1.
long long number_of(const std::string& path) {
  const std::string word = word_of(path);
  if (word.empty() || word.size() > 18 || word.find_first_not_of("0123456789") != std::string::npos) return -1;
  return std::stoll(word);
}

std::string cpufreq_of(const std::string& root, int processor) {
  return root + "/sys/devices/system/cpu/cpu" + std::to_string(processor) + "/cpufreq/";
}

// The range of one kHz figure over the processors, in MHz.
frequency_range range_of(const std::vector<int>& processors, const std::string& root, const char* low_file,
                         const char* high_file) {
  frequency_range range;
  for (int processor : processors) {
    const long long low = number_of(cpufreq_of(root, processor) + low_file);
    const long long high = number_of(cpufreq_of(root, processor) + high_file);
    if (low <= 0 || high <= 0) continue;
    range.low_mhz = range.low_mhz < 0 ? low / 1e3 : std::min(range.low_mhz, low / 1e3);
    range.high_mhz = std::max(range.high_mhz, high / 1e3);
  }
  return range;
}

// Intel's no_turbo says the opposite of the others' boost.
int boost_of(const std::vector<int>& processors, const std::string& root) {
  const long long no_turbo = number_of(root + "/sys/devices/system/cpu/intel_pstate/no_turbo");
  if (no_turbo == 0 || no_turbo == 1) return no_turbo == 1 ? 0 : 1;
  long long boost = number_of(root + "/sys/devices/system/cpu/cpufreq/boost");
  if (boost < 0 && !processors.empty()) boost = number_of(cpufreq_of(root, processors[0]) + "boost");
  return boost == 0 || boost == 1 ? static_cast<int>(boost) : -1;
}

// "mains" where a mains supply is online, else "battery, discharging, 54%"; "" where none is shown.
std::string power_of(const std::string& root) {
  std::error_code error;
  std::string battery;
  for (const auto& entry : std::filesystem::directory_iterator(root + "/sys/class/power_supply", error)) {
    const std::string path = entry.path().string() + "/";
    const std::string type = word_of(path + "type");
    if (type == "Mains" && number_of(path + "online") == 1) return "mains";
    if (type != "Battery" || !battery.empty()) continue;
    battery = "battery";
    std::ifstream file(path + "status");
    std::string status;
    std::getline(file, status);
    // The kernel's own words only: they reach every format.
    for (const char* known : {"Charging", "Discharging", "Full", "Not charging"}) {
      if (status != known) continue;
      status[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(status[0])));
      battery += ", " + status;
    }
    const long long capacity = number_of(path + "capacity");
    if (capacity >= 0 && capacity <= 100) battery += ", " + std::to_string(capacity) + "%";
  }
  return battery;
}

}  // namespace

frequency_range current_frequencies(const std::vector<int>& processors, const std::string& root) {
  return range_of(processors, root, "scaling_cur_freq", "scaling_cur_freq");
}

clock_facts read_clock_facts(const std::vector<int>& processors, const std::string& root) {
  clock_facts clock;
  for (int processor : processors) {
    const std::string governor = word_of(cpufreq_of(root, processor) + "scaling_governor");
    const bool plain = !governor.empty() && governor.size() <= 32 &&
                       std::all_of(governor.begin(), governor.end(),
                                   [](unsigned char c) { return std::isalnum(c) != 0 || c == '_' || c == '-'; });
    if (plain && std::find(clock.governors.begin(), clock.governors.end(), governor) == clock.governors.end())
      clock.governors.push_back(governor);
  }
  clock.boost = boost_of(processors, root);
  clock.hardware = range_of(processors, root, "cpuinfo_min_freq", "cpuinfo_max_freq");
  clock.before = current_frequencies(processors, root);
  clock.power = power_of(root);
  return clock;
}

}  // namespace omp_sums
