// The headlines on fixed figures: each sentence says only what its whole interval supports, and
// reads the effect against the host's own references.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/fixed_figures.hpp"
#include "tools/analysis/aggregate.hpp"
#include "tools/analysis/headlines.hpp"
#include "tools/analysis/sentences.hpp"
#include "tools/run/planning.hpp"

using namespace omp_sums;

namespace {

TEST(Headlines, SayOnlyWhatTheirIntervalsSupport) {
  run_plan plan;
  plan.threads = {1, 2, 8};
  plan.sizes = {counted_size(20000000)};
  plan.settings = {{}};
  figures measured;
  measured.cases = {
      stats_of("sum_walltime", 1, around(0.012), plan.sizes[0].elements),
      stats_of("sum_walltime", 2, around(0.012), plan.sizes[0].elements),  // no faster
      stats_of("sum_walltime", 8, around(0.006), plan.sizes[0].elements),  // faster, but on 8 threads over 2 processors
      stats_of("sum_slots_packed", 2, around(0.12), plan.sizes[0].elements),
      stats_of("sum_slots_padded", 2, around(0.036), plan.sizes[0].elements),
  };
  measured.floors = {{floor_kind::line_transfer, 2, 0, around(200), 200, median_interval(around(200))}};
  const std::vector<headline> said = headlines(plan, measured, 2, 1);
  ASSERT_EQ(said.size(), 4u);  // no sentence on the in-order cost: no floor of it was measured
  EXPECT_EQ(said[0].text.rfind("sum_walltime, 2 threads: 1.00x [", 0), 0u) << said[0].text;
  EXPECT_NE(said[0].text.find("the speed of 1 thread: no measurable difference."), std::string::npos) << said[0].text;
  EXPECT_FALSE(said[0].supported);
  EXPECT_NE(said[1].text.find("faster than 1 thread (8 threads on 2 processors: oversubscribed, ideal 2)."),
            std::string::npos)
      << said[1].text;
  EXPECT_TRUE(said[1].supported);
  EXPECT_NEAR(said[1].ratio, 2.0, 1e-12);
  EXPECT_NE(said[2].text.find("the cost of false sharing. Each element costs each thread 8.4 ns more"),
            std::string::npos)
      << said[2].text;
  EXPECT_TRUE(said[2].supported);
  EXPECT_GT(said[2].ci.low, 1.0);
  EXPECT_EQ(said[3].text.rfind("Teams of more than 2 threads are oversubscribed", 0), 0u) << said[3].text;
  EXPECT_LT(said[3].ratio, 0);
}

// Seven values spread evenly from median * (1 - width) to median * (1 + width).
std::vector<double> spread(double median, double width) {
  std::vector<double> values;
  for (int k = -3; k <= 3; ++k) values.push_back(median * (1 + width * k / 3));
  return values;
}

std::string texts(const std::vector<headline>& said) {
  std::string text;
  for (const headline& sentence : said) text += sentence.text + "\n";
  return text;
}

// Each sentence's words hold for its whole interval; zero times give no ratio; too few runs
// support nothing.
TEST(Headlines, ClaimOnlyWhatTheWholeIntervalSupports) {
  run_plan plan;
  plan.threads = {1, 2};
  plan.sizes = {counted_size(1000000)};
  plan.settings = {{}};
  const auto floor_of = [](floor_kind kind, int threads, const std::vector<double>& values) {
    return floor_stats{kind, threads, 0, values, summarise(values).median, median_interval(values)};
  };
  figures wide;
  wide.cases = {
      stats_of("sum_walltime", 1, spread(1.2e-3, 0.6), plan.sizes[0].elements),  // 1.2x the add latency, give or take
      stats_of("sum_walltime", 2, around(0.6e-3), plan.sizes[0].elements),
      stats_of("sum_slots_padded", 1, spread(1.05e-3, 0.6), plan.sizes[0].elements)};  // about the in-order floor
  wide.floors = {floor_of(floor_kind::add_latency, 1, around(1.0)),
                 floor_of(floor_kind::inorder_streams, 1, around(1e-3)),
                 floor_of(floor_kind::read_bandwidth, 1, around(6.4)),  // 1.25 ms for the array: slower than in order
                 floor_of(floor_kind::inorder_streams, 2, spread(0.5e-3, 0.6))};
  const std::vector<headline> wide_said = headlines(plan, wide, 2, 1);
  const std::string said = texts(wide_said);
  EXPECT_NE(said.find("this run cannot tell whether more than the adds costs."), std::string::npos) << said;
  EXPECT_NE(said.find("reads the array at 0.80x ["), std::string::npos) << said;
  EXPECT_NE(said.find("the speed of the in-order sum (6.4 GB/s): slower"), std::string::npos) << said;
  EXPECT_NE(said.find("the in-order floor: a running sum kept in memory costs nothing measurable"), std::string::npos)
      << said;
  EXPECT_NE(said.find("OpenMP's fork, barrier and join cost nothing measurable on top"), std::string::npos) << said;
  for (const headline& sentence : wide_said) {
    EXPECT_TRUE(!sentence.supported || sentence.ci.low > 1 || sentence.ci.high < 1) << sentence.text;
  }

  figures zero;  // a clock too coarse for the runs
  zero.cases = {stats_of("sum_walltime", 1, {0, 0, 0, 0, 0, 0, 0}, plan.sizes[0].elements),
                stats_of("sum_walltime", 2, {0, 0, 0, 0, 0, 0, 0}, plan.sizes[0].elements)};
  zero.floors = {floor_of(floor_kind::inorder_streams, 2, around(1e-3))};
  const std::vector<headline> zero_said = headlines(plan, zero, 2, 1);
  ASSERT_FALSE(zero_said.empty());
  EXPECT_NE(texts(zero_said).find("sum_walltime, 2 threads against 1 thread: no ratio (a median time is 0 s"),
            std::string::npos)
      << texts(zero_said);
  for (const headline& sentence : zero_said) {
    EXPECT_EQ(sentence.text.find("nan"), std::string::npos) << sentence.text;
    EXPECT_EQ(sentence.text.find("inf"), std::string::npos) << sentence.text;
    EXPECT_LT(sentence.ratio, 0);
  }

  figures two_runs;
  two_runs.cases = {stats_of("sum_walltime", 1, {1.0e-3, 1.0e-3}, plan.sizes[0].elements),
                    stats_of("sum_walltime", 2, {0.5e-3, 0.5e-3}, plan.sizes[0].elements)};
  const std::vector<headline> few = headlines(plan, two_runs, 2, 1);
  ASSERT_FALSE(few.empty());
  EXPECT_EQ(few[0].text.rfind("sum_walltime, 2 threads: 2.00x [2.00, 2.00]* the speed of 1 thread: this run cannot "
                              "tell: too few runs for a 95% interval",
                              0),
            0u)
      << few[0].text;
  EXPECT_EQ(few[0].reads, reading::cannot_tell);
  EXPECT_FALSE(few[0].supported);
  EXPECT_FALSE(few[0].precise);
}

// Packed over padded is read against plain threads' sums in one line over a line apart: a host
// that shows false sharing, and one that hides it from running sums but not from atomic adds.
TEST(Headlines, ReadFalseSharingAgainstTheHostsOwnReference) {
  run_plan plan;
  plan.threads = {2};
  plan.sizes = {counted_size(20000000)};
  plan.settings = {{}};
  const auto said_for = [&](double programs, double plain, double atomics) {
    figures measured;
    measured.cases = {stats_of("sum_slots_packed", 2, around(0.04 * programs), plan.sizes[0].elements),
                      stats_of("sum_slots_padded", 2, around(0.04), plan.sizes[0].elements)};
    for (const auto& [kind, median] : {std::pair{floor_kind::shared_line_sums, 0.03 * plain},
                                       {floor_kind::separate_line_sums, 0.03},
                                       {floor_kind::shared_line_atomic_adds, 0.002 * atomics},
                                       {floor_kind::separate_line_atomic_adds, 0.002}}) {
      measured.floors.push_back({kind, 2, 0, around(median), median, median_interval(around(median))});
    }
    const std::vector<headline> said = headlines(plan, measured, 2, 1);
    EXPECT_EQ(said.size(), 1u);
    return said.front();
  };
  const headline shows = said_for(3.0, 3.1, 5.0);
  EXPECT_EQ(shows.effect, effect_kind::false_sharing);
  EXPECT_EQ(shows.reference_name, "shared_line_sums/separate_line_sums");
  EXPECT_NEAR(shows.reference_ratio, 3.1, 1e-12);
  EXPECT_NE(shows.text.find("Plain threads keeping running sums in one line take 3.10x ["), std::string::npos)
      << shows.text;
  EXPECT_NE(shows.text.find("the programs show the false sharing this processor has."), std::string::npos)
      << shows.text;

  const headline hides = said_for(1.0, 1.0, 5.0);
  EXPECT_NE(hides.text.find("no cost of false sharing shows in this run."), std::string::npos) << hides.text;
  EXPECT_NE(hides.text.find("this processor hides false sharing from a running sum kept in memory"), std::string::npos)
      << hides.text;
  EXPECT_NE(hides.text.find("atomic adds on one line show it: 5.00x ["), std::string::npos) << hides.text;

  const headline differ = said_for(1.0, 3.0, 5.0);  // the programs show less than the host has: no explanation
  EXPECT_EQ(differ.text.find("hides"), std::string::npos) << differ.text;
  EXPECT_EQ(differ.text.find("the programs show"), std::string::npos) << differ.text;

  plan.threads = {2};
  figures few;  // 3 runs a side: 3x, but no 95% interval, so neither "shows" nor "hides"
  few.cases = {stats_of("sum_slots_packed", 2, {0.12, 0.121, 0.119}, plan.sizes[0].elements),
               stats_of("sum_slots_padded", 2, {0.04, 0.041, 0.039}, plan.sizes[0].elements)};
  for (floor_kind kind : {floor_kind::shared_line_sums, floor_kind::separate_line_sums}) {
    const std::vector<double> values = kind == floor_kind::shared_line_sums ? std::vector<double>{0.09, 0.091, 0.089}
                                                                            : std::vector<double>{0.03, 0.031, 0.029};
    few.floors.push_back({kind, 2, 0, values, values[0], median_interval(values)});
  }
  const std::string text = headlines(plan, few, 2, 1).front().text;
  EXPECT_EQ(text.find("hides"), std::string::npos) << text;
  EXPECT_EQ(text.find("the programs show"), std::string::npos) << text;
}

// The reduction's excess over its floor is read against the host's fork/join after idle, barrier
// and atomic adds, and claims only what both intervals support.
TEST(Headlines, ReadTheReductionsExcessAgainstTheHostsConstructs) {
  run_plan plan;
  plan.threads = {1, 2};
  plan.sizes = {counted_size(10000000)};
  plan.settings = {{}};
  const auto said_for = [&](double team_seconds, double fork_join_width = 0) {
    figures measured;
    measured.cases = {stats_of("sum_walltime", 1, around(0.006), plan.sizes[0].elements),
                      stats_of("sum_walltime", 2, around(team_seconds), plan.sizes[0].elements)};
    for (const auto& [kind, median] : {std::pair{floor_kind::inorder_streams, 0.003},
                                       {floor_kind::fill, 0.042},
                                       {floor_kind::fork_join_after_idle, 90.0},
                                       {floor_kind::barrier, 1.5},
                                       {floor_kind::atomic_add, 30.0}}) {
      const std::vector<double> values = kind == floor_kind::fork_join_after_idle && fork_join_width > 0
                                             ? spread(median, fork_join_width)
                                             : around(median);
      measured.floors.push_back({kind, 2, 0, values, median, median_interval(values)});
    }
    measured.floors.push_back(
        {floor_kind::inorder_streams, 1, 0, around(0.006), 0.006, median_interval(around(0.006))});
    return headlines(plan, measured, 2, 1).front();
  };
  const headline woken = said_for(0.0031);  // 100 us over the floor: one wake-up, barrier and adds
  EXPECT_EQ(woken.effect, effect_kind::openmp_cost);
  EXPECT_EQ(woken.reference_name, "fork_join_after_idle+barrier+atomic_adds");
  EXPECT_NE(woken.text.find("on this host: 91.6 us ["), std::string::npos) << woken.text;
  EXPECT_NE(woken.text.find(": about what they take."), std::string::npos) << woken.text;
  EXPECT_NE(woken.text.find("after the team idled 42.0 ms, as long as the programs' fill,"), std::string::npos)
      << woken.text;
  // Constructs spread from a few to nearly 200 us say nothing of what the excess is made of.
  const headline spread_out = said_for(0.0031, 0.95);
  EXPECT_NE(spread_out.text.find(": this run cannot tell how they compare (the constructs' interval is too wide)."),
            std::string::npos)
      << spread_out.text;
  EXPECT_EQ(spread_out.text.find("about what they take"), std::string::npos) << spread_out.text;
  const headline more = said_for(0.004);  // 1 ms over the floor
  EXPECT_NE(more.text.find(": more than those constructs take."), std::string::npos) << more.text;
  // No measurable excess: nothing is said of what it is made of.
  const headline none = said_for(0.00302);  // 20 us over it, within the intervals
  EXPECT_NE(none.text.find("cost nothing measurable on top."), std::string::npos) << none.text;
  EXPECT_EQ(none.text.find("Its excess"), std::string::npos) << none.text;
}

// Below 1 ms start-up dominates the runs: no figure per element, and a sentence saying why.
TEST(Headlines, GiveFiguresPerElementOnlyForRunsOfAMillisecondOrMore) {
  run_plan plan;
  plan.threads = {1, 2};
  plan.sizes = {counted_size(1000000)};
  plan.settings = {{}};
  const auto said_for = [&](double one_thread_seconds) {
    figures measured;
    measured.cases = {stats_of("sum_walltime", 1, around(one_thread_seconds), plan.sizes[0].elements),
                      stats_of("sum_slots_packed", 2, around(2 * one_thread_seconds), plan.sizes[0].elements),
                      stats_of("sum_slots_padded", 2, around(one_thread_seconds), plan.sizes[0].elements)};
    measured.floors = {{floor_kind::add_latency, 1, 0, around(0.5), 0.5, median_interval(around(0.5))},
                       {floor_kind::line_transfer, 2, 0, around(200), 200, median_interval(around(200))}};
    std::string text;
    for (const headline& sentence : headlines(plan, measured, 2, 1)) text += sentence.text + "\n";
    return text;
  };
  const std::string short_runs = said_for(0.0009);
  EXPECT_NE(short_runs.find("The timed intervals are below 1 ms (sum_walltime on 1 thread: 0.900 ms)"),
            std::string::npos)
      << short_runs;
  EXPECT_EQ(short_runs.find("ns per element"), std::string::npos) << short_runs;
  EXPECT_EQ(short_runs.find("Each element costs"), std::string::npos) << short_runs;
  const std::string long_runs = said_for(0.001);
  EXPECT_EQ(long_runs.find("below 1 ms"), std::string::npos) << long_runs;
  EXPECT_NE(long_runs.find("One thread sums in order at 1.000 ns per element, 2.00x ["), std::string::npos)
      << long_runs;
  EXPECT_NE(long_runs.find("Each element costs each thread 2.0 ns more"), std::string::npos) << long_runs;
}

}  // namespace

