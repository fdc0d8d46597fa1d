// The reduction programs run as users run them: whole output, status and standard error.
#include <algorithm>
#include <ctime>
#include <string>

#include "tests/program_harness.hpp"

namespace {

const char* const kParallelPrograms[] = {"sum_baseline", "sum_walltime"};

// Checks a parallel program's two lines and returns the printed sum.
std::string expect_team_run(const child_result& run, int threads) {
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.err, "");
  const std::vector<std::string> lines = output_lines(run.out);
  EXPECT_EQ(lines.size(), 2u) << run.out;
  if (lines.size() != 2) return {};
  EXPECT_EQ(lines[0], "omp summation with " + std::to_string(threads) + " threads");
  const std::vector<std::string> result = numbers_of(lines[1], kResultShape);
  if (result.empty()) return {};
  EXPECT_GE(std::stod(result[1]), 0.0);
  EXPECT_GE(std::stod(result[2]), 0.0);
  return result[0];
}

TEST(ReductionPrograms, PrintTheTeamLineAndTheResultLineForEveryTeamSize) {
  for (const char* program : kParallelPrograms) {
    for (int threads : {1, 2, 3, 5}) {
      SCOPED_TRACE(std::string(program) + " with " + std::to_string(threads) + " threads");
      const std::string sum = expect_team_run(run_with_threads(program, {}, threads), threads);
      if (std::string(program) == "sum_walltime") {
        EXPECT_EQ(sum, "4950");
      }
    }
  }
}

TEST(ReductionPrograms, IndexSumIsExactForAnyTeam) {
  for (int threads : {1, 2, 3, 8}) {
    for (long long n : {0LL, 1LL, 2LL, 5LL, 7LL, 1000LL, 65537LL, 3000000LL}) {
      SCOPED_TRACE(std::to_string(n) + " elements on " + std::to_string(threads) + " threads");
      const child_result run = run_with_threads("sum_walltime", {std::to_string(n)}, threads);
      EXPECT_EQ(expect_team_run(run, threads), exact_index_sum(n));
    }
  }
}

TEST(ReductionPrograms, RandomSumLiesInTheRangeOfItsValues) {
  for (int threads : {1, 3}) {
    const child_result run = run_with_threads("sum_baseline", {"1000"}, threads);
    const double sum = std::stod(expect_team_run(run, threads));
    EXPECT_GT(sum, 400.0);  // 1000 uniform draws in [0, 1): mean 500, deviation about 9
    EXPECT_LT(sum, 600.0);
  }
}

TEST(SerialBuild, PrintsItsOwnTwoLinesWhateverTheTeamSetting) {
  for (int threads : {1, 4}) {
    for (const char* n : {"100", "0", "1"}) {
      const child_result run = run_with_threads("sum_baseline_serial", {n}, threads);
      EXPECT_EQ(run.exit_status, 0);
      EXPECT_EQ(run.err, "");
      const std::vector<std::string> lines = output_lines(run.out);
      ASSERT_EQ(lines.size(), 2u) << run.out;
      EXPECT_EQ(lines[0], "serial summation");
      const std::vector<std::string> result = numbers_of(lines[1], "Sum is #, took # sec");
      ASSERT_EQ(result.size(), 2u);
      if (std::string(n) == "0") {
        EXPECT_EQ(result[0], "0");
      }
    }
  }
}

// Sleeps until just after the calendar second turns (time() may lag the clock by a tick).
void wait_for_the_next_second() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const timespec rest{0, 1000000000L - now.tv_nsec + 20000000L};
  nanosleep(&rest, nullptr);
}

// Both builds seed with the calendar second. Three short runs started as a second begins fall
// within it unless the machine stalls them; then the serial runs disagree, and it tries again.
TEST(SerialBuild, EqualsATeamOfOneOnTheSameArray) {
  for (int attempt = 0; attempt < 20; ++attempt) {
    wait_for_the_next_second();
    const child_result before = run_with_threads("sum_baseline_serial", {"1000"}, 1);
    const child_result team = run_with_threads("sum_baseline", {"1000"}, 1);
    const child_result after = run_with_threads("sum_baseline_serial", {"1000"}, 1);
    const std::string first = shape_of(output_lines(before.out).at(1)).numbers.at(0);
    const std::string second = shape_of(output_lines(after.out).at(1)).numbers.at(0);
    if (first != second) continue;
    EXPECT_EQ(expect_team_run(team, 1), first);
    return;
  }
  FAIL() << "in 20 tries, no three runs fell within one second";
}

}  // namespace
