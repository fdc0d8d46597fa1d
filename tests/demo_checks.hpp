// Whole-output checks of thread_stacks and iteration_count, shared by the program tests and the
// runtime-setting matrix.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

#include "tests/program_harness.hpp"

inline std::intptr_t address(const std::string& text) {
  return static_cast<std::intptr_t>(std::stoull(text, nullptr, 16));
}

// Reads the notice and the line pairs of one run, checking every figure against the addresses.
inline void expect_stack_report(const child_result& run, int threads) {
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.err, "");
  const std::vector<std::string> lines = output_lines(run.out);
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(7 + 2 * threads + 1)) << run.out;
  EXPECT_EQ(lines.front(), "");
  EXPECT_EQ(lines.back(), "");
  EXPECT_EQ(lines[1], "main thread notice:");
  ASSERT_EQ(lines[2].rfind("base of stack is: 0x", 0), 0u) << lines[2];
  ASSERT_EQ(lines[3].rfind("top of stack is : 0x", 0), 0u) << lines[3];
  ASSERT_EQ(lines[4].rfind("&i is           : 0x", 0), 0u) << lines[4];
  const std::intptr_t rbp = address(lines[2].substr(18));
  const std::intptr_t rsp = address(lines[3].substr(18));
  const std::intptr_t main_i = address(lines[4].substr(18));
  const std::vector<std::string> to_rbp = numbers_of(lines[5], "   &i - rbp     : #");
  const std::vector<std::string> to_rsp = numbers_of(lines[6], "   &i - rsp     : #");
  ASSERT_EQ(to_rbp.size(), 1u);
  ASSERT_EQ(to_rsp.size(), 1u);
  EXPECT_EQ(std::stoll(to_rbp[0]), main_i - rbp);
  EXPECT_EQ(std::stoll(to_rsp[0]), main_i - rsp);
  EXPECT_LT(main_i - rbp, 0);
  EXPECT_GE(main_i - rsp, 3 * 800);  // the three arrays lie between i and the stack top

  std::map<int, std::pair<std::intptr_t, std::intptr_t>> thread_i_and_base;
  for (int k = 0; k < threads; ++k) {
    const std::string& says = lines[7 + 2 * k];
    const std::string& base = lines[8 + 2 * k];
    char i_text[32] = {};
    char base_text[32] = {};
    int thread = -1;
    long long from_main_i = 0;
    long long from_main_base = 0;
    ASSERT_EQ(std::sscanf(says.c_str(), "\tthread nr %d says: i address is %31s (%lld from main's i)",
                          &thread, i_text, &from_main_i), 3) << says;
    ASSERT_EQ(std::sscanf(base.c_str(), "\t\t\tmy base of stack is %31s ( %lld from main's stack )",
                          base_text, &from_main_base), 2) << base;
    const std::intptr_t my_i = address(i_text);
    const std::intptr_t my_base = address(base_text);
    EXPECT_EQ(says, "\tthread nr " + std::to_string(thread) + " says: i address is " + i_text + " (" +
                        std::to_string(my_i - main_i) + " from main's i)");
    EXPECT_EQ(base, std::string("\t\t\tmy base of stack is ") + base_text + " ( " +
                        std::to_string(rbp - my_base) + " from main's stack )");
    EXPECT_TRUE(thread_i_and_base.emplace(thread, std::pair{my_i, my_base}).second) << thread;
  }
  ASSERT_EQ(thread_i_and_base.size(), static_cast<std::size_t>(threads));
  ASSERT_EQ(thread_i_and_base.count(0), 1u);
  for (int t = 0; t < threads; ++t) EXPECT_EQ(thread_i_and_base.count(t), 1u) << t;
  // Thread 0 is the initial thread: it runs the region below main's frame, on main's stack.
  const auto [zero_i, zero_base] = thread_i_and_base.at(0);
  EXPECT_LT(zero_i, main_i);
  EXPECT_LT(zero_base, rbp);
  EXPECT_LT(zero_base, rsp + 1);
}

// The count lines of iteration_count as thread -> iterations, and its last line.
inline std::pair<std::map<int, int>, std::string> read_counts(const child_result& run, int threads) {
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.err, "");
  const std::vector<std::string> lines = output_lines(run.out);
  EXPECT_EQ(lines.size(), static_cast<std::size_t>(threads + 2)) << run.out;
  if (lines.size() != static_cast<std::size_t>(threads + 2)) return {};
  EXPECT_EQ(lines[0], "omp summation with " + std::to_string(threads) + " threads");
  std::map<int, int> counts;
  for (int k = 1; k <= threads; ++k) {
    const std::vector<std::string> numbers =
        numbers_of(lines[static_cast<std::size_t>(k)], "\tthread # performed # iterations");
    if (numbers.size() != 2) continue;
    EXPECT_TRUE(counts.emplace(std::stoi(numbers[0]), std::stoi(numbers[1])).second);
  }
  return {counts, lines.back()};
}

