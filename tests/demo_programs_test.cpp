// prefix_scan, thread_stacks and iteration_count run as users run them.
#include <algorithm>
#include <cstdint>
#include <map>
#include <string>

#include "tests/demo_checks.hpp"
#include "tests/program_harness.hpp"

using namespace omp_sums;

namespace {

TEST(PrefixScan, PrintsOnlyTheTimingLine) {
  for (int threads : {1, 2, 3, 7}) {
    for (const char* n : {"0", "1", "2", "5", "abc", "100000", static_cast<const char*>(nullptr)}) {
      SCOPED_TRACE(std::string(n ? n : "(default)") + " on " + std::to_string(threads));
      const std::vector<std::string> args = n ? std::vector<std::string>{n} : std::vector<std::string>{};
      const program_run run =
          expect_valid_run("prefix_scan", args, {{"OMP_NUM_THREADS", std::to_string(threads)}}, threads, 0);
      EXPECT_EQ(run.result_fields.size(), 1u);
      EXPECT_GE(run.seconds, 0.0);
    }
  }
}

TEST(PrefixScan, NegativeCountsPrintTheMemoryMessage) {
  for (long long n : {-1LL, -10000LL}) {
    const child_result run = run_with_threads("prefix_scan", {std::to_string(n)}, 2);
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.out, memory_message(n));
    EXPECT_EQ(run.err, "");
  }
}

TEST(ThreadStacks, ReportsMainsFrameAndOneLinePairPerThread) {
  SKIP_WITHOUT_LIBOMP();
  for (int threads : {1, 2, 3, 6}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    expect_stack_report(run_with_threads("thread_stacks", {}, threads), threads);
  }
}

TEST(ThreadStacks, ArgumentsChangeNothingAndMainsDistancesAreFixed) {
  SKIP_WITHOUT_LIBOMP();
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

TEST(IterationCount, EachThreadReportsTheIterationsOfItsStaticBlock) {
  struct count_case {
    const char* argument;
    int threads;
    std::map<int, int> counts;
    std::string index_sum;
    std::string expected;
  };
  const count_case cases[] = {
      {"10", 4, {{0, 3}, {1, 3}, {2, 2}, {3, 2}}, "45", "45"},
      {nullptr, 3, {{0, 34}, {1, 33}, {2, 33}}, "4950", "4950"},
      {nullptr, 4, {{0, 25}, {1, 25}, {2, 25}, {3, 25}}, "4950", "4950"},
      {"100", 1, {{0, 100}}, "4950", "4950"},
      {"3", 5, {{0, 1}, {1, 1}, {2, 1}, {3, 0}, {4, 0}}, "3", "3"},
      {"0", 3, {{0, 0}, {1, 0}, {2, 0}}, "0", "0"},
      {"-3", 2, {{0, 0}, {1, 0}}, "0", "6"},
      {"abc", 2, {{0, 0}, {1, 0}}, "0", "0"},
      {"46341", 1, {{0, 46341}}, "1073720970", "1073720970"},
      {"46342", 2, {{0, 23171}, {1, 23171}}, "1073767311", "1073767311"},
      {"92682", 2, {{0, 46341}, {1, 46341}}, "4294930221", "4294930221"},
      {"92683", 2, {{0, 46342}, {1, 46341}}, "55607", "4295022903"},
      {"-46341", 2, {{0, 0}, {1, 0}}, "0", "1073767311"},
      {"-2147483648", 2, {{0, 0}, {1, 0}}, "0", "2305843010287435776"},
  };
  for (const count_case& c : cases) {
    SCOPED_TRACE(std::string(c.argument ? c.argument : "(default)") + " on " + std::to_string(c.threads));
    std::vector<std::string> args;
    if (c.argument != nullptr) args.push_back(c.argument);
    const iteration_report report = read_counts(run_with_threads("iteration_count", args, c.threads), c.threads);
    EXPECT_EQ(report.counts, c.counts);
    EXPECT_EQ(report.index_sum, c.index_sum);
    EXPECT_EQ(report.expected, c.expected);
  }
}

// The static share is computed from the program's own blocks, the sum checked against its closed
// form; both printed in the catalog's lines, whatever OMP_SCHEDULE says.
TEST(DemoPrograms, ScheduleImbalanceSumsExactlyAndPrintsTheStaticBlocksWait) {
  struct imbalance_case {
    const char* argument;
    int threads;
    const char* schedule;
    const char* sum;
    const char* static_percent;
  };
  const imbalance_case cases[] = {
      {"1000", 1, "static", "166167000", "0"},
      // Iteration i costs i: blocks of 0..499 and 500..999 cost 124750 and 374750, so 1 - 499500 / (2 x 374750).
      {"1000", 2, "dynamic,7", "166167000", "33.3556"},
      // Blocks of 333 cost 55278, 166167 and 277056: 1 - 498501 / (3 x 277056).
      {"999", 3, "guided", "165668499", "40.024"},
      // Iterations 0 and 1 cost 0 and 1: thread 0 waits the whole region.
      {"2", 2, "static", "0", "50"},
      {"-5", 2, "static", "0", "0"},
  };
  for (const imbalance_case& c : cases) {
    SCOPED_TRACE(std::string(c.argument) + " on " + std::to_string(c.threads) + " under " + c.schedule);
    const program_run run =
        expect_valid_run("schedule_imbalance", {c.argument},
                         {{"OMP_NUM_THREADS", std::to_string(c.threads)}, {"OMP_SCHEDULE", c.schedule}}, c.threads, 0);
    ASSERT_EQ(run.result_fields.size(), 4u);
    EXPECT_EQ(run.result_fields[0], c.static_percent);
    EXPECT_EQ(run.result_fields[1], c.sum);
    EXPECT_EQ(run.result_fields[2], c.sum);
    EXPECT_GE(run.seconds, 0);
  }
}

}  // namespace
