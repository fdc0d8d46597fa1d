// The headlines across the array's sizes: what the caches do to the read bandwidth and to the
// reduction's time per element.
#include <algorithm>

#include "tools/analysis/sentences.hpp"
#include "tools/catalog/text.hpp"

namespace omp_sums {

namespace {

// One size of a group with the figure read at it.
template <typename Figure>
struct at_size {
  const array_size* size;
  const Figure* figure;
};

// The group's settings that have the figure, smallest array first.
template <typename Figure, typename Find>
std::vector<at_size<Figure>> by_size(const run_plan& plan, const std::vector<int>& group, Find find) {
  std::vector<at_size<Figure>> ordered;
  for (int setting : group) {
    const Figure* figure = find(setting);
    if (figure != nullptr)
      ordered.push_back({&size_named(plan, plan.settings[static_cast<std::size_t>(setting)].size), figure});
  }
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const auto& a, const auto& b) { return a.size->elements < b.size->elements; });
  return ordered;
}

// "falls from", "rises from" or "goes from": what the whole interval of LAST over FIRST says.
const char* moves(const ratio_figure& ratio) {
  return below(ratio, 1) ? "falls from" : above(ratio, 1) ? "rises from" : "goes from";
}

headline bandwidth_across_sizes(const run_plan& plan, const figures& measured, const std::vector<int>& group,
                                int threads) {
  std::vector<std::string> held;  // sizes whose floor was the scheduler's
  const auto sizes = by_size<floor_stats>(plan, group, [&](int setting) {
    const floor_stats* f = find_floor(measured.floors, floor_kind::read_bandwidth, threads, setting);
    if (f == nullptr && measured_floor(measured.floors, floor_kind::read_bandwidth, threads, setting) != nullptr)
      held.push_back(size_place(size_named(plan, plan.settings[static_cast<std::size_t>(setting)].size)));
    return f;
  });
  if (sizes.size() < 2) {
    if (held.empty()) return {};
    return {
        printed("On %s the read bandwidth is not compared across sizes: its floor%s %s %s the scheduler's "
                "(marked !), and no sentence rests on %s.",
                threads_text(threads).c_str(), held.size() > 1 ? "s" : "", joined(held, " and ").c_str(),
                held.size() > 1 ? "were" : "was", held.size() > 1 ? "them" : "it")};
  }
  const auto& first = sizes.front();
  const auto& last = sizes.back();
  const ratio_figure ratio = ratio_of(last.figure->values, first.figure->values);
  if (!has_ratio(ratio)) return {};
  std::string text = printed("On %s the read bandwidth %s %.1f GB/s %s to %.1f GB/s %s, ",
                             threads_text(threads).c_str(), moves(ratio), first.figure->median,
                             size_place(*first.size).c_str(), last.figure->median, size_place(*last.size).c_str()) +
                     with_interval(ratio) +
                     (differs(ratio) ? "" : ": " + without_effect(ratio, 1, "no measurable difference"));
  for (std::size_t k = 1; k + 1 < sizes.size(); ++k)
    text += printed("; %s it is %.1f GB/s", size_place(*sizes[k].size).c_str(), sizes[k].figure->median);
  headline said = of_speeds(rests_on(text + ".", ratio));
  said = of_effect(said, effect_kind::sizes, "read bandwidth across sizes", {});
  return found(said,
               printed("Read bandwidth on %s %s: ", threads_text(threads).c_str(), size_place(*last.size).c_str()),
               ratio, "that " + size_place(*first.size));
}

