#include "tools/analysis/references.hpp"

#include <cmath>

#include "tools/catalog/text.hpp"

namespace omp_sums {

void read_against_plain_threads(const figures& measured, int threads, const ratio_figure& slower, headline& said) {
  const floor_stats* shared = find_floor(measured.floors, floor_kind::shared_line_sums, threads);
  const floor_stats* separate = find_floor(measured.floors, floor_kind::separate_line_sums, threads);
  if (threads < 2 || shared == nullptr || separate == nullptr) return;
  const ratio_figure sums = ratio_of(shared->values, separate->values);
  if (!has_ratio(sums)) return;
  said.reference_name = "shared_line_sums/separate_line_sums";
  said.reference_ratio = sums.ratio;
  said.reference_ci = sums.ci;
  said.text +=
      " Plain threads keeping running sums in one line take " + with_interval(sums) + " the time of sums a line apart";
  if (above(slower, 1) && above(sums, 1)) {
    said.text += ": the programs show the false sharing this processor has.";
    return;
  }
  // Hidden only where both intervals, at 95%, keep within 10% of no cost at all.
  const auto near_one = [](const ratio_figure& figure) { return below(figure, 1.1) && above(figure, 0.9); };
  if (!near_one(slower) || !near_one(sums)) {
    said.text += ".";
    return;
  }
  said.text +=
      ": this processor hides false sharing from a running sum kept in memory (a thread's stores are "
      "forwarded to its own loads while the line moves)";
  const floor_stats* shared_atomic = find_floor(measured.floors, floor_kind::shared_line_atomic_adds, threads);
  const floor_stats* separate_atomic = find_floor(measured.floors, floor_kind::separate_line_atomic_adds, threads);
  const ratio_figure atomics = shared_atomic != nullptr && separate_atomic != nullptr
                                   ? ratio_of(shared_atomic->values, separate_atomic->values)
                                   : ratio_figure{NAN, {NAN, NAN, 0}, false};
  said.text += above(atomics, 1) ? "; atomic adds on one line show it: " + with_interval(atomics) +
                                       " the time of atomic adds a line apart."
                                 : ".";
}

void read_against_openmp_constructs(const figures& measured, int threads, const ratio_figure& cost,
                                    double floor_seconds, const char* over, headline& said) {
  const floor_stats* after_idle = find_floor(measured.floors, floor_kind::fork_join_after_idle, threads);
  const floor_stats* barrier = find_floor(measured.floors, floor_kind::barrier, threads);
  const floor_stats* atomic = find_floor(measured.floors, floor_kind::atomic_add, threads);
  if (!has_ratio(cost) || after_idle == nullptr || barrier == nullptr || atomic == nullptr) return;
  // The excess and the constructs' cost in microseconds, each with its interval's ends.
  const double excess[3] = {(cost.ratio - 1) * floor_seconds * 1e6, (cost.ci.low - 1) * floor_seconds * 1e6,
                            (cost.ci.high - 1) * floor_seconds * 1e6};
  const double constructs[3] = {after_idle->median + barrier->median + threads * atomic->median * 1e-3,
                                after_idle->ci.low + barrier->ci.low + threads * atomic->ci.low * 1e-3,
                                after_idle->ci.high + barrier->ci.high + threads * atomic->ci.high * 1e-3};
  // Only an excess the interval holds above the floor is set beside them: of no measurable excess
  // there is nothing to say what it is made of.
  if (!(constructs[1] > 0) || !above(cost, 1)) return;
  const floor_stats* fill = find_floor(measured.floors, floor_kind::fill, threads);
  const std::string idle = fill != nullptr
                               ? printed("the team idled %.1f ms, as long as the programs' fill", fill->median * 1e3)
                               : std::string("the team idled as long as the programs' fill");
  said.reference_name = "fork_join_after_idle+barrier+atomic_adds";
  said.reference_ratio = excess[0] / constructs[0];
  said.reference_ci = {excess[1] / constructs[2], excess[2] / constructs[1], cost.ci.coverage};
  said.text += printed(
      " Its excess over %s, %.1f us [%.1f, %.1f], against one fork/join after %s, a barrier and %d atomic adds on "
      "this host: %.1f us [%.1f, %.1f]",
      over, excess[0], excess[1], excess[2], idle.c_str(), threads, constructs[0], constructs[1], constructs[2]);
  const bool both_precise =
      cost.precise && after_idle->ci.coverage >= kConfidence && barrier->ci.coverage >= kConfidence;
  // Constructs whose interval spans more than twice or half their median say nothing of the excess.
  const bool constructs_told =
      constructs[2] <= kWidestUntold * constructs[0] && constructs[1] >= constructs[0] / kWidestUntold;
  if (!constructs_told) {
    said.text += ": this run cannot tell how they compare (the constructs' interval is too wide).";
  } else if (both_precise && excess[1] > constructs[2]) {
    said.text += ": more than those constructs take.";
  } else if (both_precise && excess[2] < constructs[1]) {
    said.text += ": less, so the team did not sleep between the regions.";
  } else if (both_precise) {
    said.text += ": about what they take.";
  } else {
    said.text += ": this run cannot tell how they compare (too few runs for a 95% interval).";
  }
}

}  // namespace omp_sums
