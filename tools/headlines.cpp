#include "tools/headlines.hpp"

#include <algorithm>
#include <cmath>

#include "tools/program_output.hpp"

namespace {

struct ratio_figure {
  double ratio;
  interval ci;
  bool supported;  // the interval excludes 1
};

// median(numerator) / median(denominator), with its bootstrap interval.
ratio_figure ratio_of(const std::vector<double>& numerator, const std::vector<double>& denominator) {
  const double ratio = summarise(numerator).median / summarise(denominator).median;
  const interval ci = ratio_interval(numerator, denominator);
  return {ratio, ci, ci.low > 1.0 || ci.high < 1.0};
}

std::string with_interval(const ratio_figure& figure) {
  return printed("%.2fx [%.2f, %.2f]", figure.ratio, figure.ci.low, figure.ci.high);
}

headline rests_on(std::string text, const ratio_figure& figure) {
  // A zero time (a clock too coarse for the interval) gives no ratio to rest on.
  if (!std::isfinite(figure.ratio) || !std::isfinite(figure.ci.low) || !std::isfinite(figure.ci.high)) {
    return {std::move(text)};
  }
  return {std::move(text), figure.ratio, figure.ci, figure.supported};
}

std::vector<double> scaled(std::vector<double> values, double factor) {
  for (double& value : values) value *= factor;
  return values;
}

// Speed-up of the reduction against the speed-up of plain in-order streams, and what the
// runtime's fork, barrier and join cost on top of the floor.
headline reduction_scaling(const figures& measured, int threads, int processors) {
  const case_stats& one = *find_case(measured.cases, "sum_walltime", 1);
  const case_stats& team = *find_case(measured.cases, "sum_walltime", threads);
  const ratio_figure speedup = ratio_of(one.walls, team.walls);
  std::string text = printed("sum_walltime, %d threads: ", threads);
  if (!speedup.supported) {
    text += with_interval(speedup) + " the speed of 1 thread: no measurable difference";
  } else {
    text += with_interval(speedup) + (speedup.ratio > 1 ? " faster than 1 thread" : " the speed of 1 thread: slower");
  }
  if (threads > processors) {
    text += printed(" (%d threads on %d processors: oversubscribed, ideal %d)", threads, processors, processors);
  }
  const floor_stats* floor_one = find_floor(measured.floors, floor_kind::inorder_streams, 1);
  const floor_stats* floor_team = find_floor(measured.floors, floor_kind::inorder_streams, threads);
  if (floor_one != nullptr && floor_team != nullptr) {
    const ratio_figure plain = ratio_of(floor_one->values, floor_team->values);
    const ratio_figure cost = ratio_of(team.walls, floor_team->values);
    text += printed("; %d plain in-order streams on this machine manage ", threads) + with_interval(plain);
    if (!cost.supported) {
      text += "; OpenMP's fork, barrier and join cost nothing measurable on top";
    } else if (cost.ratio > 2) {
      text += "; the reduction takes " + with_interval(cost) +
              " that floor: OpenMP's fork, barrier and join dominate (how much of it is waking a sleeping team shows "
              "under OMP_WAIT_POLICY=active)";
    } else if (cost.ratio > 1) {
      text += printed("; OpenMP's fork, barrier and join cost the remaining %.0f%% [%.0f%%, %.0f%%] (how much of it "
                      "is waking a sleeping team shows under OMP_WAIT_POLICY=active)",
                      100 * (cost.ratio - 1), 100 * (cost.ci.low - 1), 100 * (cost.ci.high - 1));
    } else {
      text += printed("; the reduction beats that floor by %.0f%%", 100 * (1 - cost.ratio));
    }
  }
  return rests_on(text + ".", speedup);
}

// The in-order cost of one element against the add latency, and against reading it unordered.
std::vector<headline> inorder_cost(const run_plan& plan, const figures& measured) {
  const case_stats& one = *find_case(measured.cases, "sum_walltime", 1);
  const floor_stats* add = find_floor(measured.floors, floor_kind::add_latency, 1);
  const floor_stats* inorder = find_floor(measured.floors, floor_kind::inorder_streams, 1);
  const floor_stats* bandwidth = find_floor(measured.floors, floor_kind::read_bandwidth, 1);
  std::vector<headline> said;
  if (add != nullptr) {
    const ratio_figure per_add = ratio_of(scaled(one.walls, 1e9 / plan.size), add->values);
    said.push_back(rests_on(
        printed("One thread sums in order at %.3f ns per element, ", one.ns_per_element_per_thread) +
            with_interval(per_add) + printed(" the latency of one dependent add (%.3f ns)", add->median) +
            (per_add.ratio < 1.15 ? ": each add waits for the one before." : ": more than the adds alone cost."),
        per_add));
  }
  if (inorder != nullptr && bandwidth != nullptr) {
    // GB/s back to seconds for the whole array: 8 bytes an element.
    std::vector<double> read_seconds = bandwidth->values;
    for (double& value : read_seconds) value = 8.0 * plan.size / value * 1e-9;
    const ratio_figure faster = ratio_of(inorder->values, read_seconds);
    said.push_back(rests_on(printed("A reassociated, vectorised sum reads the array ") + with_interval(faster) +
                                printed(" faster than in order (%.1f GB/s): the price of a bit-exact, order-fixed sum.",
                                        bandwidth->median),
                            faster));
  }
  return said;
}

// Packed against padded slots, and the extra cost per element against one hand-over of a line.
headline false_sharing(const run_plan& plan, const figures& measured, int threads, bool per_element) {
  const case_stats& packed = *find_case(measured.cases, "sum_slots_packed", threads);
  const case_stats& padded = *find_case(measured.cases, "sum_slots_padded", threads);
  const ratio_figure slower = ratio_of(packed.walls, padded.walls);
  std::string text = printed("On %d thread%s, packed slots take ", threads, threads == 1 ? "" : "s") +
                     with_interval(slower) + " the time of padded slots";
  if (threads == 1) {
    text += slower.supported ? " (one thread shares no line)." : ": no measurable difference (one thread shares no line).";
  } else if (!slower.supported || slower.ratio < 1) {
    text += ": no cost of false sharing shows in this run.";
  } else {
    text += ": the cost of false sharing.";
    const floor_stats* transfer = find_floor(measured.floors, floor_kind::line_transfer, threads);
    const double extra_ns = (packed.wall.median - padded.wall.median) * threads / plan.size * 1e9;
    if (per_element && transfer != nullptr && extra_ns > 0) {
      text += printed(" Each element costs each thread %.1f ns more: as much as if the shared line changed hands "
                      "once every %.0f elements (a hand-over takes %.0f ns).",
                      extra_ns, transfer->median / extra_ns, transfer->median);
    }
  }
  return rests_on(text, slower);
}

// The padded slots against the in-order floor: what keeping the running sum in memory costs.
headline slot_price(const figures& measured) {
  const case_stats& padded = *find_case(measured.cases, "sum_slots_padded", 1);
  const ratio_figure price = ratio_of(padded.walls, find_floor(measured.floors, floor_kind::inorder_streams, 1)->values);
  return rests_on("On 1 thread, padded slots take " + with_interval(price) +
                      " the in-order floor: the price of a running sum kept in memory, a load and a store per element.",
                  price);
}

// First touch against the reduction: with the threads spread over NUMA nodes, only first touch
// keeps each thread's block on its own node.
headline first_touch_against_reduction(const figures& measured, int threads, int numa_nodes) {
  const case_stats& touch = *find_case(measured.cases, "sum_first_touch", threads);
  const case_stats& reduction = *find_case(measured.cases, "sum_walltime", threads);
  const ratio_figure time = ratio_of(touch.walls, reduction.walls);
  std::string text = printed("On %d threads, first touch (sum_first_touch) takes ", threads) + with_interval(time) +
                     " the time of the reduction (sum_walltime)";
  if (!time.supported) {
    text += ": no measurable difference.";
  } else if (numa_nodes < 2) {
    text += ": with one NUMA node, where the pages lie cannot be why.";
  } else {
    text += time.ratio < 1 ? ": as if each thread read blocks it placed on its own node." : ".";
  }
  return rests_on(text, time);
}

// The cases and floors under one setting, renumbered as setting 0.
figures under_setting(const figures& measured, int setting) {
  figures view;
  for (const case_stats& c : measured.cases) {
    if (c.c.setting != setting) continue;
    view.cases.push_back(c);
    view.cases.back().c.setting = 0;
  }
  for (const floor_stats& f : measured.floors) {
    if (f.setting != setting) continue;
    view.floors.push_back(f);
    view.floors.back().setting = 0;
  }
  return view;
}

std::vector<headline> one_setting(const run_plan& plan, const figures& measured, int processors, int numa_nodes) {
  std::vector<headline> said;
  const case_stats* reduction_one = find_case(measured.cases, "sum_walltime", 1);
  const bool long_enough = reduction_one == nullptr || reduction_one->wall.median >= 1e-3;
  for (int threads : plan.threads) {
    if (threads > 1 && reduction_one != nullptr && find_case(measured.cases, "sum_walltime", threads) != nullptr) {
      said.push_back(reduction_scaling(measured, threads, processors));
    }
  }
  if (reduction_one != nullptr && long_enough) {
    for (headline& sentence : inorder_cost(plan, measured)) said.push_back(sentence);
  }
  for (int threads : plan.threads) {
    if (threads > 1 && find_case(measured.cases, "sum_first_touch", threads) != nullptr &&
        find_case(measured.cases, "sum_walltime", threads) != nullptr) {
      said.push_back(first_touch_against_reduction(measured, threads, numa_nodes));
    }
  }
  for (int threads : plan.threads) {
    if (find_case(measured.cases, "sum_slots_packed", threads) != nullptr &&
        find_case(measured.cases, "sum_slots_padded", threads) != nullptr) {
      said.push_back(false_sharing(plan, measured, threads, long_enough));
    }
  }
  if (find_case(measured.cases, "sum_slots_padded", 1) != nullptr &&
      find_floor(measured.floors, floor_kind::inorder_streams, 1) != nullptr) {
    said.push_back(slot_price(measured));
  }
  if (!long_enough) {
    said.push_back({printed("The timed intervals are below 1 ms (sum_walltime on 1 thread: %.3f ms): start-up "
                            "dominates them, so no figure per element is given; raise --size.",
                            reduction_one->wall.median * 1e3)});
  }
  return said;
}

// Each program on the largest team under every setting against the first setting.
std::vector<headline> across_settings(const run_plan& plan, const figures& measured) {
  std::vector<headline> said;
  const int threads = plan.threads.back();
  for (const char* name : {"sum_walltime", "sum_first_touch", "sum_slots_packed", "sum_slots_padded"}) {
    const case_stats* first = find_case(measured.cases, name, threads, 0);
    if (first == nullptr) continue;
    for (int setting = 1; setting < static_cast<int>(plan.settings.size()); ++setting) {
      const case_stats* other = find_case(measured.cases, name, threads, setting);
      if (other == nullptr) continue;
      const ratio_figure time = ratio_of(other->walls, first->walls);
      said.push_back(rests_on(printed("%s on %d threads takes ", name, threads) + with_interval(time) + " the time under " +
                                  setting_label(plan.settings[static_cast<std::size_t>(setting)]) + " that it takes under " +
                                  setting_label(plan.settings[0]) +
                                  (time.supported ? "." : ": no measurable difference."),
                              time));
    }
  }
  return said;
}

}  // namespace

std::vector<headline> headlines(const run_plan& plan, const figures& measured, int processors, int numa_nodes) {
  std::vector<headline> said;
  for (int setting = 0; setting < static_cast<int>(plan.settings.size()); ++setting) {
    const std::string label = setting_label(plan.settings[static_cast<std::size_t>(setting)]);
    for (headline sentence : one_setting(plan, under_setting(measured, setting), processors, numa_nodes)) {
      if (!label.empty()) sentence.text = "[" + label + "] " + sentence.text;
      said.push_back(sentence);
    }
  }
  for (const headline& sentence : across_settings(plan, measured)) said.push_back(sentence);
  if (plan.threads.back() > processors) {
    said.push_back({printed("Teams of more than %d threads are oversubscribed: this process may use %d processors, so "
                            "their threads take turns.", processors, processors)});
  }
  return said;
}
