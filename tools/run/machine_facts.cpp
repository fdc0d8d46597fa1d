#include "tools/run/machine_facts.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tools/run/child_process.hpp"

namespace omp_sums {

std::string processor_model() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
  }
  return "unknown processor";
}

int processors_online() { return static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)); }

std::vector<std::string> runtime_settings() {
  std::vector<std::string> settings = current_environment();
  std::erase_if(settings, [](const std::string& variable) { return !is_runtime_setting(variable); });
  std::sort(settings.begin(), settings.end());
  return settings;
}

double load_average() {
  std::ifstream loadavg("/proc/loadavg");
  double load = -1;
  return loadavg >> load ? load : -1;
}

cpu_time cpu_time_so_far() {
  std::ifstream stat("/proc/stat");
  std::string label;
  cpu_time time;
  if (!(stat >> label) || label != "cpu") return time;
  // user nice system idle iowait irq softirq steal (in clock ticks); guest time is within user.
  for (int field = 0; field < 8; ++field) {
    unsigned long long ticks = 0;
    if (!(stat >> ticks)) return {};
    time.total += ticks;
    if (field == 7) time.steal = ticks;
  }
  return time;
}

double steal_percent(const cpu_time& before, const cpu_time& after) {
  if (after.total <= before.total) return -1;
  return 100.0 * static_cast<double>(after.steal - before.steal) / static_cast<double>(after.total - before.total);
}

namespace {

// A number of bytes in FILE, or 0 where it holds none ("max", missing).
unsigned long long bytes_in(const std::string& file) {
  std::ifstream in(file);
  unsigned long long bytes = 0;
  return in >> bytes ? bytes : 0;
}

}  // namespace

unsigned long long memory_available(const std::string& root) {
  unsigned long long available = 0;
  std::ifstream meminfo(root + "/proc/meminfo");
  for (std::string name; meminfo >> name;) {
    unsigned long long kib = 0;
    if (name == "MemAvailable:" && meminfo >> kib) available = kib * 1024;
    meminfo.ignore(1 << 10, '\n');
  }
  // Every group from this process's up to the root may hold a limit: cgroup v2's "0::/path",
  // or v1's memory controller, "4:memory:/path".
  std::ifstream cgroup(root + "/proc/self/cgroup");
  std::string line;
  while (std::getline(cgroup, line)) {
    const bool v2 = line.rfind("0::", 0) == 0;
    const std::size_t memory = line.find(":memory:");
    if (!v2 && memory == std::string::npos) continue;
    const std::string base = root + (v2 ? "/sys/fs/cgroup" : "/sys/fs/cgroup/memory");
    const char* limit_file = v2 ? "/memory.max" : "/memory.limit_in_bytes";
    const char* used_file = v2 ? "/memory.current" : "/memory.usage_in_bytes";
    for (std::filesystem::path group = line.substr(v2 ? 3 : memory + 8);; group = group.parent_path()) {
      const unsigned long long limit = bytes_in(base + group.string() + limit_file);
      const unsigned long long used = bytes_in(base + group.string() + used_file);
      // v1 says "no limit" with a number near 2^63.
      if (limit > 0 && limit < (1ULL << 60)) {
        const unsigned long long left = limit > used ? limit - used : 0;
        available = available == 0 ? left : std::min(available, left);
      }
      if (group.empty() || group == group.root_path()) break;
    }
  }
  return available;
}

std::string own_directory() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? "." : self.parent_path().string();
}

std::size_t terminal_columns(int fd, std::size_t otherwise) {
  winsize size{};
  if (isatty(fd) != 0 && ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  const char* columns = std::getenv("COLUMNS");
  char* end = nullptr;
  const long value = columns != nullptr ? std::strtol(columns, &end, 10) : 0;
  return columns != nullptr && *end == '\0' && value >= 40 && value <= 1000 ? static_cast<std::size_t>(value)
                                                                            : otherwise;
}

}  // namespace omp_sums
