// Where a parallel region's time goes, from the OpenMP runtime's events: each thread's work,
// its waiting at barriers and for locks, and the region's fork and join, per region instance,
// summed per region. The events carry their time stamps, so the accounting runs the same on the
// runtime's callbacks and on fixed figures.
//
// A thread's time in an instance of wall time W (the encountering thread's region begin to its
// region end) splits four ways, so that the team's time T x W is accounted in full:
//   work      from its implicit task's start to its arrival at the region's last barrier, less
//             its waits on the way
//   barrier   its waits at barriers it left before, and its wait at the last barrier for the
//             slowest thread to arrive, less what that thread's later start explains (imbalance)
//   lock      its waits to enter critical sections and locks
//   overhead  the rest: its start after the fork, its wait for a thread that started later, and
//             the join after the slowest arrival
// A worker's last barrier ends when the runtime wakes it for the next region, so its arrival is
// what counts: each thread's figures as of its latest barrier are written to the instance.
#pragma once

#include <map>
#include <mutex>
#include <vector>

namespace omp_sums::regions {

// What one thread of an instance had reported at its latest barrier (or its task's end).
struct thread_snapshot {
  double started = 0;   // its implicit task began
  double arrived = -1;  // it reached its latest barrier; -1: it reported nothing
  double waited = 0;    // in barriers it had left by then
  double locked = 0;    // waiting to enter critical sections and locks
  long long events = 0;
};

struct thread_time {
  double work = 0;
  double barrier = 0;
  double lock = 0;
  double overhead = 0;
  bool operator==(const thread_time&) const = default;
};

// One region instance. Each thread writes its own snapshot; the encountering thread reads them
// all once the region's end barrier has let it go.
struct region_instance {
  const void* code = nullptr;  // the address the region returns to in its encountering function
  double began = 0;
  std::vector<thread_snapshot> threads;  // by thread number, sized to the team asked for
};

// What a thread keeps between its events.
struct thread_state {
  region_instance* instance = nullptr;  // the instance whose implicit task it runs; nullptr: none
  unsigned number = 0;
  thread_snapshot running;
  double wait_began = -1;
  double acquire_began = -1;
};

// A region's instances summed: its time per thread number, and its wall time.
struct region_totals {
  const void* code = nullptr;  // nullptr: the regions past kMostRegions, together
  long long instances = 0;
  int team = 0;  // the largest team seen
  double wall = 0;
  long long events = 0;
  std::vector<thread_time> threads;
};

// Distinct regions kept apart; the rest are summed as one, so the record stays bounded whatever
// the program does.
inline constexpr std::size_t kMostRegions = 256;

// The instances' sums, per region. Safe to add to from any thread.
class region_ledger {
 public:
  void add(const region_instance& instance, double ended);
  std::vector<region_totals> totals() const;

 private:
  mutable std::mutex guard_;
  std::map<const void*, region_totals> regions_;
};

// The split of one instance ended at ENDED, by thread number (a thread that reported nothing has
// an empty split and is not in the team).
std::vector<thread_time> split_instance(const region_instance& instance, double ended);

// The events, each at NOW. A region encountered inside a recorded one is not recorded itself:
// its time is the enclosing task's.
region_instance* begin_region(const thread_state& state, const void* code, unsigned requested_team, double now);
void begin_task(thread_state& state, region_instance* instance, unsigned thread_number, double now);
// A barrier wait of the region INSTANCE's task (nullptr: a region not recorded).
void begin_wait(thread_state& state, const region_instance* instance, double now);
// WITHIN_REGION: the runtime still names the region, so the thread goes on in its task; false:
// the wait at the region's end, which the thread leaves for good.
void end_wait(thread_state& state, bool within_region, double now);
void begin_acquire(thread_state& state, double now);
void acquired(thread_state& state, double now);
void end_task(thread_state& state, double now);
// Adds the instance to the ledger and frees it.
void end_region(region_ledger& ledger, region_instance* instance, double now);

}  // namespace omp_sums::regions
