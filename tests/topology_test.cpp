// sum_compare on machines bigger than this one, described to hwloc (HWLOC_SYNTHETIC), and its
// settings side by side.
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/program_harness.hpp"

namespace {

constexpr char kTwoSockets[] = "pack:2 numa:2 core:4 pu:2";

child_result compare_on(const char* synthetic, const std::vector<std::string>& args,
                        const std::vector<std::pair<std::string, std::string>>& settings = {}) {
  std::vector<std::string> env = environment_without_runtime_settings();
  if (synthetic != nullptr) set_variable(env, "HWLOC_SYNTHETIC", synthetic);
  for (const auto& [name, value] : settings) set_variable(env, name, value);
  return run_child(program_path("sum_compare"), args, env);
}

TEST(Topology, TheHeaderAndTheTeamSizesFollowTheMachineHwlocDescribes) {
  const child_result run = compare_on(kTwoSockets, {"--dry-run"});
  ASSERT_EQ(run.exit_status, 0) << run.err;
  const std::vector<std::string> lines = output_lines(run.out);
  EXPECT_EQ(lines.at(0).substr(lines[0].find(", threads ")), ", threads 1,2,4,8,16,32");
  EXPECT_NE(run.out.find("\ntopology:    2 packages, 4 NUMA nodes, 16 cores, 32 processors"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("may use 32: 0-31\n"), std::string::npos) << run.out;
}

TEST(Topology, ABoundTeamOnOneNodeOfSeveralIsWarnedAbout) {
  // Whatever processors of this machine the threads report, hwloc's description puts them on node 0.
  const child_result run =
      compare_on(kTwoSockets, {"--programs", "sum_slots_padded", "--threads", "2", "--size", "1000", "--repeat", "1"},
                 {{"OMP_PROC_BIND", "close"}});
  ASSERT_EQ(run.exit_status, 0) << run.out << run.err;
  std::string unwrapped = run.out;  // the warnings are wrapped at 100 columns
  for (std::size_t at = unwrapped.find("\n  "); at != std::string::npos; at = unwrapped.find("\n  ", at)) {
    unwrapped.replace(at, 3, " ");
  }
  EXPECT_NE(unwrapped.find("under OMP_PROC_BIND=close every thread sat on NUMA node 0 in 1 of 1 runs"),
            std::string::npos)
      << run.out;
}

TEST(Settings, EveryCaseRunsUnderEachValueSideBySide) {
  const scratch_directory out;
  const auto json_path = out.path / "runs.json";
  const child_result run =
      compare_on(nullptr, {"--programs", "sum_walltime,sum_slots_packed", "--threads", "2", "--size", "1000",
                           "--repeat", "1", "--env", "OMP_PROC_BIND=close,spread", "--json", json_path.string()});
  ASSERT_EQ(run.exit_status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("\nunder OMP_PROC_BIND=close:\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\nunder OMP_PROC_BIND=spread:\n"), std::string::npos) << run.out;
  const nlohmann::json json = written_json_file(json_path);
  ASSERT_EQ(json["aggregates"].size(), 4u);
  EXPECT_EQ(json["aggregates"][0]["settings"]["OMP_PROC_BIND"], "close");
  EXPECT_EQ(json["aggregates"][3]["settings"]["OMP_PROC_BIND"], "spread");
  EXPECT_TRUE(json["aggregates"][0]["placement"].is_null());  // sum_walltime prints no placement lines
  EXPECT_EQ(json["aggregates"][1]["placement"]["distinct_processors"].get<int>() >= 1, true);
  EXPECT_EQ(json["runs"][0]["settings"]["OMP_PROC_BIND"], "close");
  EXPECT_EQ(json["env"]["OMP_PROC_BIND"], (nlohmann::json{"close", "spread"}));

  const child_result places = compare_on(nullptr, {"--dry-run", "--env", "OMP_PLACES={0,1},{1}"});
  EXPECT_NE(places.out.find("[OMP_PLACES={0,1}] [OMP_PLACES={1}]"), std::string::npos) << places.out;
}

}  // namespace
