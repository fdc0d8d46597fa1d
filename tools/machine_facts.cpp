#include "tools/machine_facts.hpp"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

extern char** environ;

std::string processor_model() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
  }
  return "unknown processor";
}

int processors_online() { return static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)); }

std::vector<std::string> omp_settings() {
  std::vector<std::string> settings;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string variable = *entry;
    if (variable.rfind("OMP_", 0) == 0 && variable.rfind("OMP_NUM_THREADS=", 0) != 0) settings.push_back(variable);
  }
  std::sort(settings.begin(), settings.end());
  return settings;
}

std::string own_directory() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? "." : self.parent_path().string();
}
