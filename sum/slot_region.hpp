// Per-thread partial-sum slots: each slot holds the running in-order sum of one block of a
// static partition, read from and stored back to memory at every element, so that the cost of
// the slots' layout (packed into shared cache lines, or one line apart) shows in the timing.
#pragma once

#include <cstddef>

#include "common/frame.hpp"

// One thread's share of the slot summation. The slot array has slot_count slots of
// slot_doubles doubles each; slot s gets block s of the partition into slot_count blocks.
// On a team of slot_count threads thread t takes slot t. A team of another size (the runtime
// may form one under dynamic adjustment) deals the slots round robin: no thread reaches past
// the array, every slot is set, and the sum stays the same to the bit.
inline void sum_into_slots(const double* a, int n, double* slots, int slot_count, int slot_doubles, bool zero_own_slot,
                           int thread, int team_size) {
  for (int s = thread; s < slot_count; s += team_size) {
    // volatile: the running sum must live in the slot, not in a register.
    volatile double* slot = slots + static_cast<std::ptrdiff_t>(s) * slot_doubles;
    if (zero_own_slot) *slot = 0.0;
    const block_range block = static_block_range(n, slot_count, s);
    for (int i = block.begin; i < block.end; ++i) *slot = a[i] + *slot;
  }
}

// Adds slots 1, 2, ..., slot_count-1 into slot 0 in this order and returns slot 0.
inline double combine_slots(double* slots, int slot_count, int slot_doubles) {
  for (int s = 1; s < slot_count; ++s) slots[0] = slots[0] + slots[static_cast<std::ptrdiff_t>(s) * slot_doubles];
  return slots[0];
}
