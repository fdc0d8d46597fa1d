// The region tool's own cost, against what it cannot do without: one reading of the clock per
// event. Per event (a barrier wait's begin and end), and per region instance of two threads
// with every event the runtime sends for it.
#include <benchmark/benchmark.h>

#include <ctime>

#include "tools/region_tool/region_accounting.hpp"

namespace {

using namespace omp_sums::regions;

double now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// The reference: the clock reading every event takes.
void clock_reading(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(now());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(clock_reading);

// A barrier wait's two events inside a recorded task.
void barrier_wait_events(benchmark::State& state) {
  static const char code = 0;
  thread_state thread;
  region_instance* instance = begin_region(thread, &code, 1, now());
  begin_task(thread, instance, 0, now());
  for (auto _ : state) {
    begin_wait(thread, instance, now());
    end_wait(thread, true, now());
  }
  state.SetItemsProcessed(2 * state.iterations());
  region_ledger ledger;
  end_task(thread, now());
  end_region(ledger, instance, now());
}
BENCHMARK(barrier_wait_events);

// A region instance of two threads: its begin and end, two tasks, each thread's wait at the end
// barrier and its leaving, as one thread sends them here.
void region_instance_events(benchmark::State& state) {
  static const char code = 0;
  region_ledger ledger;
  thread_state master;
  thread_state worker;
  for (auto _ : state) {
    region_instance* instance = begin_region(master, &code, 2, now());
    begin_task(master, instance, 0, now());
    begin_task(worker, instance, 1, now());
    begin_wait(worker, instance, now());
    begin_wait(master, instance, now());
    end_wait(master, false, now());
    end_task(master, now());
    end_region(ledger, instance, now());
    end_wait(worker, false, now());
    end_task(worker, now());
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["events_per_instance"] = 10;
}
BENCHMARK(region_instance_events);

}  // namespace

BENCHMARK_MAIN();
