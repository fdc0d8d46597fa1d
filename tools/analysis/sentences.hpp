// The pieces every headline is made of, shared by the files that write them.
#pragma once

#include <string>

#include "tools/analysis/aggregate.hpp"
#include "tools/analysis/headline.hpp"
#include "tools/analysis/ratios.hpp"
#include "tools/catalog/facts.hpp"
#include "tools/catalog/plan.hpp"

namespace omp_sums {

// The name of the compared program of a role, for the sentences.
inline const char* name_of(program_role role) { return program_with(role).name.data(); }

// What is said in place of a ratio that a median of 0 s leaves undefined.
inline constexpr const char* kNoRatio =
    ": no ratio (a median time is 0 s, below what the clock resolves; raise --size).";

inline headline rests_on(std::string text, const ratio_figure& figure) {
  if (!has_ratio(figure)) return {std::move(text)};
  headline said{std::move(text), figure.ratio, figure.ci, differs(figure), figure.precise, read_against(figure, 1)};
  if (said.reads == reading::cannot_tell) said.untold = why_untold(figure);
  return said;
}

// The headline of an effect, with what it is about and the cases it rests on.
inline headline of_effect(headline said, effect_kind effect, std::string about, std::vector<run_case> cases) {
  said.effect = effect;
  said.about = std::move(about);
  said.cases = std::move(cases);
  return said;
}

// A headline whose ratio is of speeds.
inline headline of_speeds(headline said) {
  said.of_speeds = true;
  return said;
}

// A headline with its short finding: "LEAD" and the ratio with its interval, then "WHAT".
inline headline found(headline said, const std::string& lead, const ratio_figure& figure, const std::string& what) {
  if (said.ratio >= 0) said.finding = lead + with_interval(figure) + " " + what;
  return said;
}

// A headline about the cases under LABEL (a setting's, a group's), which leads its sentences.
inline headline under_label(headline said, const std::string& label) {
  if (label.empty()) return said;
  said.text = "[" + label + "] " + said.text;
  if (!said.finding.empty()) said.finding = "[" + label + "] " + said.finding;
  said.about += " under " + label;
  return said;
}

// "1 thread", "4 threads".
inline std::string threads_text(int threads) {
  return std::to_string(threads) + (threads == 1 ? " thread" : " threads");
}

// Each program, and the fork/join the reduction pays, on the largest team under every setting
// (another build, other --env values) against the first setting at the same size.
std::vector<headline> across_settings(const run_plan& plan, const figures& measured);

// The plan's settings that differ by size alone, in groups, each in the plan's order.
std::vector<std::vector<int>> size_groups(const run_plan& plan);

// A group's label: its settings' build and --env values, without the size ("" for the default).
std::string group_label(const run_plan& plan, const std::vector<int>& group);

// Across the sizes of each group, on the largest team: the read bandwidth, and the reduction's
// time per element.
std::vector<headline> across_sizes(const run_plan& plan, const figures& measured);

// The add latency of each team against one thread's, over every size of a group: the clock a
// team gets, and the share of the reduction's missing speed-up that it accounts for. Teams of
// more threads than `processors` take turns, which is no clock; over several `core_kinds` part
// of it may be the kinds'.
std::vector<headline> clock_against_team(const run_plan& plan, const figures& measured, int processors, int core_kinds);

// First touch against the reduction on a team: over several NUMA nodes a page lies where the
// thread that stored it first ran (CAVEAT: what the kernel does to that, or "").
headline first_touch_against_reduction(const figures& measured, int threads, int numa_nodes, const std::string& caveat);

// What the kernel does that can move or coarsen where first touch puts pages (transparent huge
// pages always on, automatic NUMA balancing), as a clause to append; "" where neither.
std::string kernel_placement_caveat(const run_facts& facts);

// The pair that fills the array by main or by the team: the share of each block's pages beside
// its reader for both and, over several NUMA nodes, the team's time over main's unless either
// case was time-shared; on one setting.
std::vector<headline> page_placement(const run_plan& plan, const figures& measured, int numa_nodes,
                                     const std::string& kernel_caveat);

}  // namespace omp_sums
