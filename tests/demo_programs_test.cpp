// prefix_scan, thread_stacks and iteration_count run as users run them.
#include <algorithm>
#include <cstdint>
#include <map>
#include <string>

#include "tests/program_harness.hpp"

namespace {

TEST(PrefixScan, PrintsOnlyTheTimingLine) {
  for (int threads : {1, 2, 3, 7}) {
    for (const char* n : {"0", "1", "2", "5", "abc", "100000"}) {
      SCOPED_TRACE(std::string(n) + " on " + std::to_string(threads));
      const child_result run = run_with_threads("prefix_scan", {n}, threads);
      EXPECT_EQ(run.exit_status, 0);
      EXPECT_EQ(run.err, "");
      const std::vector<std::string> lines = output_lines(run.out);
      ASSERT_EQ(lines.size(), 1u) << run.out;
      const std::vector<std::string> numbers = numbers_of(lines[0], "process took # of wall-clock time ");
      ASSERT_EQ(numbers.size(), 1u);
      EXPECT_GE(std::stod(numbers[0]), 0.0);
    }
  }
  const child_result default_run = run_with_threads("prefix_scan", {}, 2);
  EXPECT_EQ(output_lines(default_run.out).size(), 1u);
  EXPECT_EQ(default_run.exit_status, 0);
}

TEST(PrefixScan, NegativeCountsPrintTheMemoryMessage) {
  for (long long n : {-1LL, -10000LL}) {
    const child_result run = run_with_threads("prefix_scan", {std::to_string(n)}, 2);
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.out, memory_message(n));
    EXPECT_EQ(run.err, "");
  }
}

std::intptr_t address(const std::string& text) {
  return static_cast<std::intptr_t>(std::stoull(text, nullptr, 16));
}

// Reads the notice and the line pairs of one run, checking every figure against the addresses.
void expect_stack_report(const child_result& run, int threads) {
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

TEST(ThreadStacks, ReportsMainsFrameAndOneLinePairPerThread) {
  for (int threads : {1, 2, 3, 6}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    expect_stack_report(run_with_threads("thread_stacks", {}, threads), threads);
  }
}

TEST(ThreadStacks, ArgumentsChangeNothingAndMainsDistancesAreFixed) {
  const child_result plain = run_with_threads("thread_stacks", {}, 2);
  const child_result with_arguments = run_with_threads("thread_stacks", {"5", "x"}, 2);
  expect_stack_report(with_arguments, 2);
  const std::vector<std::string> a = output_lines(plain.out);
  const std::vector<std::string> b = output_lines(with_arguments.out);
  ASSERT_GE(a.size(), 7u);
  ASSERT_GE(b.size(), 7u);
  EXPECT_EQ(a[5], b[5]);
  EXPECT_EQ(a[6], b[6]);
}

// The count lines of iteration_count as thread -> iterations, and its last line.
std::pair<std::map<int, int>, std::string> read_counts(const child_result& run, int threads) {
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

TEST(IterationCount, EachThreadReportsTheIterationsOfItsStaticBlock) {
  struct count_case {
    const char* argument;
    int threads;
    std::map<int, int> counts;
    std::string last;
  };
  const count_case cases[] = {
      {"10", 4, {{0, 3}, {1, 3}, {2, 2}, {3, 2}}, "Sum is 45 (expected: 45)"},
      {nullptr, 3, {{0, 34}, {1, 33}, {2, 33}}, "Sum is 4950 (expected: 4950)"},
      {nullptr, 4, {{0, 25}, {1, 25}, {2, 25}, {3, 25}}, "Sum is 4950 (expected: 4950)"},
      {"100", 1, {{0, 100}}, "Sum is 4950 (expected: 4950)"},
      {"3", 5, {{0, 1}, {1, 1}, {2, 1}, {3, 0}, {4, 0}}, "Sum is 3 (expected: 3)"},
      {"0", 3, {{0, 0}, {1, 0}, {2, 0}}, "Sum is 0 (expected: 0)"},
      {"-3", 2, {{0, 0}, {1, 0}}, "Sum is 0 (expected: 6)"},
      {"abc", 2, {{0, 0}, {1, 0}}, "Sum is 0 (expected: 0)"},
      {"46341", 1, {{0, 46341}}, "Sum is 1073720970 (expected: 1073720970)"},
      {"46342", 2, {{0, 23171}, {1, 23171}}, "Sum is 1073767311 (expected: 1073767311)"},
      {"92682", 2, {{0, 46341}, {1, 46341}}, "Sum is 4294930221 (expected: 4294930221)"},
      {"92683", 2, {{0, 46342}, {1, 46341}}, "Sum is 55607 (expected: 4295022903)"},
      {"-46341", 2, {{0, 0}, {1, 0}}, "Sum is 0 (expected: 1073767311)"},
      {"-2147483648", 2, {{0, 0}, {1, 0}}, "Sum is 0 (expected: 2305843010287435776)"},
  };
  for (const count_case& c : cases) {
    SCOPED_TRACE(std::string(c.argument ? c.argument : "(default)") + " on " + std::to_string(c.threads));
    std::vector<std::string> args;
    if (c.argument != nullptr) args.push_back(c.argument);
    const auto [counts, last] = read_counts(run_with_threads("iteration_count", args, c.threads), c.threads);
    EXPECT_EQ(counts, c.counts);
    EXPECT_EQ(last, c.last);
  }
}

}  // namespace
