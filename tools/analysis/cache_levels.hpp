// What a read sweep says of the caches, against what the machine reports of them. A cache level
// holds a working set when reads of it go clearly faster than reads from memory; where they fall
// by a step, a level ends. A reported level whose own working set (half its share per usable
// processor, what --size picks) already reads at memory speed is not there as reported: the
// sizes then follow the measurement. Where the two agree, the reported sizes stand.
#pragma once

#include <string>
#include <vector>

#include "tools/catalog/machine.hpp"

namespace omp_sums {

// Reads faster than memory by this much come from a cache.
inline constexpr double kCacheSpeedUp = 1.3;
// Where reads fall by this much, from the working sets before to those after, a level ends.
inline constexpr double kStepDrop = 1.25;

// What the sweep of one team size shows.
struct sweep_reading {
  int threads = 0;
  long long largest = 0;         // the largest working set it read
  std::vector<long long> steps;  // the working sets after which reads step down, smallest first
  // The read speed of the largest working sets, where they read alike and far slower than the
  // fastest: memory's. 0 where the sweep shows none (too short, or no cache to tell it from).
  double memory_gb_per_s = 0;
  long long reach = 0;        // the largest working set read kCacheSpeedUp faster than memory; 0: none
  long long memory_from = 0;  // the next working set: from there on, reads go at memory speed
};

// A reported cache level against the sweep.
struct level_reading {
  int level = 0;
  unsigned long long reported_share = 0;  // per usable processor, as the machine reports it
  unsigned long long reported_bytes = 0;  // its largest cache that serves a usable processor
  int reported_count = 0;                 // how many of them serve usable processors
  bool refuted = false;                   // half its share reads at memory speed
  unsigned long long measured_share = 0;  // the share the sizes take instead; 0: not there at all
};

struct measured_caches {
  sweep_reading one;   // one thread's sweep
  sweep_reading team;  // the team's; threads 0 where the sweep had no team of several
  std::vector<level_reading> levels;
  // Where the last reported level is refuted, or the team reaches half as far again as all the
  // reported caches (a level the machine does not report): all that the usable processors reach,
  // measured (the team's reach, a cache that the team shares counted once); else 0.
  unsigned long long measured_total = 0;
  bool beyond_reported = false;  // the team reaches half as far again as the reported caches
  bool decides() const;          // the sizes follow the measurement
};

// The sweep of the points of THREADS threads.
sweep_reading read_sweep_of(const std::vector<sweep_point>& points, int threads);

// The reported levels of MACHINE against SWEEP.
measured_caches measure_caches(const machine_topology& machine, const read_sweep& sweep);

// The machine the sizes are read from: MACHINE, but for each refuted level its measured share
// (the last level's total too) or its absence, marked as such.
machine_topology as_measured(const machine_topology& machine, const measured_caches& caches);

// The largest working set a sweep on MACHINE reads: four times the last level it reports, from
// 256 MiB to 1 GiB, and a quarter of the AVAILABLE memory at most (0: not known).
long long sweep_bytes(const machine_topology& machine, unsigned long long available);

// For the header and the page: what the sweep shows, "reads step down past about 512 KiB and
// 24 MiB; memory speed (21 GB/s on 1 thread, 37 GB/s on 2) from about 32 MiB on"; and one line
// per refuted level, "L3: reported 508 MiB per core; measured: reads fall to memory speed beyond
// about 32 MiB; sizes follow the measurement".
std::string measured_line(const measured_caches& caches);
std::vector<std::string> refuted_lines(const measured_caches& caches);

// The measured line and the refuted ones as one sentence; "" where no sweep ran.
std::string joined_lines(const measured_caches& caches);

}  // namespace omp_sums
