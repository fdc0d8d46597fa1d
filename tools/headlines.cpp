#include "tools/headlines.hpp"

#include <cstdio>

void print_headlines(const run_plan& plan, const std::vector<case_stats>& cases) {
  std::printf("What the run shows:\n");
  int said = 0;
  for (int threads : plan.threads) {
    const case_stats* packed = find_case(cases, "sum_slots_packed", threads);
    const case_stats* padded = find_case(cases, "sum_slots_padded", threads);
    if (packed == nullptr || padded == nullptr || padded->wall.median <= 0) continue;
    std::printf("- On %d thread%s, packed slots take %.2fx the time of padded slots%s.\n", threads,
                threads == 1 ? "" : "s", packed->wall.median / padded->wall.median,
                threads == 1 ? " (one thread: no line is shared)" : " (the cost of false sharing)");
    ++said;
  }
  for (int threads : plan.threads) {
    const case_stats* reduction = find_case(cases, "sum_walltime", threads);
    if (threads == 1 || reduction == nullptr || reduction->speedup < 0) continue;
    std::printf("- The reduction (sum_walltime) speeds up %.2fx from one thread to %d (ideal %d).\n",
                reduction->speedup, threads, threads);
    ++said;
  }
  const case_stats* single = find_case(cases, "sum_walltime", 1);
  if (single != nullptr) {
    std::printf("- One thread adds an element every %.3f ns: the in-order limit of one dependent\n"
                "  floating-point add per element on this machine.\n",
                single->ns_per_element_per_thread);
    if (plan.size < 1000000) {
      std::printf("  (with only %d elements the times are mostly the regions' start-up, not the adds)\n", plan.size);
    }
    ++said;
  }
  if (said == 0) std::printf("- (run sum_walltime and both slot programs to get the headlines)\n");
  std::printf("\n");
}
