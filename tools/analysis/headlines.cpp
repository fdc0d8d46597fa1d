#include "tools/analysis/headlines.hpp"

#include <algorithm>
#include <cmath>

#include "tools/analysis/references.hpp"
#include "tools/analysis/sentences.hpp"
#include "tools/catalog/text.hpp"

namespace omp_sums {

namespace {

// A case of the compared program of a role under the setting a view renumbered 0.
run_case case_of(program_role role, int threads) { return {&program_with(role), threads, 0}; }

std::vector<double> scaled(std::vector<double> values, double factor) {
  for (double& value : values) value *= factor;
  return values;
}

// What a program's time over the in-order floor leaves for OpenMP's fork, barrier and join.
std::string openmp_cost(const std::string& name, const ratio_figure& cost) {
  const char* waking = " (how much of it is waking a sleeping team shows under OMP_WAIT_POLICY=active)";
  if (above(cost, 2)) {
    return "; " + name + " takes " + with_interval(cost) + " that floor: OpenMP's fork, barrier and join dominate" +
           waking;
  }
  if (above(cost, 1)) {
    return printed("; OpenMP's fork, barrier and join cost the remaining %.0f%% [%.0f%%, %.0f%%]",
                   100 * (cost.ratio - 1), 100 * (cost.ci.low - 1), 100 * (cost.ci.high - 1)) +
           waking;
  }
  if (below(cost, 1)) {
    return printed("; %s beats that floor by %.0f%% [%.0f%%, %.0f%%]", name.c_str(), 100 * (1 - cost.ratio),
                   100 * (1 - cost.ci.high), 100 * (1 - cost.ci.low));
  }
  return "; OpenMP's fork, barrier and join cost nothing measurable on top";
}

// Speed-up of a program (the reduction, or a command) against the speed-up of plain in-order
// streams, and what it loses beyond them against the runtime's fork, barrier and join.
headline program_scaling(const figures& measured, const program_description& program, int threads, int processors) {
  const case_stats& one = *find_case(measured.cases, program, 1);
  const case_stats& team = *find_case(measured.cases, program, threads);
  const std::string name(program.name);
  const ratio_figure speedup = ratio_of(one.walls, team.walls);
  if (!has_ratio(speedup)) return {printed("%s, %d threads against 1 thread", name.c_str(), threads) + kNoRatio};
  std::string text =
      printed("%s, %d threads: ", name.c_str(), threads) + with_interval(speedup) +
      (above(speedup, 1)   ? " faster than 1 thread"
       : below(speedup, 1) ? " the speed of 1 thread: slower"
                           : " the speed of 1 thread: " + without_effect(speedup, 1, "no measurable difference"));
  if (threads > processors) {
    text += printed(" (%d threads on %d processors: oversubscribed, ideal %d)", threads, processors, processors);
  }
  const floor_stats* floor_one = find_floor(measured.floors, floor_kind::inorder_streams, 1);
  const floor_stats* floor_team = find_floor(measured.floors, floor_kind::inorder_streams, threads);
  if (floor_one != nullptr && floor_team != nullptr) {
    const ratio_figure plain = ratio_of(floor_one->values, floor_team->values);
    if (has_ratio(plain))
      text += printed("; %d plain in-order streams on this machine manage ", threads) + with_interval(plain);
  }
  // The reduction's time over the in-order floor is what OpenMP adds to plain streams; a
  // command does other work per element than an in-order sum, so its loss is read against ideal
  // scaling of its own one-thread time instead.
  if (program.role == program_role::command) {
    const int ideal = std::min(threads, processors);
    const ratio_figure cost = ratio_of(team.walls, scaled(one.walls, 1.0 / ideal));
    if (has_ratio(cost)) text += "; it takes " + with_interval(cost) + " the time of ideal scaling from its one thread";
    headline said = rests_on(text + ".", speedup);
    read_against_openmp_constructs(measured, threads, cost, one.wall.median / ideal, "ideal scaling", said);
    return of_speeds(found(said, printed("%s on %s: ", name.c_str(), threads_text(threads).c_str()), speedup,
                           "the speed of 1 thread"));
  }
  if (floor_team != nullptr) {
    const ratio_figure cost = ratio_of(team.walls, floor_team->values);
    if (has_ratio(cost)) text += openmp_cost(name, cost);
    headline said = rests_on(text + ".", speedup);
    read_against_openmp_constructs(measured, threads, cost, floor_team->median, "the floor", said);
    return of_speeds(found(said, printed("%s on %s: ", name.c_str(), threads_text(threads).c_str()), speedup,
                           "the speed of 1 thread"));
  }
  return of_speeds(found(rests_on(text + ".", speedup),
                         printed("%s on %s: ", name.c_str(), threads_text(threads).c_str()), speedup,
                         "the speed of 1 thread"));
}

// The in-order cost of one element against the add latency, and against reading it unordered.
std::vector<headline> inorder_cost(const figures& measured) {
  const case_stats& one = *find_case(measured.cases, program_role::reduction, 1);
  const double elements = static_cast<double>(one.elements);
  const floor_stats* add = find_floor(measured.floors, floor_kind::add_latency, 1);
  const floor_stats* inorder = find_floor(measured.floors, floor_kind::inorder_streams, 1);
  const floor_stats* bandwidth = find_floor(measured.floors, floor_kind::read_bandwidth, 1);
  std::vector<headline> said;
  if (add != nullptr) {
    const ratio_figure per_add = ratio_of(scaled(one.walls, 1e9 / elements), add->values);
    // Within 15% of the latency, either way, the adds alone account for the time.
    const bool as_the_adds = has_ratio(per_add) && per_add.precise && per_add.ci.low >= 0.85 && per_add.ci.high <= 1.15;
    if (!has_ratio(per_add)) {
      said.push_back({std::string("One thread's in-order sum against the latency of one dependent add") + kNoRatio});
    } else {
      said.push_back(found(
          rests_on(printed("One thread sums in order at %.3f ns per element, ", one.ns_per_element_per_thread) +
                       with_interval(per_add) + printed(" the latency of one dependent add (%.3f ns)", add->median) +
                       (above(per_add, 1.15)   ? ": more than the adds alone cost."
                        : as_the_adds          ? ": each add waits for the one before."
                        : below(per_add, 0.85) ? ": less than one add's latency, so the adds overlap."
                                               : ": this run cannot tell whether more than the adds costs."),
                   per_add),
          "One thread's in-order sum: ", per_add, "the latency of one add per element"));
    }
  }
  if (inorder != nullptr && bandwidth != nullptr) {
    // GB/s back to seconds for the whole array: 8 bytes an element.
    std::vector<double> read_seconds = bandwidth->values;
    for (double& value : read_seconds) value = 8.0 * elements / value * 1e-9;
    const ratio_figure faster = ratio_of(inorder->values, read_seconds);
    const std::string speed = printed(" (%.1f GB/s)", bandwidth->median);
    if (!has_ratio(faster)) {
      said.push_back({std::string("A reassociated, vectorised sum against the in-order sum") + kNoRatio});
    } else if (above(faster, 1)) {
      said.push_back(
          of_speeds(found(rests_on("A reassociated, vectorised sum reads the array " + with_interval(faster) +
                                       " faster than in order" + speed + ": the price of a bit-exact, order-fixed sum.",
                                   faster),
                          "A reassociated sum: ", faster, "the speed of the in-order one")));
    } else {
      said.push_back(of_speeds(
          found(rests_on("A reassociated, vectorised sum reads the array at " + with_interval(faster) +
                             " the speed of the in-order sum" + speed +
                             (below(faster, 1) ? ": slower, so in this run the fixed order costs nothing."
                                               : ": " + without_effect(faster, 1, "no measurable difference") + "."),
                         faster),
                "A reassociated sum: ", faster, "the speed of the in-order one")));
    }
  }
  return said;
}

// Packed against padded slots, and the extra cost per element against one hand-over of a line.
headline false_sharing(const figures& measured, int threads, bool per_element) {
  const case_stats& packed = *find_case(measured.cases, program_role::packed_slots, threads);
  const case_stats& padded = *find_case(measured.cases, program_role::padded_slots, threads);
  const ratio_figure slower = ratio_of(packed.walls, padded.walls);
  const std::string on = printed("On %d thread%s, packed slots ", threads, threads == 1 ? "" : "s");
  if (!has_ratio(slower)) return {on + "against padded slots" + kNoRatio};
  std::string text = on + "take " + with_interval(slower) + " the time of padded slots";
  if (threads == 1) {
    text += differs(slower)
                ? " (one thread shares no line)."
                : ": " + without_effect(slower, 1, "no measurable difference") + " (one thread shares no line).";
  } else if (below(slower, 1)) {
    text += ": packed slots are faster, so no cost of false sharing shows in this run.";
  } else if (!above(slower, 1)) {
    text += ": " + without_effect(slower, 1, "no cost of false sharing shows in this run") + ".";
  } else {
    text += ": the cost of false sharing.";
    const floor_stats* transfer = find_floor(measured.floors, floor_kind::line_transfer, threads);
    const double extra_ns =
        (packed.wall.median - padded.wall.median) * threads / static_cast<double>(packed.elements) * 1e9;
    if (per_element && transfer != nullptr && extra_ns > 0) {
      text += printed(
          " Each element costs each thread %.1f ns more: as much as if the shared line changed hands "
          "once every %.0f elements (a hand-over takes %.0f ns).",
          extra_ns, transfer->median / extra_ns, transfer->median);
    }
  }
  headline said = rests_on(text, slower);
  read_against_plain_threads(measured, threads, slower, said);
  return found(said, "Packed slots on " + threads_text(threads) + ": ", slower, "the time of padded ones");
}

// The padded slots against the in-order floor: what keeping the running sum in memory costs.
headline slot_price(const figures& measured) {
  const case_stats& padded = *find_case(measured.cases, program_role::padded_slots, 1);
  const ratio_figure price =
      ratio_of(padded.walls, find_floor(measured.floors, floor_kind::inorder_streams, 1)->values);
  if (!has_ratio(price)) return {std::string("On 1 thread, padded slots against the in-order floor") + kNoRatio};
  return found(
      rests_on(
          "On 1 thread, padded slots take " + with_interval(price) + " the in-order floor" +
              (above(price, 1) ? ": the price of a running sum kept in memory, a load and a store per element."
               : below(price, 1)
                   ? ": less than the floor, so a running sum kept in memory costs nothing here."
                   : ": " + without_effect(price, 1, "a running sum kept in memory costs nothing measurable") + "."),
          price),
      "Padded slots on 1 thread: ", price, "the in-order floor");
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

std::vector<headline> one_setting(const run_plan& plan, const figures& measured, const array_size& size, int processors,
                                  int numa_nodes, const std::string& caveat) {
  std::vector<headline> said;
  const case_stats* reduction_one = find_case(measured.cases, program_role::reduction, 1);
  const bool long_enough = reduction_one == nullptr || reduction_one->wall.median >= 1e-3;
  for (int threads : plan.threads) {
    if (threads > 1 && reduction_one != nullptr &&
        find_case(measured.cases, program_role::reduction, threads) != nullptr) {
      said.push_back(of_effect(program_scaling(measured, program_with(program_role::reduction), threads, processors),
                               effect_kind::openmp_cost, "scaling on " + threads_text(threads),
                               {case_of(program_role::reduction, 1), case_of(program_role::reduction, threads)}));
    }
  }
  // Each command's scaling, read as the reduction's is.
  if (plan.commands) {
    for (const command_program& command : *plan.commands) {
      const program_description& program = command.described;
      for (int threads : plan.threads) {
        if (threads > 1 && find_case(measured.cases, program, 1) != nullptr &&
            find_case(measured.cases, program, threads) != nullptr) {
          said.push_back(of_effect(program_scaling(measured, program, threads, processors), effect_kind::openmp_cost,
                                   command.wanted.name + " scaling on " + threads_text(threads),
                                   {{&program, 1, 0}, {&program, threads, 0}}));
        }
      }
    }
  }
  if (reduction_one != nullptr && long_enough) {
    for (headline& sentence : inorder_cost(measured)) {
      // The fixed order's price rests on the calibration's floors alone.
      const bool of_the_adds = sentence.text.starts_with("One thread");
      said.push_back(
          of_effect(sentence, effect_kind::inorder_cost, of_the_adds ? "the adds' latency" : "the fixed order",
                    of_the_adds ? std::vector{case_of(program_role::reduction, 1)} : std::vector<run_case>{}));
    }
  }
  for (int threads : plan.threads) {
    if (threads > 1 && find_case(measured.cases, program_role::first_touch, threads) != nullptr &&
        find_case(measured.cases, program_role::reduction, threads) != nullptr) {
      said.push_back(
          of_effect(first_touch_against_reduction(measured, threads, numa_nodes, caveat), effect_kind::first_touch,
                    "first touch on " + threads_text(threads),
                    {case_of(program_role::first_touch, threads), case_of(program_role::reduction, threads)}));
    }
  }
  for (int threads : plan.threads) {
    if (find_case(measured.cases, program_role::packed_slots, threads) != nullptr &&
        find_case(measured.cases, program_role::padded_slots, threads) != nullptr) {
      said.push_back(
          of_effect(false_sharing(measured, threads, long_enough), effect_kind::false_sharing,
                    "false sharing on " + threads_text(threads),
                    {case_of(program_role::packed_slots, threads), case_of(program_role::padded_slots, threads)}));
    }
  }
  if (find_case(measured.cases, program_role::padded_slots, 1) != nullptr &&
      find_floor(measured.floors, floor_kind::inorder_streams, 1) != nullptr) {
    said.push_back(of_effect(slot_price(measured), effect_kind::slot_price, "the slots' price",
                             {case_of(program_role::padded_slots, 1)}));
  }
  if (!long_enough) {
    // An array sized for a cache is this short by design: the sizes' own headlines read it.
    said.push_back(
        {printed("The timed intervals are below 1 ms (%s on 1 thread: %.3f ms): start-up "
                 "dominates them, so no figure per element is given; %s",
                 name_of(program_role::reduction), reduction_one->wall.median * 1e3,
                 size.level > 0 && size.name != "DRAM" ? "an array within a cache is that short; the read bandwidth "
                                                         "across sizes shows what the cache does."
                                                       : "raise --size.")});
  }
  return said;
}

}  // namespace

std::vector<headline> headlines(const run_plan& plan, const figures& all_measured, int processors, int numa_nodes,
                                const run_facts& facts, int core_kinds) {
  // No sentence rests on a time-shared case, but where its pages lie: that is the kernel's answer.
  const figures measured = without_time_shared(all_measured);
  std::vector<headline> said;
  const std::string caveat = numa_nodes >= 2 ? kernel_placement_caveat(facts) : "";
  for (int setting = 0; setting < static_cast<int>(plan.settings.size()); ++setting) {
    const std::string label = setting_label(plan.settings[static_cast<std::size_t>(setting)]);
    const array_size& size = size_named(plan, plan.settings[static_cast<std::size_t>(setting)].size);
    std::vector<headline> sentences =
        one_setting(plan, under_setting(measured, setting), size, processors, numa_nodes, caveat);
    for (headline& sentence : page_placement(plan, under_setting(all_measured, setting), numa_nodes, caveat))
      sentences.push_back(sentence);
    for (headline sentence : sentences) {
      for (run_case& c : sentence.cases) c.setting = setting;
      said.push_back(under_label(sentence, label));
    }
  }
  for (const headline& sentence : across_settings(plan, measured)) said.push_back(sentence);
  for (const headline& sentence : across_sizes(plan, measured)) said.push_back(sentence);
  for (const headline& sentence : clock_against_team(plan, measured, processors, core_kinds)) said.push_back(sentence);
  if (plan.threads.back() > processors) {
    said.push_back(
        {printed("Teams of more than %d threads are oversubscribed: this process may use %d processors, so "
                 "their threads take turns.",
                 processors, processors)});
  }
  return said;
}

}  // namespace omp_sums
