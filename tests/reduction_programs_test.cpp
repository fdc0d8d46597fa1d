// The reduction programs run as users run them: whole output, status and standard error.
#include <ctime>
#include <string>

#include "tests/program_harness.hpp"

using namespace omp_sums;

namespace {

const char* const kParallelPrograms[] = {"sum_baseline", "sum_walltime"};

program_run team_run(const std::string& name, const std::vector<std::string>& args, int threads, long long n) {
  return expect_valid_run(name, args, {{"OMP_NUM_THREADS", std::to_string(threads)}}, threads, n);
}

TEST(ReductionPrograms, PrintTheTeamLineAndTheResultLineForEveryTeamSize) {
  for (const char* name : kParallelPrograms) {
    for (int threads : {1, 2, 3, 5}) {
      SCOPED_TRACE(std::string(name) + " with " + std::to_string(threads) + " threads");
      const child_result run = run_with_threads(name, {}, threads);
      const std::vector<std::string> lines = output_lines(run.out);
      ASSERT_EQ(lines.size(), 2u) << run.out;
      EXPECT_EQ(lines[0], printed(kTeamLine, threads));
      const program_run reading = read_run(program(name), program(name).default_count, threads, run);
      EXPECT_EQ(reading.problem, "");
      if (std::string(name) == "sum_walltime") {
        EXPECT_EQ(reading.sum, "4950");
      }
    }
  }
}

TEST(ReductionPrograms, IndexSumIsExactForAnyTeam) {
  for (int threads : {1, 2, 3, 8}) {
    for (long long n : {0LL, 1LL, 2LL, 5LL, 7LL, 1000LL, 65537LL, 3000000LL}) {
      SCOPED_TRACE(std::to_string(n) + " elements on " + std::to_string(threads) + " threads");
      EXPECT_EQ(team_run("sum_walltime", {std::to_string(n)}, threads, n).sum, exact_index_sum(n));
    }
  }
}

TEST(ReductionPrograms, RandomSumLiesInTheRangeOfItsValues) {
  for (int threads : {1, 3}) {
    const double sum = std::stod(team_run("sum_baseline", {"1000"}, threads, 1000).sum);
    EXPECT_GT(sum, 400.0);  // 1000 uniform draws in [0, 1): mean 500, deviation about 9
    EXPECT_LT(sum, 600.0);
  }
}

TEST(SerialBuild, PrintsItsOwnTwoLinesWhateverTheTeamSetting) {
  for (int threads : {1, 4}) {
    for (long long n : {100LL, 0LL, 1LL}) {
      const program_run reading = team_run("sum_baseline_serial", {std::to_string(n)}, threads, n);
      EXPECT_EQ(reading.team_size, 1);
      EXPECT_EQ(reading.thread_seconds, -1.0);
      if (n == 0) {
        EXPECT_EQ(reading.sum, "0");
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
    const std::string before = team_run("sum_baseline_serial", {"1000"}, 1, 1000).sum;
    const std::string team = team_run("sum_baseline", {"1000"}, 1, 1000).sum;
    const std::string after = team_run("sum_baseline_serial", {"1000"}, 1, 1000).sum;
    if (before != after) continue;
    EXPECT_EQ(team, before);
    return;
  }
  FAIL() << "in 20 tries, no three runs fell within one second";
}

}  // namespace
