// The sizes of the array a run sweeps: a count of elements, or a name that the machine's caches
// decide. L1, L2 and L3 hold half of that level's share per usable processor (the smallest of
// its caches that serve the usable processors, over how many of them it serves): one thread's
// whole array then fits in its share of the level with room to spare, and a larger team's
// blocks, smaller still, fit all the more. DRAM is four times the cache of the last level that
// the usable processors reach, added up, and 10000000 elements at least. Where a read sweep
// proved a reported level false, its measured size stands in (tools/analysis/cache_levels.hpp).
#pragma once

#include <string>
#include <vector>

#include "tools/catalog/machine.hpp"

namespace omp_sums {

struct array_size {
  std::string name;  // "L1", "L2", "L3", "DRAM", or the count itself ("1000000")
  int elements = 0;
  int level = 0;  // the cache level the name was read from: 1 to 3, the last one for DRAM; 0 for a count
  unsigned long long cache_bytes = 0;  // L1 to L3: the level's share per usable processor; DRAM: the last level's total
  unsigned long long memory_bytes = 0;  // DRAM cut to a quarter of this much memory available; 0: not cut
  bool measured = false;   // cache_bytes is what a read sweep measured, the reported size having proved false
  int uncut_elements = 0;  // the elements before --budget cut them; 0: not cut
  bool operator==(const array_size&) const = default;
};

inline constexpr int kLeastDramElements = 10000000;
inline constexpr const char* kSizeNames[] = {"L1", "L2", "L3", "DRAM"};

// A size of the count N, as --size N gives it.
array_size counted_size(int elements);

// TEXT as --size takes it (a count from 1 to 2147483647, or a name, in either case) in the form
// the plan keeps: "L2", "1000000". Returns an empty string, or what is wrong.
std::string read_size_name(const std::string& text, std::string& name);

// What NAME (as read_size_name keeps it) stands for on MACHINE. Returns an empty string, or why it
// cannot be had there (a cache level the machine does not report).
std::string resolve_size(const std::string& name, const machine_topology& machine, array_size& size);

// How the size was chosen, for the header: "half of the 1 MiB of L2 cache per usable processor";
// for a count, how it compares with the last level ("0.08x the 1016 MiB of L3 cache ...").
std::string size_rule(const array_size& size, const machine_topology& machine);

// The size with how it was chosen: "L2, 65536 elements, 512 KiB: half of the 1 MiB of L2 cache
// per usable processor"; a count compared with the last level's cache.
std::string size_line(const array_size& size, const machine_topology& machine);

// Where such an array lies against the caches, for a sentence: "within L2", "beyond L3", "at
// 1000000 elements".
std::string size_place(const array_size& size);

// The fewest elements --budget cuts DRAM to: twice the last level's caches that the usable
// processors reach, 10000000 at least, so that the array still lies beyond them.
int least_beyond_caches(const machine_topology& machine);

// "L2, L3, DRAM" for several sizes; "10000000 elements" for one.
std::string sizes_text(const std::vector<array_size>& sizes);

}  // namespace omp_sums
