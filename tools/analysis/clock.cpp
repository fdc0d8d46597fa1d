// The clock against the team: one dependent add takes a cycle count the processor fixes, so its
// CPU time on a team over its CPU time on one thread is the one-thread clock over the team's.
// CPU time, not the wall clock: a thread that shares its processor with other work waits for it
// in wall time, at the same clock.
#include <algorithm>
#include <cmath>

#include "tools/analysis/sentences.hpp"
#include "tools/catalog/text.hpp"

namespace omp_sums {

namespace {

// The CPU time of an add on a team size under every setting of a group, pooled: each
// calibration run measures it alike at every size. Empty where no setting has a floor of it.
std::vector<double> pooled_latency(const figures& measured, const std::vector<int>& group, int threads) {
  std::vector<double> values;
  for (int setting : group) {
    const floor_stats* latency = find_floor(measured.floors, floor_kind::add_cpu_time, threads, setting);
    if (latency != nullptr) values.insert(values.end(), latency->values.begin(), latency->values.end());
  }
  return values;
}

// The share of the reduction's missing speed-up that a clock COST accounts for: the team's time
// over ideal scaling is the clock's factor times the rest, so the share is log(cost) over
// log(time over ideal), each end of its interval from the ends of both. "" where the reduction
// lacks nothing measurable or was not run on the group's largest size.
std::string missing_speedup(const run_plan& plan, const figures& measured, const std::vector<int>& group, int threads,
                            const ratio_figure& cost, std::vector<run_case>& cases) {
  int largest = group[0];
  for (int setting : group) {
    if (elements_under(plan, setting) > elements_under(plan, largest)) largest = setting;
  }
  const case_stats* one = find_case(measured.cases, program_role::reduction, 1, largest);
  const case_stats* team = find_case(measured.cases, program_role::reduction, threads, largest);
  if (one == nullptr || team == nullptr) return {};
  const ratio_figure speedup = ratio_of(one->walls, team->walls);
  if (!has_ratio(speedup)) return {};
  cases = {one->c, team->c};
  const std::string name = name_of(program_role::reduction);
  const std::string reached = printed("%s against the ideal %d", with_interval(speedup).c_str(), threads);
  if (!below(speedup, threads)) return printed("; %s misses no measurable speed-up (", name.c_str()) + reached + ")";
  const double missing[3] = {threads / speedup.ratio, threads / speedup.ci.high, threads / speedup.ci.low};
  const auto share = [&](double clock, double lost) {
    return lost > 1 ? std::clamp(std::log(clock) / std::log(lost), 0.0, 1.0) : 1.0;
  };
  return printed(", which accounts for %.0f%% [%.0f%%, %.0f%%] of the speed-up %s misses (",
                 100 * share(cost.ratio, missing[0]), 100 * share(cost.ci.low, missing[2]),
                 100 * share(cost.ci.high, missing[1]), name.c_str()) +
         reached + ")";
}

}  // namespace

std::vector<headline> clock_against_team(const run_plan& plan, const figures& measured, int processors,
                                         int core_kinds) {
  std::vector<headline> said;
  for (const std::vector<int>& group : size_groups(plan)) {
    const std::vector<double> one = pooled_latency(measured, group, 1);
    for (int threads : plan.threads) {
      // On more threads than processors the adds take turns: no clock shows in that.
      if (threads < 2 || threads > processors) continue;
      const std::vector<double> team = pooled_latency(measured, group, threads);
      if (one.empty() || team.empty()) continue;
      const ratio_figure cost = ratio_of(team, one);
      if (!has_ratio(cost)) continue;
      std::string text = printed("On %s each dependent add took ", threads_text(threads).c_str()) +
                         with_interval(cost) + " the CPU time it took on one";
      std::vector<run_case> cases;
      if (above(cost, 1)) {
        text += printed(": the clock ran at %.2f [%.2f, %.2f] of the one-thread clock", 1 / cost.ratio,
                        1 / cost.ci.high, 1 / cost.ci.low) +
                missing_speedup(plan, measured, group, threads, cost, cases);
      } else if (below(cost, 1)) {
        text += printed(": the clock ran faster, at %.2f [%.2f, %.2f] of the one-thread clock", 1 / cost.ratio,
                        1 / cost.ci.high, 1 / cost.ci.low);
      } else {
        text += ": " + without_effect(cost, 1, "no measurable difference in the clock");
      }
      if (differs(cost) && core_kinds > 1)
        text += "; the usable processors are of several core kinds, so part of it may be the kinds'";
      headline sentence =
          of_effect(rests_on(text + ".", cost), effect_kind::clock, "the clock on " + threads_text(threads), cases);
      said.push_back(
          under_label(found(sentence, "Each add on " + threads_text(threads) + ": ", cost, "the time on one"),
                      group_label(plan, group)));
    }
  }
  return said;
}

}  // namespace omp_sums