// The reduction's time per element a thread handles at each size, as the table's ns/elem gives it,
// at the sizes whose one-thread interval is 1 ms at least: below it start-up dominates.
headline reduction_across_sizes(const run_plan& plan, const figures& measured, const std::vector<int>& group,
                                int threads) {
  std::vector<std::string> short_ones;
  const auto sizes = by_size<case_stats>(plan, group, [&](int setting) {
    const case_stats* c = find_case(measured.cases, program_role::reduction, threads, setting);
    const case_stats* one = find_case(measured.cases, program_role::reduction, 1, setting);
    if (c == nullptr || c->elements <= 0) return static_cast<const case_stats*>(nullptr);
    if (one == nullptr || one->wall.median >= 1e-3) return c;
    short_ones.push_back(size_place(size_named(plan, plan.settings[static_cast<std::size_t>(setting)].size)));
    return static_cast<const case_stats*>(nullptr);
  });
  if (sizes.size() < 2) {
    if (short_ones.empty()) return {};
    return {printed("%s on %s is not compared across sizes per element: one thread's timed interval is below 1 ms ",
                    name_of(program_role::reduction), threads_text(threads).c_str()) +
            joined(short_ones, " and ") +
            ", where start-up dominates it; the read bandwidth across sizes shows what the caches do."};
  }
  const auto per_element = [&](const case_stats& c) {
    std::vector<double> values = c.walls;
    for (double& value : values) value *= 1e9 * threads / static_cast<double>(c.elements);
    return values;
  };
  const auto& first = sizes.front();
  const auto& last = sizes.back();
  const ratio_figure ratio = ratio_of(per_element(*last.figure), per_element(*first.figure));
  const std::string name = name_of(program_role::reduction);
  if (!has_ratio(ratio))
    return {printed("%s on %s across sizes", name.c_str(), threads_text(threads).c_str()) + kNoRatio};
  std::string text =
      printed("%s on %s takes %.3f ns per element %s and %.3f ns %s: ", name.c_str(), threads_text(threads).c_str(),
              first.figure->ns_per_element_per_thread, size_place(*first.size).c_str(),
              last.figure->ns_per_element_per_thread, size_place(*last.size).c_str()) +
      with_interval(ratio) +
      (above(ratio, 1)   ? " as long per element"
       : below(ratio, 1) ? " as long per element: the larger array is summed faster"
                         : ", " + without_effect(ratio, 1, "no measurable difference"));
  // Where the bandwidth measurably fell between the same two sizes and the sum did not slow, the
  // array's place does not set the sum's pace.
  const floor_stats* read_first =
      find_floor(measured.floors, floor_kind::read_bandwidth, threads, first.figure->c.setting);
  const floor_stats* read_last =
      find_floor(measured.floors, floor_kind::read_bandwidth, threads, last.figure->c.setting);
  if (!above(ratio, 1) && read_first != nullptr && read_last != nullptr &&
      below(ratio_of(read_last->values, read_first->values), 1)) {
    text += "; the read bandwidth falls between the same sizes, so where the array lies does not set its pace";
  }
  for (std::size_t k = 1; k + 1 < sizes.size(); ++k) {
    text += printed("; %s, %.3f ns", size_place(*sizes[k].size).c_str(), sizes[k].figure->ns_per_element_per_thread);
  }
  if (!short_ones.empty()) {
    text += "; " + joined(short_ones, " and ") +
            " left out: one thread's timed interval is below 1 ms there, where start-up dominates";
  }
  std::vector<run_case> cases;
  for (const auto& at : sizes) cases.push_back(at.figure->c);
  headline said = of_effect(rests_on(text + ".", ratio), effect_kind::sizes,
                            std::string(name) + " per element across sizes", std::move(cases));
  return found(said,
               printed("%s on %s %s: ", name.c_str(), threads_text(threads).c_str(), size_place(*last.size).c_str()),
               ratio, "the time per element " + size_place(*first.size));
}

}  // namespace

std::vector<headline> across_sizes(const run_plan& plan, const figures& measured) {
  std::vector<headline> said;
  const int threads = plan.threads.back();
  for (const std::vector<int>& group : size_groups(plan)) {
    if (group.size() < 2) continue;
    const std::string label = group_label(plan, group);
    const headline bandwidth = bandwidth_across_sizes(plan, measured, group, threads);
    if (!bandwidth.text.empty()) said.push_back(under_label(bandwidth, label));
    const headline reduction = reduction_across_sizes(plan, measured, group, threads);
    if (!reduction.text.empty()) said.push_back(under_label(reduction, label));
  }
  return said;
}

}  // namespace omp_sums
