#include "common/pages.hpp"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

int node_of_this_thread() {
  unsigned cpu = 0;
  unsigned node = 0;
  if (syscall(SYS_getcpu, &cpu, &node, nullptr) == -1) return -1;
  return static_cast<int>(node);
}

double percent_of_pages_on(const double* begin, const double* end, int node) {
  const std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const std::uintptr_t first = reinterpret_cast<std::uintptr_t>(begin) / page * page;
  const std::uintptr_t last = reinterpret_cast<std::uintptr_t>(end);
  if (begin >= end) return 100.0;
  // The kernel is asked a batch of pages at a time: one call for a whole array would need its
  // status array as large as the page list.
  constexpr std::uintptr_t kBatch = 1024;
  std::vector<void*> pages;
  std::vector<int> status;
  long on_node = 0;
  long counted = 0;
  for (std::uintptr_t at = first; at < last;) {
    pages.clear();
    for (; at < last && pages.size() < kBatch; at += page) pages.push_back(reinterpret_cast<void*>(at));
    status.assign(pages.size(), -1);
    if (syscall(SYS_move_pages, 0, pages.size(), pages.data(), nullptr, status.data(), 0) != 0) return -1;
    for (int where : status) on_node += where == node ? 1 : 0;
    counted += static_cast<long>(pages.size());
  }
  return 100.0 * static_cast<double>(on_node) / static_cast<double>(counted);
}
