#include "tools/analysis/sentences.hpp"
#include "tools/catalog/text.hpp"

namespace omp_sums {

headline first_touch_against_reduction(const figures& measured, int threads, int numa_nodes,
                                       const std::string& caveat) {
  const case_stats& touch = *find_case(measured.cases, program_role::first_touch, threads);
  const case_stats& reduction = *find_case(measured.cases, program_role::reduction, threads);
  const ratio_figure time = ratio_of(touch.walls, reduction.walls);
  const std::string touch_name =
      printed("On %d threads, first touch (%s) ", threads, name_of(program_role::first_touch));
  const std::string reduction_name = printed("the reduction (%s)", name_of(program_role::reduction));
  if (!has_ratio(time)) return {touch_name + "against " + reduction_name + kNoRatio};
  std::string text = touch_name + "takes " + with_interval(time) + " the time of " + reduction_name;
  if (!differs(time)) {
    text += ": " + without_effect(time, 1, "no measurable difference") + ".";
  } else if (numa_nodes < 2) {
    text += ": with one NUMA node, where the pages lie cannot be why.";
  } else {
    text += ": where a page lies was decided by the thread that stored it first" + caveat + ".";
  }
  return found(rests_on(text, time), "First touch on " + threads_text(threads) + ": ", time, "the reduction's time");
}

std::string kernel_placement_caveat(const run_facts& facts) {
  std::vector<std::string> said;
  if (facts.transparent_huge_pages == "always") {
    said.push_back(
        "transparent huge pages (always) place 2 MiB at a time, so a block's first and last pages may lie "
        "with its neighbour's");
  }
  if (facts.numa_balancing == 1) {
    said.push_back(
        "automatic NUMA balancing is on and moves pages toward the threads that read them while the runs "
        "go on");
  }
  return said.empty() ? ""
                      : "; " + joined(said, "; ") +
                            " (both are kernel settings: /sys/kernel/mm/"
                            "transparent_hugepage/enabled, /proc/sys/kernel/"
                            "numa_balancing)";
}

std::vector<headline> page_placement(const run_plan& plan, const figures& measured, int numa_nodes,
                                     const std::string& kernel_caveat) {
  std::vector<headline> said;
  for (int threads : plan.threads) {
    const case_stats* main_filled = find_case(measured.cases, program_role::main_touch, threads);
    const case_stats* team_filled = find_case(measured.cases, program_role::team_touch, threads);
    if (main_filled == nullptr || team_filled == nullptr || main_filled->local_pages_percent < 0 ||
        team_filled->local_pages_percent < 0) {
      continue;
    }
    std::string text = printed(
        "On %s, the array main filled has %.0f%% of each block's pages on the NUMA node of the thread that reads it "
        "(%s); filled by the team in the blocks it reads, %.0f%% (%s)",
        threads_text(threads).c_str(), main_filled->local_pages_percent, name_of(program_role::main_touch),
        team_filled->local_pages_percent, name_of(program_role::team_touch));
    const std::vector<run_case> cases{main_filled->c, team_filled->c};
    if (numa_nodes < 2) {
      said.push_back(of_effect({text + ": on one NUMA node every page lies beside every thread, so the pair can differ "
                                       "only by noise here."},
                               effect_kind::page_placement, "where pages lie on " + threads_text(threads), cases));
      continue;
    }
    // Where the pages lie the kernel says, whatever the scheduler did; their times say nothing then.
    if (main_filled->time_shared || team_filled->time_shared) {
      said.push_back(
          {text + kernel_caveat + "; the pair's times rest no sentence here: other work held their processors."});
      continue;
    }
    const ratio_figure time = ratio_of(team_filled->walls, main_filled->walls);
    if (!has_ratio(time)) {
      said.push_back({text + kNoRatio});
      continue;
    }
    text += "; read, the team's takes " + with_interval(time) + " the time of main's" +
            (below(time, 1)   ? ": pages beside their reader are read faster"
             : above(time, 1) ? ": slower, though its pages lie beside their readers"
                              : ": " + without_effect(time, 1, "no measurable difference")) +
            kernel_caveat + ".";
    said.push_back(found(of_effect(rests_on(text, time), effect_kind::page_placement,
                                   "where pages lie on " + threads_text(threads), cases),
                         "Team-filled pages on " + threads_text(threads) + ": ", time, "the time of main-filled ones"));
  }
  return said;
}

}  // namespace omp_sums
