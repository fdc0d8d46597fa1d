// calibrate itself: its help, its refusals, its floors and shares read back by the validator on
// one thread and on more threads than processors, and its read sweep read back. No figure it
// prints is held to a value: a busy machine decides them.
#include <string>
#include <vector>

#include "tests/program_harness.hpp"
#include "tools/catalog/floors.hpp"
#include "tools/catalog/programs.hpp"
#include "tools/run/machine_sweep.hpp"

using namespace omp_sums;

namespace {

TEST(Calibrate, SaysItsUsageAndRefusesWhatItDoesNotTake) {
  const child_result help = run_program("calibrate", {"--help"});
  EXPECT_EQ(help.exit_status, 0);
  EXPECT_EQ(help.out.rfind("usage: calibrate [N]\n", 0), 0u) << help.out;
  EXPECT_EQ(help.err, "");
  for (const std::vector<std::string>& wrong :
       {std::vector<std::string>{"--bogus"}, {"--sweep"}, {"--sweep", "1000"}, {"--sweep", "-65536"},
        {"--sweep", "65536x"}, {"--sweep", "65536", "2"}}) {
    const child_result refused = run_program("calibrate", wrong);
    EXPECT_EQ(refused.exit_status, 2) << wrong[0];
    EXPECT_EQ(refused.out, "") << wrong[0];
    EXPECT_NE(refused.err.find("usage: calibrate"), std::string::npos) << refused.err;
  }
}

TEST(Calibrate, PrintsEveryFloorWithItsShareOfTheProcessors) {
  for (int threads : {1, 3}) {
    SCOPED_TRACE(threads);
    const child_result printed = run_program("calibrate", {"20000"}, {{"OMP_NUM_THREADS", std::to_string(threads)}});
    EXPECT_EQ(printed.err, "");
    const program_run run = read_run(kCalibration, 20000, threads, printed);
    ASSERT_EQ(run.problem, "") << printed.out;
    ASSERT_EQ(run.result_fields.size(), 2 * kFloorCount);
    for (const floor_description& floor : kFloors) {
      const double share = std::stod(run.result_fields[share_field(floor.kind)]);
      EXPECT_GE(share, 0.0) << floor.line;
      EXPECT_LE(share, 1.0) << floor.line;
    }
  }
}

TEST(Calibrate, SweepsWorkingSetsOnOneThreadThenTheTeam) {
  const long long most = 1 << 20;
  const child_result run = run_program("calibrate", {"--sweep", std::to_string(most)}, {{"OMP_NUM_THREADS", "2"}});
  ASSERT_EQ(run.exit_status, 0) << run.err;
  std::vector<sweep_point> points;
  ASSERT_EQ(read_sweep_output(run.out, 2, most, points), "") << run.out;
  ASSERT_GE(points.size(), 2u);
  EXPECT_EQ(points.front().threads, 1);
  EXPECT_EQ(points.front().bytes, kSweepFirstBytes);
  EXPECT_EQ(points.back().threads, 2);
#ifndef SUITE_SANITIZED  // instrumented, the sweep may spend its seconds before it reaches 1 MiB
  // 16 KiB to 1 MiB, two a doubling but the last, on each team.
  ASSERT_EQ(points.size(), 2u * 13);
  EXPECT_EQ(points[1].bytes, kSweepFirstBytes * 3 / 2);
  EXPECT_EQ(points.back().bytes, most);
#endif
  // What is not a sweep's output is refused.
  EXPECT_NE(read_sweep_output(run.out, 3, most, points), "");
  EXPECT_NE(read_sweep_output(run.out, 2, most / 2, points), "");
  std::string reordered = run.out;
  reordered.replace(reordered.find("on 1 threads: 16384 bytes"), 25, "on 1 threads: 99999 bytes");
  EXPECT_NE(read_sweep_output(reordered, 2, most, points), "");
}

}  // namespace
