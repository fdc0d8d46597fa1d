// The region tool's accounting fed fixed time stamps, its record read back, and the figures and
// sentences the report derives from region runs.
#include <gtest/gtest.h>

#include "tests/unit/fixed_report.hpp"
#include "tools/analysis/judged.hpp"
#include "tools/analysis/regions.hpp"
#include "tools/region_tool/region_accounting.hpp"
#include "tools/report/json.hpp"
#include "tools/report/writing.hpp"
#include "tools/run/region_runs.hpp"

namespace {

using namespace omp_sums;
using namespace omp_sums::regions;

constexpr double kTolerance = 1e-12;

void expect_time(const thread_time& time, double work, double barrier, double lock, double overhead) {
  EXPECT_NEAR(time.work, work, kTolerance);
  EXPECT_NEAR(time.barrier, barrier, kTolerance);
  EXPECT_NEAR(time.lock, lock, kTolerance);
  EXPECT_NEAR(time.overhead, overhead, kTolerance);
}

// Two threads: the master works 3 ms, the worker 9 ms with a 1 ms wait at an inner barrier and
// 2 ms for a lock; the worker's wait at the region's end and its task's end come in the next
// region's fork, after the instance is gone, as LLVM's runtime reports them.
TEST(RegionAccounting, SplitsTheTeamsTimeIntoWorkWaitingAndOverhead) {
  region_ledger ledger;
  thread_state master;
  thread_state worker;
  static const char code = 0;
  region_instance* instance = begin_region(master, &code, 2, 0.000);
  begin_task(master, instance, 0, 0.001);
  begin_task(worker, instance, 1, 0.002);
  begin_wait(worker, instance, 0.004);  // an inner barrier
  end_wait(worker, true, 0.005);
  begin_acquire(worker, 0.006);
  acquired(worker, 0.008);
  begin_wait(master, instance, 0.004);  // the region's end: the master waits for the worker
  begin_wait(worker, instance, 0.014);
  end_wait(master, false, 0.0145);
  end_task(master, 0.0146);
  end_region(ledger, instance, 0.015);
  end_wait(worker, false, 0.020);
  end_task(worker, 0.020);

  const std::vector<region_totals> totals = ledger.totals();
  ASSERT_EQ(totals.size(), 1u);
  EXPECT_EQ(totals[0].code, &code);
  EXPECT_EQ(totals[0].instances, 1);
  EXPECT_EQ(totals[0].team, 2);
  EXPECT_NEAR(totals[0].wall, 0.015, kTolerance);
  ASSERT_EQ(totals[0].threads.size(), 2u);
  // work, barrier (inner waits, then the wait for the slowest arrival less the 1 ms its later
  // start explains), lock, the rest
  expect_time(totals[0].threads[0], 0.003, 0.009, 0, 0.003);
  expect_time(totals[0].threads[1], 0.009, 0.001, 0.002, 0.003);
  for (const thread_time& thread : totals[0].threads)
    EXPECT_NEAR(thread.work + thread.barrier + thread.lock + thread.overhead, 0.015, kTolerance);
}

// Equal work, one thread woken late: waiting for it is the fork's, not imbalance.
TEST(RegionAccounting, AWaitForALateStarterIsOverheadNotImbalance) {
  region_instance instance{nullptr, 0.0, {{0.001, 0.011, 0, 0, 2}, {0.004, 0.014, 0, 0, 2}}};
  const std::vector<thread_time> split = split_instance(instance, 0.015);
  expect_time(split[0], 0.010, 0, 0, 0.005);
  expect_time(split[1], 0.010, 0, 0, 0.005);
  // The slowest thread started first: none of the wait for it is the fork's.
  instance.threads = {{0.001, 0.011, 0, 0, 2}, {0.0, 0.014, 0, 0, 2}};
  expect_time(split_instance(instance, 0.015)[0], 0.010, 0.003, 0, 0.002);
}

TEST(RegionAccounting, ATeamOfOneEndsWithItsTaskAndANestedRegionIsItsWork) {
  region_ledger ledger;
  thread_state alone;
  static const char outer_code = 0;
  static const char inner_code = 0;
  region_instance* outer = begin_region(alone, &outer_code, 1, 0.0);
  begin_task(alone, outer, 0, 0.001);
  // A region inside the task is not recorded, and its task and waits leave the outer task's running.
  region_instance* inner = begin_region(alone, &inner_code, 1, 0.002);
  EXPECT_EQ(inner, nullptr);
  begin_task(alone, inner, 0, 0.002);
  begin_wait(alone, inner, 0.003);
  end_wait(alone, true, 0.004);
  end_region(ledger, inner, 0.005);
  // No barrier ends a team of one: its task's end is its arrival.
  end_task(alone, 0.008);
  end_region(ledger, outer, 0.009);

  const std::vector<region_totals> totals = ledger.totals();
  ASSERT_EQ(totals.size(), 1u);
  EXPECT_EQ(totals[0].code, &outer_code);
  ASSERT_EQ(totals[0].threads.size(), 1u);
  expect_time(totals[0].threads[0], 0.007, 0, 0, 0.002);
}

TEST(RegionLedger, KeepsItsRegionsApartUpToItsBoundAndTheRestTogether) {
  region_ledger ledger;
  static const char codes[kMostRegions + 10] = {};
  for (int pass = 0; pass < 2; ++pass) {
    for (const char& code : codes) {
      thread_state state;
      region_instance* instance = begin_region(state, &code, 1, 0);
      begin_task(state, instance, 0, 0);
      end_task(state, 1);
      end_region(ledger, instance, 1);
    }
  }
  const std::vector<region_totals> totals = ledger.totals();
  ASSERT_EQ(totals.size(), kMostRegions + 1);
  long long instances = 0;
  for (const region_totals& region : totals) {
    instances += region.instances;
    EXPECT_EQ(region.instances, region.code == nullptr ? 2 * 10 : 2);
  }
  EXPECT_EQ(instances, 2 * static_cast<long long>(std::size(codes)));
}

TEST(RegionRecord, ReadsWhatTheToolWritesAndRefusesAnythingElse) {
  region_run run;
  std::vector<std::string> objects;
  std::vector<unsigned long long> offsets;
  const std::string record =
      "omp_sums-regions 1\nns_per_event 51.2\n"
      "region 0x55ebc8c9638b 3 2 0.25 18 0x138b /opt/my program\n"
      "thread 0 0.1 0.13 0 2e-05\nthread 1 0.2 0 0.01 0.002\n";
  ASSERT_EQ(read_region_record(record, run, objects, offsets), "");
  EXPECT_DOUBLE_EQ(run.ns_per_event, 51.2);
  ASSERT_EQ(run.regions.size(), 1u);
  EXPECT_EQ(run.regions[0].instances, 3);
  EXPECT_EQ(run.regions[0].team, 2);
  EXPECT_EQ(run.regions[0].events, 18);
  EXPECT_EQ(objects, std::vector<std::string>{"/opt/my program"});
  EXPECT_EQ(offsets, std::vector<unsigned long long>{0x138b});
  ASSERT_EQ(run.regions[0].threads.size(), 2u);
  EXPECT_EQ(run.regions[0].threads[1], (region_time{0.2, 0, 0.01, 0.002}));

  // The regions past the tool's bound come together, at address 0, with no object of their own.
  ASSERT_EQ(read_region_record("omp_sums-regions 1\nns_per_event 1\nregion 0x0 9 2 1 0 0x0 \nthread 0 1 0 0 0\n", run,
                               objects, offsets),
            "");
  EXPECT_EQ(objects, std::vector<std::string>{""});
  EXPECT_EQ(run.regions.at(0).instances, 9);

  const std::string head = "omp_sums-regions 1\nns_per_event 51.2\n";
  for (const std::string& bad :
       {std::string("omp_sums-regions 2\nns_per_event 1\n"), std::string("omp_sums-regions 1\nns_per_event -1\n"),
        head + "thread 0 1 1 1 1\n",  // a thread before any region
        head + "region 0x1 1 2 nan 0 0x1 /a\n", head + "region 0x1 1 2 1 0 0x1 /a\nthread 0 1 -1 0 0\n",
        head + "region 0x1 1 2 1 0 0x1 /a\nthread 99999999 1 1 0 0\n", head + "rm -rf /\n"}) {
    SCOPED_TRACE(bad);
    EXPECT_NE(read_region_record(bad, run, objects, offsets), "");
    EXPECT_TRUE(run.regions.empty());
  }
}

// A run of one region on two threads: thread 0 waits BARRIER of its region's time at the end.
region_run two_thread_run(const run_case& c, int round, double barrier,
                          const std::string& where = "imb.cpp:12 (main)") {
  recorded_region region{where, 1, 2, 1.0, 6, {{1 - barrier, barrier, 0, 0}, {1, 0, 0, 0}}};
  return {c, round, "", 1.0, 50, {region}};
}

TEST(RegionFigures, GiveSharesWithIntervalsAndTheLargestLossInASentence) {
  report r = fixed_report(7, 1.0, {"sum_walltime"});
  const run_case& c = *std::find_if(r.plan.cases.begin(), r.plan.cases.end(), [](const run_case& each) {
    return each.threads == 2 && each.program->role != program_role::calibration;
  });
  // Barrier waits of 60% to 72% of thread 0's time: 30% to 36% of the team's.
  for (int round = 1; round <= 7; ++round) r.region_runs.push_back(two_thread_run(c, round, 0.58 + 0.02 * round));
  const std::vector<case_regions> figures = region_figures(r.plan, r.region_runs, {}, r.facts);
  ASSERT_EQ(figures.size(), 1u);
  const case_regions& f = figures[0];
  EXPECT_EQ(f.recorded, 7);
  EXPECT_NEAR(f.barrier.median, 0.33, 1e-9);
  EXPECT_NEAR(f.barrier.low, 0.30, 1e-9);
  EXPECT_NEAR(f.barrier.high, 0.36, 1e-9);
  EXPECT_NEAR(f.work.median, 0.67, 1e-9);
  EXPECT_EQ(f.loss_kind, "barrier");
  // The timed runs' runtime, as the build's facts give it, stands beside the tool's.
  EXPECT_EQ(f.timed_runtime, "libgomp");
  EXPECT_EQ(f.loss_where, "imb.cpp:12 (main)");
  ASSERT_EQ(f.regions.size(), 1u);
  EXPECT_NEAR(f.regions[0].imbalance, 1 / ((1 + 0.34) / 2), 1e-9);
  EXPECT_EQ(f.sentence, case_name(r.plan, c) +
                            ": 33% [30, 36] of the team's time waits at the barriers of the region at imb.cpp:12 "
                            "(main); its slowest thread works 1.49x the mean.");

  // Balanced, and too few runs for 95%: the work is what is said, with what the runs cover.
  std::vector<region_run> balanced;
  for (int round = 1; round <= 3; ++round) balanced.push_back(two_thread_run(c, round, 0.0));
  const std::vector<case_regions> few = region_figures(r.plan, balanced, {}, r.facts);
  ASSERT_EQ(few.size(), 1u);
  EXPECT_EQ(few[0].sentence, case_name(r.plan, c) +
                                 ": 100% [100, 100] of the team's time is work; no region loses 5% of it for "
                                 "certain; the heaviest region's slowest thread works 1.00x the mean (3 runs: the "
                                 "intervals cover 75%, not 95%).");

  // No record: why, in one line.
  const std::vector<case_regions> none =
      region_figures(r.plan, {{c, 1, "the region tool did not load into it", -1, -1, {}}}, {}, r.facts);
  ASSERT_EQ(none.size(), 1u);
  EXPECT_EQ(none[0].sentence, case_name(r.plan, c) + ": no region figures: the region tool did not load into it.");
}

TEST(RegionFigures, ComeBackFromASavedRun) {
  report r = fixed_report(7, 1.0, {"sum_walltime"});
  for (const run_case& c : r.plan.cases) {
    if (c.program->role == program_role::calibration) continue;
    for (int round = 1; round <= 3; ++round) r.region_runs.push_back(two_thread_run(c, round, 0.1 * round));
  }
  analyse(r);
  writing how;
  const std::string saved = as_json(r, how);
  report back;
  ASSERT_EQ(report_from_json(saved, back), "");
  analyse(back);
  ASSERT_EQ(back.region_runs.size(), r.region_runs.size());
  for (std::size_t k = 0; k < r.region_runs.size(); ++k) {
    EXPECT_TRUE(same_case(back.region_runs[k].c, r.region_runs[k].c));
    EXPECT_EQ(back.region_runs[k].regions, r.region_runs[k].regions);
  }
  ASSERT_EQ(back.regions.size(), r.regions.size());
  for (std::size_t k = 0; k < r.regions.size(); ++k) EXPECT_EQ(back.regions[k].sentence, r.regions[k].sentence);
  EXPECT_EQ(as_json(back, how), saved);
  EXPECT_NE(saved.find("\"barrier_share_ci_high\""), std::string::npos);
}

TEST(RegionComparison, CallsLessWaitingOnlyWithTheIntervalsApartAndEnoughRuns) {
  const std::vector<double> before{0.30, 0.31, 0.32, 0.33, 0.34, 0.35, 0.36};
  const std::vector<double> after{0.00, 0.01, 0.01, 0.02, 0.02, 0.03, 0.03};
  EXPECT_EQ(compared_region_of("r", before, after).verdict, "less waiting");
  EXPECT_EQ(compared_region_of("r", after, before).verdict, "more waiting");
  EXPECT_EQ(compared_region_of("r", before, before).verdict, "no measurable difference");
  // Shifted by a little: the U test sees it, but the intervals overlap, so no verdict is called.
  const std::vector<double> shifted{0.34, 0.35, 0.36, 0.37, 0.38, 0.39, 0.40};
  const compared_region overlapping = compared_region_of("r", before, shifted);
  EXPECT_LT(overlapping.p_value, kAlpha);
  EXPECT_EQ(overlapping.verdict, "cannot tell");
  const compared_region few = compared_region_of("r", {0.3, 0.31, 0.32}, {0.0, 0.01, 0.02});
  EXPECT_EQ(few.verdict, "cannot tell");
  EXPECT_EQ(few.sentence,
            "r: waiting 31% [30, 32] in the base, 1% [0, 2] in the new run: cannot tell (too few runs for 95% "
            "intervals (3 and 3)).");

  // Two saved runs of the same case pair their regions by where they lie.
  report base = fixed_report(7, 1.0, {"sum_walltime"});
  report now = fixed_report(7, 1.0, {"sum_walltime"});
  const run_case two = *std::find_if(base.plan.cases.begin(), base.plan.cases.end(), [](const run_case& each) {
    return each.threads == 2 && each.program->role != program_role::calibration;
  });
  for (int round = 1; round <= 7; ++round) {
    base.region_runs.push_back(two_thread_run(two, round, 0.6 + 0.01 * round));
    now.region_runs.push_back(two_thread_run(two, round, 0.01 * round));
  }
  analyse(base);
  analyse(now);
  const comparison compared = compare_reports("base.json", "new.json", base, now);
  ASSERT_EQ(compared.regions.size(), 1u);
  EXPECT_EQ(compared.regions[0].name, case_name(base.plan, two) + " at imb.cpp:12 (main)");
  EXPECT_EQ(compared.regions[0].verdict, "less waiting");

  // Merged, each machine's waiting stands in its own cell.
  const merged_runs merged = merge_runs({"a/node.json", "b/node.json"}, {base, now});
  ASSERT_EQ(merged.regions.size(), 1u);
  EXPECT_EQ(merged.regions[0].measured, (std::vector<bool>{true, true}));
  EXPECT_NEAR(merged.regions[0].waiting[0].median, 0.32, 1e-9);
  EXPECT_NEAR(merged.regions[0].waiting[1].median, 0.02, 1e-9);
}

}  // namespace
