// Whole-output checks of thread_stacks and iteration_count, shared by the program tests and the
// runtime-setting matrix.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "tests/program_harness.hpp"

namespace omp_sums {

inline std::intptr_t address(const std::string& text) {
  return static_cast<std::intptr_t>(std::stoull(text, nullptr, 16));
}

// Reads the notice and the line pairs of one run, checking every figure against the addresses.
inline void expect_stack_report(const child_result& run, int threads) {
  EXPECT_EQ(run.err, "");
  const program_run report = read_run(program("thread_stacks"), 0, threads, run);
  ASSERT_EQ(report.problem, "") << run.out;
  const std::intptr_t rbp = address(report.first_fields.at(0));
  const std::intptr_t rsp = address(report.first_fields.at(1));
  const std::intptr_t main_i = address(report.first_fields.at(2));
  EXPECT_EQ(std::stoll(report.first_fields.at(3)), main_i - rbp);
  EXPECT_EQ(std::stoll(report.first_fields.at(4)), main_i - rsp);
  EXPECT_LT(main_i - rbp, 0);
  EXPECT_GE(main_i - rsp, 3 * 800);  // the three arrays lie between i and the stack top

  for (const auto& [thread, fields] : report.thread_fields) {
    const std::intptr_t my_i = address(fields.at(1));
    const std::intptr_t my_base = address(fields.at(3));
    EXPECT_EQ(std::stoll(fields.at(2)), my_i - main_i) << "thread " << thread;
    EXPECT_EQ(std::stoll(fields.at(4)), rbp - my_base) << "thread " << thread;
  }
  // Thread 0 is the initial thread: it runs the region below main's frame, on main's stack.
  const std::intptr_t zero_i = address(report.thread_fields.at(0).at(1));
  const std::intptr_t zero_base = address(report.thread_fields.at(0).at(3));
  EXPECT_LT(zero_i, main_i);
  EXPECT_LT(zero_base, rbp);
  EXPECT_LT(zero_base, rsp + 1);
}

// What iteration_count printed: thread -> iterations, and its last line's index sum and
// expected value.
struct iteration_report {
  std::map<int, int> counts;
  std::string index_sum;
  std::string expected;
};

inline iteration_report read_counts(const child_result& run, int threads) {
  EXPECT_EQ(run.err, "");
  const program_run report = read_run(program("iteration_count"), 0, threads, run);
  EXPECT_EQ(report.problem, "") << run.out;
  iteration_report counted;
  for (const auto& [thread, fields] : report.thread_fields) counted.counts[thread] = std::stoi(fields.at(1));
  if (report.result_fields.size() == 2) {
    counted.index_sum = report.result_fields[0];
    counted.expected = report.result_fields[1];
  }
  return counted;
}

}  // namespace omp_sums
