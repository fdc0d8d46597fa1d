// The caches a read sweep finds, on fixed sweeps, against what synthetic machines report: a cloud
// machine that claims an L3 of 508 MiB per core, one that reports its caches right, and one that
// reports no L3.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/unit/fixed_report.hpp"
#include "tools/analysis/cache_levels.hpp"
#include "tools/analysis/comparison.hpp"
#include "tools/analysis/judged.hpp"
#include "tools/analysis/merge.hpp"
#include "tools/catalog/sizes.hpp"
#include "tools/run/topology.hpp"

using namespace omp_sums;

namespace {

machine_topology synthetic(const char* description) {
  setenv("HWLOC_SYNTHETIC", description, 1);
  const machine_topology machine = read_topology();
  unsetenv("HWLOC_SYNTHETIC");
  return machine;
}

// Two cores, each with an L1d of 48 KiB and an L2 of 1 MiB, and, as they report it, an L3 of
// 508 MiB each.
machine_topology claiming_508_mib() {
  return synthetic("pack:1 l3:2(size=532676608) l2:1(size=1048576) l1d:1(size=49152) core:1 pu:1");
}

constexpr long long KiB = 1024;
constexpr long long MiB = 1024 * KiB;

// GB/s by working set, 16 KiB to 1 GiB, two a doubling.
read_sweep sweep_of(const std::vector<double>& one, const std::vector<double>& team) {
  read_sweep sweep{1LL << 30, {}, ""};
  for (const auto& [threads, speeds] : {std::pair{1, &one}, std::pair{2, &team}}) {
    long long bytes = 16 * KiB;
    for (std::size_t k = 0; k < speeds->size(); ++k) {
      sweep.points.push_back({threads, bytes, (*speeds)[k]});
      bytes = k % 2 == 0 ? bytes / 2 * 3 : bytes / 3 * 4;
    }
  }
  return sweep;
}

// The cloud machine as a read sweep saw it: one thread steps down past 48 KiB, 1 MiB and 32 MiB,
// then reads at memory speed from 64 MiB to 1 GiB; two threads have twice the private caches
// and share the third.
read_sweep cloud_sweep() {
  return sweep_of({180, 181, 179, 176, 95, 93, 92, 91, 90, 89, 88, 86, 84, 55, 53, 52, 51,
                   50,  50,  49,  48,  46, 44, 30, 22, 21, 21, 21, 21, 20, 21, 21, 20},
                  {350, 352, 355, 350, 345, 340, 185, 182, 180, 178, 176, 174, 170, 168, 165, 100, 98,
                   96,  95,  93,  90,  85,  75,  45,  32,  31,  30,  30,  30,  30,  29,  30,  30});
}

TEST(CacheLevels, AreFoundWhereReadsStepDown) {
  const measured_caches caches = measure_caches(claiming_508_mib(), cloud_sweep());
  EXPECT_EQ(caches.one.steps, (std::vector<long long>{48 * KiB, 1 * MiB, 32 * MiB}));
  EXPECT_DOUBLE_EQ(caches.one.memory_gb_per_s, 21);
  EXPECT_EQ(caches.one.reach, 48 * MiB);  // 30 GB/s is still 1.3x memory's 21
  EXPECT_EQ(caches.team.steps, (std::vector<long long>{96 * KiB, 2 * MiB, 32 * MiB}));
  EXPECT_EQ(caches.team.reach, 48 * MiB);  // the third level shared: no farther on two threads
  EXPECT_EQ(measured_line(caches),
            "reads step down past about 48 KiB, 1 MiB and 32 MiB; memory speed (21 GB/s on 1 thread, 30 GB/s on 2 "
            "threads) from about 64 MiB on");

  // A stray point either way makes no step.
  read_sweep noisy = cloud_sweep();
  noisy.points[17].gb_per_s = 90;  // 6 MiB, one thread
  noisy.points[20].gb_per_s = 25;  // 16 MiB
  EXPECT_EQ(measure_caches(claiming_508_mib(), noisy).one.steps, caches.one.steps);

  // Flat: no cache told from memory, so nothing is decided.
  const measured_caches flat = measure_caches(claiming_508_mib(), sweep_of(std::vector<double>(33, 20.0), {}));
  EXPECT_EQ(flat.one.memory_gb_per_s, 0);
  EXPECT_FALSE(flat.decides());
  EXPECT_NE(measured_line(flat).find("they tell no cache from memory, so the reported sizes stand"), std::string::npos)
      << measured_line(flat);
}

TEST(CacheLevels, ThatTheSweepRefutesGiveWayToItsMeasure) {
  const machine_topology cloud = claiming_508_mib();
  const measured_caches caches = measure_caches(cloud, cloud_sweep());
  ASSERT_TRUE(caches.decides());
  EXPECT_EQ(refuted_lines(caches), (std::vector<std::string>{"L3: reported 508 MiB x2; measured: reads fall to memory "
                                                             "speed beyond about 48 MiB on 1 thread, 48 MiB on 2 "
                                                             "threads; sizes follow the measurement"}));
  const machine_topology sized = as_measured(cloud, caches);
  // L1 and L2 hold; L3 is what two threads share, counted once and halved between them.
  const std::pair<const char*, int> expected[] = {
      {"L1", 3072}, {"L2", 65536}, {"L3", 1572864}, {"DRAM", static_cast<int>(4 * 48 * MiB / 8)}};
  for (const auto& [name, elements] : expected) {
    array_size size;
    ASSERT_EQ(resolve_size(name, sized, size), "") << name;
    EXPECT_EQ(size.elements, elements) << name;
    EXPECT_EQ(size.measured, std::string(name) == "L3" || std::string(name) == "DRAM") << name;
  }
  array_size dram;
  resolve_size("DRAM", sized, dram);
  EXPECT_EQ(size_rule(dram, sized),
            "four times the 48 MiB of cache that the usable processors reach as measured, 10000000 elements at least");

  // A machine that reports its caches right keeps them.
  const machine_topology right =
      synthetic("pack:1 l3:1(size=33554432) core:2 l2:1(size=524288) l1d:1(size=32768) pu:1");
  const read_sweep this_host =
      sweep_of({102, 102, 101, 101, 98, 98, 98, 99, 98, 90, 81, 58, 60, 65, 71, 64, 63,
                65,  64,  65,  60,  41, 27, 25, 23, 22, 21, 21, 21, 21, 21, 21, 21},
               {178, 187, 187, 188, 183, 178, 174, 173, 172, 172, 172, 141, 121, 87, 104, 114, 116,
                125, 125, 124, 103, 60,  41,  41,  44,  39,  39,  37,  37,  36,  37, 37,  37});
  const measured_caches held = measure_caches(right, this_host);
  EXPECT_FALSE(held.decides());
  EXPECT_TRUE(refuted_lines(held).empty());
  const machine_topology unchanged = as_measured(right, held);
  EXPECT_EQ(unchanged.share_per_processor, right.share_per_processor);
  EXPECT_EQ(unchanged.last_level_bytes, right.last_level_bytes);

  // One that reports no L3: its two levels hold, and the array beyond the caches follows how far
  // reads stay faster than memory, on one thread and on the team alike.
  const machine_topology no_l3 = synthetic("pack:1 l2:2(size=1048576) l1d:1(size=49152) core:1 pu:1");
  const measured_caches beyond = measure_caches(no_l3, cloud_sweep());
  EXPECT_TRUE(beyond.beyond_reported);
  read_sweep team_alone = cloud_sweep();  // one thread's reads reach memory speed past 2 MiB
  for (sweep_point& point : team_alone.points) {
    if (point.threads == 1 && point.bytes > 2 * MiB) point.gb_per_s = 21;
  }
  EXPECT_FALSE(measure_caches(no_l3, team_alone).decides());
  array_size l3;
  EXPECT_NE(resolve_size("L3", as_measured(no_l3, beyond), l3), "");
  resolve_size("DRAM", as_measured(no_l3, beyond), dram);
  EXPECT_EQ(dram.elements, static_cast<int>(4 * 48 * MiB / 8));

  // The sweep reads four times the last level, from 256 MiB to 1 GiB, a quarter of what is free.
  EXPECT_EQ(sweep_bytes(cloud, 0), 1LL << 30);
  EXPECT_EQ(sweep_bytes(cloud, 2ULL << 30), 512 * MiB);
  EXPECT_EQ(sweep_bytes(right, 0), 256 * MiB);
}

// A comparison says where the caches the sizes followed differ; a merge shows each machine's.
TEST(CacheLevels, AreSetSideBySideByComparisonsAndMerges) {
  const report base = fixed_report();
  report measured = base;
  measured.sweep = cloud_sweep();
  measured.caches = measure_caches(claiming_508_mib(), measured.sweep);
  const std::vector<std::string> differences = run_differences(base, measured);
  EXPECT_NE(std::find(differences.begin(), differences.end(),
                      "caches the sizes follow: none -> L3: reported 508 MiB x2; measured: reads fall to memory "
                      "speed beyond about 48 MiB on 1 thread, 48 MiB on 2 threads; sizes follow the measurement"),
            differences.end());
  EXPECT_TRUE(run_differences(measured, measured).empty());
  const merged_runs merged = merge_runs({"a.json", "b.json"}, {base, measured});
  EXPECT_EQ(merged.machines[0].caches, "");
  EXPECT_EQ(merged.machines[1].caches.rfind("reads step down past about 48 KiB, 1 MiB and 32 MiB; ", 0), 0u)
      << merged.machines[1].caches;
}

}  // namespace
