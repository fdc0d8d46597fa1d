// The two steps of prefix_scan that tests reach directly.
#pragma once

#include <cstdint>
#include <ctime>

// A thread's erand48 state from its seed second s and thread number t: the low 16 bits of
// s, s + t and s + 2t, from the least significant word up. Thread 0's three words are equal.
inline void seed_generator_state(unsigned short state[3], std::time_t seconds, int thread) {
  const std::uint64_t s = static_cast<std::uint64_t>(seconds);
  const std::uint64_t t = static_cast<std::uint64_t>(thread);
  state[0] = static_cast<unsigned short>(s);
  state[1] = static_cast<unsigned short>(s + t);
  state[2] = static_cast<unsigned short>(s + 2 * t);
}

// In place, left to right: a[i] becomes a[0] + ... + a[i].
inline void inclusive_prefix_sum(double* a, int n) {
  for (int i = 1; i < n; ++i) a[i] = a[i - 1] + a[i];
}
