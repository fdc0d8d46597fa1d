// Microbenchmarks of the frame's hot pieces, built with the optimised profile of the programs:
// the in-order block sum at cache and memory sizes, the atomic double add under contention,
// and the slot summation in both layouts.
#include <benchmark/benchmark.h>

#include <vector>

#include "common/frame.hpp"
#include "sum/slot_region.hpp"

namespace {

// ns per element against the dependent-add limit: the L1 case is that limit itself.
void block_sum_bench(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<double> a(static_cast<std::size_t>(n));
  index_fill(a.data(), n);
  for (auto _ : state) benchmark::DoNotOptimize(block_sum(a.data(), 0, n));
  // Elements per second, inverted: seconds per element, which the report prints with its unit.
  state.counters["per_element"] = benchmark::Counter(static_cast<double>(n) * static_cast<double>(state.iterations()),
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(block_sum_bench)
    ->Arg(2048)       // 16 KiB: L1
    ->Arg(32768)      // 256 KiB: L2
    ->Arg(16777216);  // 128 MiB: memory

double contended_target = 0.0;

void atomic_add_double_bench(benchmark::State& state) {
  for (auto _ : state) atomic_add_double(&contended_target, 1.0);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(atomic_add_double_bench)->ThreadRange(1, 8)->UseRealTime();

// One slot per thread, slot_doubles apart; each thread sums a small L1-resident block
// through its slot, so the slot line's traffic is all that differs between the layouts.
template <int slot_doubles>
void slot_update_bench(benchmark::State& state) {
  static std::vector<double> a;
  static std::vector<double> slots;
  constexpr int n_per_thread = 4096;
  const int team = state.threads();
  if (state.thread_index() == 0) {
    a.assign(static_cast<std::size_t>(n_per_thread * team), 1.0);
    slots.assign(static_cast<std::size_t>(team * slot_doubles), 0.0);
  }
  for (auto _ : state) {
    sum_into_slots(a.data(), n_per_thread * team, slots.data(), team, slot_doubles, true, state.thread_index(), team);
  }
  state.SetItemsProcessed(state.iterations() * n_per_thread);
}
BENCHMARK_TEMPLATE(slot_update_bench, 1)->Name("slot_update_packed")->ThreadRange(1, 2)->UseRealTime();
BENCHMARK_TEMPLATE(slot_update_bench, 8)->Name("slot_update_padded")->ThreadRange(1, 2)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
