#include "common/probes.hpp"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int get_cpu_id() {
  unsigned cpu = 0;
  if (syscall(SYS_getcpu, &cpu, nullptr, nullptr) == -1) return -1;
  return static_cast<int>(cpu);
}

int read_proc__self_stat(int field, int* value) {
  *value = 0;
  if (field < 1) return -1;
  std::FILE* file = std::fopen("/proc/self/stat", "r");
  if (file == nullptr) return -1;
  char* line = nullptr;
  std::size_t capacity = 0;
  const ssize_t length = getline(&line, &capacity, file);
  std::fclose(file);
  if (length == -1) {
    std::free(line);
    return -1;
  }

  char* save = nullptr;
  const char* token = strtok_r(line, " ", &save);
  for (int k = 1; k < field && token != nullptr; ++k) token = strtok_r(nullptr, " ", &save);
  if (token == nullptr) {  // past the last field
    std::free(line);
    return -1;
  }
  *value = static_cast<std::int32_t>(static_cast<std::uint32_t>(std::strtol(token, nullptr, 10)));
  std::free(line);
  return 0;
}

void print_placement_line(int thread) {
#pragma omp critical
  std::printf("thread %2d is running on core %2d\n", thread, get_cpu_id());
}