// The page pair: both local shares always; a time ratio only over several nodes, where a kernel
// that moves or coarsens pages is named beside it.
TEST(Headlines, ReadWherePagesLieAndTheirTimeOnlyOverSeveralNodes) {
  run_plan plan;
  plan.threads = {2};
  plan.sizes = {counted_size(20000000)};
  plan.settings = {{}};
  figures measured;
  measured.cases = {stats_of("sum_touch_main", 2, around(0.02), plan.sizes[0].elements),
                    stats_of("sum_touch_team", 2, around(0.01), plan.sizes[0].elements)};
  measured.cases[0].local_pages_percent = 50;
  measured.cases[1].local_pages_percent = 99.6;

  const std::vector<headline> one_node = page_placement(plan, measured, 1, "");
  ASSERT_EQ(one_node.size(), 1u);
  EXPECT_NE(one_node[0].text.find("50% of each block's pages on the NUMA node of the thread that reads it "
                                  "(sum_touch_main); filled by the team in the blocks it reads, 100% (sum_touch_team)"),
            std::string::npos)
      << one_node[0].text;
  EXPECT_NE(one_node[0].text.find("can differ only by noise here"), std::string::npos) << one_node[0].text;
  EXPECT_FALSE(one_node[0].supported);

  run_facts facts;
  facts.transparent_huge_pages = "madvise";
  facts.numa_balancing = 1;
  const std::vector<headline> two_nodes = page_placement(plan, measured, 2, kernel_placement_caveat(facts));
  ASSERT_EQ(two_nodes.size(), 1u);
  EXPECT_TRUE(two_nodes[0].supported);
  EXPECT_NEAR(two_nodes[0].ratio, 0.5, 1e-12);
  EXPECT_NE(two_nodes[0].text.find("the team's takes 0.50x ["), std::string::npos) << two_nodes[0].text;
  EXPECT_NE(two_nodes[0].text.find("pages beside their reader are read faster; automatic NUMA balancing is on"),
            std::string::npos)
      << two_nodes[0].text;
  EXPECT_EQ(two_nodes[0].text.find("huge pages"), std::string::npos) << two_nodes[0].text;  // madvise: only if asked

  // Time-shared, the pair still says where its pages lie, but not what their times show.
  measured.cases[0].time_shared = true;
  const std::vector<headline> shared = page_placement(plan, measured, 2, kernel_placement_caveat(facts));
  ASSERT_EQ(shared.size(), 1u);
  EXPECT_FALSE(shared[0].supported);
  EXPECT_NE(shared[0].text.find("100% (sum_touch_team); automatic NUMA balancing is on"), std::string::npos)
      << shared[0].text;
  EXPECT_NE(shared[0].text.find("the pair's times rest no sentence here"), std::string::npos) << shared[0].text;
  measured.cases[0].time_shared = false;

  measured.cases[1].local_pages_percent = -1;  // the kernel could not say
  EXPECT_TRUE(page_placement(plan, measured, 2, "").empty());
}
