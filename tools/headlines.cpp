#include "tools/headlines.hpp"

#include <algorithm>
#include <cstdio>

#include "tools/program_output.hpp"

std::vector<std::string> headlines(const run_plan& plan, const std::vector<case_stats>& cases, int processors) {
  std::vector<std::string> said;
  for (int threads : plan.threads) {
    const case_stats* packed = find_case(cases, "sum_slots_packed", threads);
    const case_stats* padded = find_case(cases, "sum_slots_padded", threads);
    if (packed == nullptr || padded == nullptr || padded->wall.median <= 0) continue;
    const double ratio = packed->wall.median / padded->wall.median;
    const char* meaning = threads == 1  ? " (one thread: no line is shared)"
                          : ratio > 1.0 ? " (the cost of false sharing)"
                                        : " (no cost of false sharing shows in this run)";
    said.push_back(printed("On %d thread%s, packed slots take %.2fx the time of padded slots%s.", threads,
                           threads == 1 ? "" : "s", ratio, meaning));
  }
  for (int threads : plan.threads) {
    const case_stats* reduction = find_case(cases, "sum_walltime", threads);
    if (threads == 1 || reduction == nullptr || reduction->speedup < 0) continue;
    if (threads > processors) {
      said.push_back(printed("The reduction (sum_walltime) speeds up %.2fx from one thread to %d: %d threads on %d "
                             "processors are oversubscribed (ideal %d).",
                             reduction->speedup, threads, threads, processors, processors));
    } else {
      said.push_back(printed("The reduction (sum_walltime) speeds up %.2fx from one thread to %d (ideal %d).",
                             reduction->speedup, threads, threads));
    }
  }
  const case_stats* single = find_case(cases, "sum_walltime", 1);
  if (single != nullptr) {
    std::string sentence = printed("One thread adds an element every %.3f ns: the in-order limit of one dependent\n"
                                   "  floating-point add per element on this machine.",
                                   single->ns_per_element_per_thread);
    if (plan.size < 1000000) {
      sentence += printed("\n  (with only %d elements the times are mostly the regions' start-up, not the adds)", plan.size);
    }
    said.push_back(sentence);
  }
  return said;
}

void print_headlines(const std::vector<std::string>& sentences) {
  std::printf("What the run shows:\n");
  for (const std::string& sentence : sentences) std::printf("- %s\n", sentence.c_str());
  if (sentences.empty()) std::printf("- (run sum_walltime and both slot programs to get the headlines)\n");
  std::printf("\n");
}
