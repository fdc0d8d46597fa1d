// The region tool loaded into real programs on LLVM's runtime, one kind of wait each, and
// sum_compare --regions end to end. Each figure is held to what the program's shape makes it,
// with margins wide enough for a busy machine.
#include <unistd.h>

#include <fstream>

#include "tests/program_harness.hpp"
#include "tools/catalog/suite_build.hpp"
#include "tools/run/region_runs.hpp"

namespace omp_sums {
namespace {

#define SKIP_WITHOUT_REGION_TOOL() \
  if (!find_region_setup(SUITE_BIN_DIR).problem.empty()) GTEST_SKIP() << find_region_setup(SUITE_BIN_DIR).problem

// One run of PATH under the tool on 2 threads and the settings given, its record read.
region_run under_tool(const std::string& path, const std::vector<std::string>& args,
                      const std::vector<std::pair<std::string, std::string>>& omp) {
  const scratch_directory scratch;
  std::vector<std::string> env = environment_without_runtime_settings();
  set_variable(env, "OMP_NUM_THREADS", "2");
  for (const auto& [variable, value] : omp) set_variable(env, variable, value);
  const std::string record = (scratch.path / "record").string();
  const child_result run = run_child(path, args, region_environment(env, find_region_setup(SUITE_BIN_DIR), record),
                                     {120, 1 << 20, 0.5, nullptr});
  EXPECT_EQ(run.exit_status, 0) << run.out << run.err;
  std::ifstream in(record);
  const std::string text{std::istreambuf_iterator<char>(in), {}};
  region_run read;
  std::vector<std::string> objects;
  std::vector<unsigned long long> offsets;
  EXPECT_EQ(read_region_record(text, read, objects, offsets), "") << text;
  for (const std::string& object : objects) EXPECT_EQ(object, path);
  return read;
}

// The region with the most wall time.
const recorded_region& heaviest(const region_run& run) {
  return *std::max_element(run.regions.begin(), run.regions.end(),
                           [](const recorded_region& a, const recorded_region& b) { return a.wall < b.wall; });
}

double share(const recorded_region& region, double region_time::*part) {
  return team_time(region).*part / total(team_time(region));
}

TEST(RegionTool, StaticBlocksOfAGrowingLoopWaitAboutAThirdAndDynamicChunksHardlyAtAll) {
  SKIP_WITHOUT_REGION_TOOL();
  const region_run statically = under_tool(program_path("schedule_imbalance"), {"8000"}, {{"OMP_SCHEDULE", "static"}});
  ASSERT_FALSE(statically.regions.empty());
  const recorded_region& loop = heaviest(statically);
  EXPECT_EQ(loop.instances, 1);
  ASSERT_EQ(loop.threads.size(), 2u);
  // Thread 0's block holds a quarter of the work: it waits two thirds of the region, a third of the team's time.
  EXPECT_GT(share(loop, &region_time::barrier), 0.15);
  EXPECT_LT(share(loop, &region_time::barrier), 0.50);
  EXPECT_GT(loop.threads[0].barrier, loop.threads[1].barrier);
  EXPECT_LT(loop.threads[0].work, loop.threads[1].work);

  const region_run dynamically =
      under_tool(program_path("schedule_imbalance"), {"8000"}, {{"OMP_SCHEDULE", "dynamic"}});
  ASSERT_FALSE(dynamically.regions.empty());
  EXPECT_LT(share(heaviest(dynamically), &region_time::barrier), 0.15);
}

TEST(RegionTool, ACriticalSectionHeldLongIsTheOtherThreadsLockWait) {
  SKIP_WITHOUT_REGION_TOOL();
  const region_run run = under_tool(helper_path("region_waits"), {"critical"}, {});
  ASSERT_EQ(run.regions.size(), 1u);
  const recorded_region& region = run.regions[0];
  ASSERT_EQ(region.threads.size(), 2u);
  // Thread 1 asks 5 ms in and waits until thread 0's 50 ms are over.
  EXPECT_GT(region.threads[1].lock, 0.02);
  EXPECT_LT(region.threads[0].lock, region.threads[1].lock);
  EXPECT_GT(share(region, &region_time::lock), 0.15);
}

TEST(RegionTool, ManyEmptyRegionsAreTheirForkAndJoin) {
  SKIP_WITHOUT_REGION_TOOL();
  const region_run run = under_tool(helper_path("region_waits"), {"tiny", "20000"}, {});
  ASSERT_EQ(run.regions.size(), 1u);
  EXPECT_EQ(run.regions[0].instances, 20000);
  EXPECT_EQ(run.regions[0].team, 2);
  EXPECT_GT(share(run.regions[0], &region_time::overhead), share(run.regions[0], &region_time::work));
  EXPECT_GT(run.ns_per_event, 0);
}

TEST(SumCompareRegions, NameTheWaitingRegionsLineAndReadBackTheSame) {
  SKIP_WITHOUT_REGION_TOOL();
  const scratch_directory scratch;
  const std::string saved = (scratch.path / "regions.json").string();
  const std::string again = (scratch.path / "again.json").string();
  const child_result run = run_child(
      program_path("sum_compare"),
      {"--regions", "--threads", "2", "--repeat", "3", "--size", "1000", "--env", "OMP_SCHEDULE=static,dynamic",
       "--command", "imb=" + program_path("schedule_imbalance") + " 4000", "--json", saved},
      environment_without_runtime_settings());
  ASSERT_EQ(run.exit_status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("Where the parallel regions' time goes"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("schedule_imbalance.cpp:"), std::string::npos) << run.out;
  const nlohmann::json written = written_json_file(saved);
  // 3 runs of each case: 1 and 2 threads under each schedule.
  EXPECT_EQ(written.at("region_runs").size(), 12u);
  for (const nlohmann::json& aggregate : written.at("aggregates")) {
    ASSERT_TRUE(aggregate.contains("regions"));
    EXPECT_FALSE(aggregate.at("regions").empty());
  }

  const child_result from = run_child(program_path("sum_compare"), {"--from", saved, "--json", again},
                                      environment_without_runtime_settings());
  ASSERT_EQ(from.exit_status, 0) << from.err;
  const nlohmann::json reread = written_json_file(again);
  EXPECT_EQ(reread.at("region_runs"), written.at("region_runs"));
  for (std::size_t k = 0; k < written.at("aggregates").size(); ++k)
    EXPECT_EQ(reread.at("aggregates")[k].at("regions"), written.at("aggregates")[k].at("regions"));
}

TEST(SumCompareRegions, SayWhyInOneLineWhereTheToolCannotLoad) {
  SKIP_WITHOUT_REGION_TOOL();
  const child_result run = run_child(program_path("sum_compare"),
                                     {"--regions", "--threads", "1", "--repeat", "1", "--size", "1000", "--command",
                                      "plain=/bin/true", "--command", "fixed=" + helper_path("statically_linked")},
                                     environment_without_runtime_settings());
  ASSERT_EQ(run.exit_status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("plain on 1 thread: no region figures: the region tool left no record"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("fixed on 1 thread: no region figures: it is linked statically"), std::string::npos)
      << run.out;
  // The timed runs went on: both cases have their medians.
  EXPECT_NE(run.out.find("What this run shows"), std::string::npos);
}

}  // namespace
}  // namespace omp_sums
