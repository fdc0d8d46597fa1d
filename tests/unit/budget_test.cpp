// What a plan is estimated to take from fixed probe costs, how --budget cuts a plan left to
// sum_compare and how the header says so, and the memory the plan's arrays must fit in, from files
// shaped as the kernel's.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/unit/fixed_report.hpp"
#include "tools/report/console.hpp"
#include "tools/run/machine_facts.hpp"

using namespace omp_sums;

namespace {

namespace fs = std::filesystem;

TEST(Estimate, AddsEachProgramsCostAtItsSizeEveryRound) {
  const report r = fixed_report();  // two settings of calibrate, sum_walltime and sum_slots_padded on 1 and 2 threads
  ASSERT_EQ(r.plan.rounds, 3);
  const run_costs costs{{"calibrate", {0.2, 0}}, {"sum_walltime", {0.05, 5e-5}}, {"sum_slots_padded", {0.05, 0}}};
  EXPECT_DOUBLE_EQ(estimated_seconds(r.plan, costs), 3 * 2 * 2 * (0.2 + 0.05 + 1000 * 5e-5 + 0.05));
  run_costs failed = costs;
  failed["calibrate"].fixed = -1;
  EXPECT_EQ(estimated_seconds(r.plan, failed), -1);
  failed.erase("calibrate");
  EXPECT_EQ(estimated_seconds(r.plan, failed), -1);
}

// sum_walltime and its calibration on a machine of 64 processors, over 100000000 elements: each
// team size costs 0.41 s a round, 22.96 s in all.
plan_request many_cores() {
  plan_request asked;
  asked.programs = {"sum_walltime"};
  asked.sizes = {{"DRAM", 100000000}};
  return asked;
}
const run_costs kCosts{{"calibrate", {0.2, 1e-9}}, {"sum_walltime", {0.01, 1e-9}}};

TEST(Budget, CutsTeamSizesThenTheArrayThenRunsAsFarAsNeeded) {
  plan_request asked = many_cores();
  budget_cut cut = fit_budget(asked, 64, kCosts, 30, 20000000);
  EXPECT_DOUBLE_EQ(cut.full_seconds, 22.96);
  EXPECT_TRUE(cut.cuts.empty());
  EXPECT_TRUE(asked.threads.empty());

  // Team sizes dropped from the middle until it fits.
  cut = fit_budget(asked, 64, kCosts, 10, 20000000);
  EXPECT_EQ(cut.cuts, (std::vector<std::string>{"team sizes 1,2,64 of 1,2,4,8,16,32,64"}));
  EXPECT_EQ(cut.full_plan, "--threads 1,2,4,8,16,32,64 --size DRAM --repeat 7");
  EXPECT_EQ(asked.sizes[0].elements, 100000000);

  // Then the array, in whole MiB of elements, as far as the estimate needs.
  asked = many_cores();
  cut = fit_budget(asked, 64, kCosts, 5, 20000000);
  EXPECT_EQ(cut.cuts, (std::vector<std::string>{"team sizes 1,64 of 1,2,4,8,16,32,64",
                                                "the array from 100000000 to 50331648 elements"}));
  EXPECT_EQ(asked.sizes[0].uncut_elements, 100000000);
  EXPECT_LE(estimated_seconds(make_plan(asked, 64), kCosts), 5);
  EXPECT_EQ(asked.repeat, 7);

  // No further than beyond the caches; then down to 6 runs a case, and no further.
  asked = many_cores();
  cut = fit_budget(asked, 64, kCosts, 3, 20000000);
  EXPECT_EQ(cut.cuts.back(), "6 measured runs a case of 7");
  EXPECT_EQ(asked.sizes[0].elements, 20000000);
  EXPECT_DOUBLE_EQ(estimated_seconds(make_plan(asked, 64), kCosts), 3.5);  // still past it: the header says so
}

// The header says what the budget did: nothing but bound the plan, what it cut and how to have
// it all, or that no estimate could bound it.
TEST(Budget, IsToldInTheHeader) {
  report r = fixed_report();
  r.budget = {30, 12, {}, ""};
  EXPECT_EQ(budget_fact(r), "within --budget 30 s, which bounds a plan left to sum_compare");
  r.budget = {30,
              112,
              {"team sizes 1,64 of 1,2,4,8,16,32,64", "6 measured runs a case of 7"},
              "--threads 1,2,4,8,16,32,64 --size DRAM --repeat 7"};
  r.conditions.estimated_seconds = 35;
  EXPECT_EQ(budget_fact(r),
            "the full plan takes about 112 s, past --budget 30 s, so it was cut: team sizes 1,64 of "
            "1,2,4,8,16,32,64; 6 measured runs a case of 7; still about 35 s, which is as far as it cuts; the full "
            "plan: --threads 1,2,4,8,16,32,64 --size DRAM --repeat 7 (or a larger --budget)");
  EXPECT_NE(console_header(r, 200).find("\nbudget:      the full plan takes about 112 s"), std::string::npos);
  r.budget = {30, -1, {}, ""};
  EXPECT_EQ(budget_fact(r), "--budget 30 s could not bound the plan: a probe failed, so nothing estimates it");
  r.budget = {};
  EXPECT_EQ(budget_fact(r), "");
}

TEST(MemoryAvailable, IsTheKernelsOrLessWhereACgroupLimitsIt) {
  const fs::path root = fs::temp_directory_path() / ("memory_" + std::to_string(getpid()));
  const auto file = [&](const std::string& path, const std::string& text) {
    fs::create_directories((root / path).parent_path());
    std::ofstream(root / path) << text;
  };
  file("proc/meminfo", "MemTotal:       24683728 kB\nMemFree:  1 kB\nMemAvailable:    4194304 kB\n");
  file("proc/self/cgroup", "0::/\n");
  EXPECT_EQ(memory_available(root.string()), 4ULL << 30);
  // A v2 group limited to 3 GiB with 1 GiB used, under a parent with no limit.
  file("proc/self/cgroup", "0::/jobs/mine\n");
  file("sys/fs/cgroup/jobs/mine/memory.max", "3221225472\n");
  file("sys/fs/cgroup/jobs/mine/memory.current", "1073741824\n");
  file("sys/fs/cgroup/jobs/memory.max", "max\n");
  EXPECT_EQ(memory_available(root.string()), 2ULL << 30);
  // v1's memory controller, its parent limiting to 1 GiB with half of it used.
  file("proc/self/cgroup", "4:memory:/batch/job\n0::/\n");
  file("sys/fs/cgroup/memory/batch/job/memory.limit_in_bytes", "9223372036854771712\n");
  file("sys/fs/cgroup/memory/batch/memory.limit_in_bytes", "1073741824\n");
  file("sys/fs/cgroup/memory/batch/memory.usage_in_bytes", "536870912\n");
  EXPECT_EQ(memory_available(root.string()), 512ULL << 20);
  fs::remove_all(root);
}

}  // namespace
