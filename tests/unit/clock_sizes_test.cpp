// The headlines over what a run sweeps beside its settings, on fixed figures: the clock a team
// gets, read from its add latency, and the caches, read across the array's sizes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/fixed_figures.hpp"
#include "tools/analysis/sentences.hpp"

using namespace omp_sums;

namespace {

floor_stats floor_at(floor_kind kind, int threads, int setting, double median) {
  const std::vector<double> values = around(median);
  return {kind, threads, setting, values, summarise(values).median, median_interval(values)};
}

case_stats case_at(const char* name, int threads, int setting, double seconds, int elements) {
  case_stats stats = stats_of(name, threads, around(seconds), elements);
  stats.c.setting = setting;
  return stats;
}

}  // namespace

// A team's CPU time per add over one thread's: the clock the team got, over every size of a
// setting at once, and what of the reduction's missing speed-up it accounts for.
TEST(Headlines, ReadTheTeamsClockFromItsAddLatency) {
  run_plan plan;
  plan.threads = {1, 8};
  plan.sizes = {counted_size(1000000), counted_size(20000000)};
  plan.settings = {{"", "1000000", {}}, {"", "20000000", {}}};
  figures measured;
  // On the larger size, 6x the speed of one thread where 8x is ideal.
  measured.cases = {case_at("sum_walltime", 1, 1, 0.06, 20000000), case_at("sum_walltime", 8, 1, 0.01, 20000000)};
  for (int setting : {0, 1}) {
    measured.floors.push_back(floor_at(floor_kind::add_cpu_time, 1, setting, 0.25));
    measured.floors.push_back(floor_at(floor_kind::add_cpu_time, 8, setting, 0.3025));
  }
  std::vector<headline> said = clock_against_team(plan, measured, 8, 1);
  ASSERT_EQ(said.size(), 1u);  // one for both sizes
  const std::string& text = said[0].text;
  EXPECT_EQ(text.rfind("On 8 threads each dependent add took 1.21x [", 0), 0u) << text;
  EXPECT_NE(text.find("the CPU time it took on one: the clock ran at 0.83 ["), std::string::npos) << text;
  // log 1.21 over log 8/6: 66%.
  EXPECT_NE(text.find(", which accounts for 66% ["), std::string::npos) << text;
  EXPECT_NE(text.find("of the speed-up sum_walltime misses (6.00x ["), std::string::npos) << text;
  EXPECT_TRUE(said[0].supported);
  EXPECT_EQ(said[0].effect, effect_kind::clock);
  EXPECT_EQ(clock_against_team(plan, measured, 8, 2)[0].text.find("several core kinds") == std::string::npos, false);

  // Time-shared, the team's adds take twice the wall time of one thread's, but the same CPU
  // time: that is no slower clock.
  for (floor_stats& f : measured.floors) f = floor_at(floor_kind::add_cpu_time, f.threads, f.setting, 0.25);
  for (int setting : {0, 1}) {
    measured.floors.push_back(floor_at(floor_kind::add_latency, 1, setting, 0.25));
    measured.floors.push_back(floor_at(floor_kind::add_latency, 8, setting, 0.5));
  }
  said = clock_against_team(plan, measured, 8, 1);
  ASSERT_EQ(said.size(), 1u);
  EXPECT_NE(said[0].text.find("the CPU time it took on one: no measurable difference in the clock."), std::string::npos)
      << said[0].text;
  EXPECT_FALSE(said[0].supported);
  // Eight threads on four processors take turns: no clock shows in that.
  EXPECT_TRUE(clock_against_team(plan, measured, 4, 1).empty());
}

// Across sizes: the read bandwidth from the smallest array to the largest, and the reduction's
// time per element beside it where one thread's interval is long enough to say it.
TEST(Headlines, FollowTheReadBandwidthAndTheSumAcrossSizes) {
  run_plan plan;
  plan.threads = {1, 2};
  plan.sizes = {{"L2", 65536, 2, 1 << 20, 0}, {"L3", 4000000, 3, 64 << 20, 0}, {"DRAM", 20000000, 3, 64 << 20, 0}};
  plan.settings = {{"", "L2", {}}, {"", "L3", {}}, {"", "DRAM", {}}};
  figures measured;
  measured.floors = {floor_at(floor_kind::read_bandwidth, 2, 0, 96), floor_at(floor_kind::read_bandwidth, 2, 1, 40),
                     floor_at(floor_kind::read_bandwidth, 2, 2, 26)};
  // 0.45 ns per element a thread handles at every size; within L2 one thread takes 0.03 ms.
  for (int setting = 0; setting < 3; ++setting) {
    const int elements = plan.sizes[static_cast<std::size_t>(setting)].elements;
    for (int threads : {1, 2})
      measured.cases.push_back(case_at("sum_walltime", threads, setting, 0.45e-9 * elements / threads, elements));
  }
  const std::vector<headline> said = across_sizes(plan, measured);
  ASSERT_EQ(said.size(), 2u);
  EXPECT_EQ(said[0].text, "On 2 threads the read bandwidth falls from 96.0 GB/s within L2 to 26.0 GB/s beyond L3, " +
                              with_interval(ratio_of(measured.floors[2].values, measured.floors[0].values)) +
                              "; within L3 it is 40.0 GB/s.");
  EXPECT_TRUE(said[0].supported);
  EXPECT_TRUE(said[0].of_speeds);
  EXPECT_EQ(said[1].text.rfind("sum_walltime on 2 threads takes 0.450 ns per element within L3 and 0.450 ns beyond "
                               "L3: 1.00x [",
                               0),
            0u)
      << said[1].text;
  EXPECT_NE(said[1].text.find("no measurable difference; the read bandwidth falls between the same sizes, so where "
                              "the array lies does not set its pace; within L2 left out: one thread's timed interval "
                              "is below 1 ms there"),
            std::string::npos)
      << said[1].text;

  // Only DRAM long enough, and L3's floor the scheduler's: each headline says why it compares nothing.
  measured.cases.erase(std::remove_if(measured.cases.begin(), measured.cases.end(),
                                      [](const case_stats& c) { return c.c.setting == 1; }),
                       measured.cases.end());
  measured.floors[1].scheduled = true;
  measured.floors[0].scheduled = true;
  const std::vector<headline> why = across_sizes(plan, measured);
  ASSERT_EQ(why.size(), 2u);
  EXPECT_EQ(why[0].text,
            "On 2 threads the read bandwidth is not compared across sizes: its floors within L2 and within L3 were the "
            "scheduler's (marked !), and no sentence rests on them.");
  EXPECT_EQ(why[1].text,
            "sum_walltime on 2 threads is not compared across sizes per element: one thread's timed interval is below "
            "1 ms within L2, where start-up dominates it; the read bandwidth across sizes shows what the caches do.");
  EXPECT_LT(why[1].ratio, 0);
}
