#include "tools/region_tool/region_accounting.hpp"

#include <algorithm>

namespace omp_sums::regions {

std::vector<thread_time> split_instance(const region_instance& instance, double ended) {
  // The last thread to arrive, whom every other one waits for at the end.
  const thread_snapshot* last = nullptr;
  for (const thread_snapshot& thread : instance.threads) {
    if (thread.arrived >= 0 && (last == nullptr || thread.arrived > last->arrived)) last = &thread;
  }
  const double wall = ended - instance.began;
  std::vector<thread_time> split(instance.threads.size());
  for (std::size_t k = 0; k < instance.threads.size(); ++k) {
    const thread_snapshot& thread = instance.threads[k];
    if (thread.arrived < 0) continue;
    // What the last thread's later start explains of the wait for it is the fork's, not imbalance.
    const double wait = last->arrived - thread.arrived;
    const double late_start = std::clamp(last->started - thread.started, 0.0, wait);
    thread_time& time = split[k];
    time.lock = thread.locked;
    time.barrier = thread.waited + wait - late_start;
    time.work = std::max(0.0, thread.arrived - thread.started - thread.waited - thread.locked);
    time.overhead = std::max(0.0, wall - time.work - time.barrier - time.lock);
  }
  return split;
}

void region_ledger::add(const region_instance& instance, double ended) {
  const std::vector<thread_time> split = split_instance(instance, ended);
  int team = 0;
  long long events = 0;
  for (const thread_snapshot& thread : instance.threads) {
    if (thread.arrived < 0) continue;
    ++team;
    events += thread.events;
  }
  if (team == 0) return;
  const std::lock_guard<std::mutex> held(guard_);
  const bool known = regions_.count(instance.code) != 0 || regions_.size() < kMostRegions;
  region_totals& region = regions_[known ? instance.code : nullptr];
  region.code = known ? instance.code : nullptr;
  ++region.instances;
  region.team = std::max(region.team, team);
  region.wall += ended - instance.began;
  region.events += events + 2;  // the region's own begin and end
  if (region.threads.size() < split.size()) region.threads.resize(split.size());
  for (std::size_t k = 0; k < split.size(); ++k) {
    region.threads[k].work += split[k].work;
    region.threads[k].barrier += split[k].barrier;
    region.threads[k].lock += split[k].lock;
    region.threads[k].overhead += split[k].overhead;
  }
}

std::vector<region_totals> region_ledger::totals() const {
  const std::lock_guard<std::mutex> held(guard_);
  std::vector<region_totals> out;
  for (const auto& [code, region] : regions_) out.push_back(region);
  return out;
}

region_instance* begin_region(const thread_state& state, const void* code, unsigned requested_team, double now) {
  if (state.instance != nullptr) return nullptr;
  return new region_instance{code, now, std::vector<thread_snapshot>(std::max(requested_team, 1U))};
}

void begin_task(thread_state& state, region_instance* instance, unsigned thread_number, double now) {
  if (instance == nullptr || thread_number >= instance->threads.size()) {
    // A nested region's task on a thread of a recorded one leaves that task's figures running.
    if (state.instance == nullptr) state = {};
    return;
  }
  state = {instance, thread_number, {now, -1, 0, 0, 1}, -1, -1};
}

void begin_wait(thread_state& state, const region_instance* instance, double now) {
  if (state.instance == nullptr || instance != state.instance) return;
  state.wait_began = now;
  ++state.running.events;
  thread_snapshot& snapshot = state.instance->threads[state.number];
  snapshot = state.running;
  snapshot.arrived = now;
}

void end_wait(thread_state& state, bool within_region, double now) {
  if (state.instance == nullptr || state.wait_began < 0) return;
  ++state.running.events;
  if (within_region) {
    state.running.waited += now - state.wait_began;
    state.wait_began = -1;
  } else {
    state.instance = nullptr;  // its snapshot at the barrier stands
  }
}

void begin_acquire(thread_state& state, double now) {
  if (state.instance == nullptr) return;
  state.acquire_began = now;
  ++state.running.events;
}

void acquired(thread_state& state, double now) {
  if (state.instance == nullptr || state.acquire_began < 0) return;
  state.running.locked += now - state.acquire_began;
  state.acquire_began = -1;
  ++state.running.events;
}

void end_task(thread_state& state, double now) {
  // Only a task that ends with no barrier at the region's end (a team of one) still holds its
  // instance here; a worker's task ends in the next region's fork, long after.
  if (state.instance == nullptr) return;
  ++state.running.events;
  thread_snapshot& snapshot = state.instance->threads[state.number];
  snapshot = state.running;
  snapshot.arrived = now;
  state.instance = nullptr;
}

void end_region(region_ledger& ledger, region_instance* instance, double now) {
  if (instance == nullptr) return;
  ledger.add(*instance, now);
  delete instance;
}

}  // namespace omp_sums::regions
