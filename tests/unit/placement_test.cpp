// Where threads ran, read against a machine hwloc describes (HWLOC_SYNTHETIC): cores shared,
// nodes left idle.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tools/analysis/placement.hpp"
#include "tools/run/topology.hpp"

using namespace omp_sums;

namespace {

constexpr char kTwoSockets[] = "pack:2 numa:2 core:4 pu:2";

TEST(Topology, PlacementIsReadAgainstCoresAndNodes) {
  setenv("HWLOC_SYNTHETIC", kTwoSockets, 1);
  const machine_topology machine = read_topology();
  unsetenv("HWLOC_SYNTHETIC");
  ASSERT_EQ(machine.processors, 32);
  // Two hardware threads a core, eight processors a NUMA node.
  const placement_summary core = analyse_placement({{{0, 0}, {1, 1}}}, machine);
  EXPECT_EQ(core.runs_sharing_core, 1);
  EXPECT_EQ(core.runs_sharing_processor, 0);
  EXPECT_EQ(core.runs_on_one_node, 1);
  const placement_summary spread = analyse_placement({{{0, 0}, {1, 8}}, {{0, 2}, {1, 16}}}, machine);
  EXPECT_EQ(spread.runs, 2);
  EXPECT_EQ(spread.distinct_processors, 2);                                            // counted within each run
  EXPECT_EQ(analyse_placement({{{0, 0}}, {{0, 1}}}, machine).distinct_processors, 1);  // one thread moved between runs
  EXPECT_EQ(spread.runs_sharing_core, 0);
  EXPECT_EQ(spread.runs_on_one_node, 0);
  const placement_summary one = analyse_placement({{{0, 3}, {1, 3}, {2, 5}}}, machine);
  EXPECT_EQ(one.runs_sharing_processor, 1);
  EXPECT_EQ(one.node, 0);
}

}  // namespace
