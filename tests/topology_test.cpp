// sum_compare on machines bigger than this one, described to hwloc (HWLOC_SYNTHETIC), and its
// settings side by side.
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/program_harness.hpp"

using namespace omp_sums;

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
  const child_result run = compare_on(kTwoSockets, {"--dry-run", "--size", "1000"});
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

  const child_result places = compare_on(nullptr, {"--dry-run", "--size", "1000", "--env", "OMP_PLACES={0,1},{1}"});
  EXPECT_NE(places.out.find("[OMP_PLACES={0,1}] [OMP_PLACES={1}]"), std::string::npos) << places.out;
}

// Two sizes, one of them named after a cache of the machine hwloc describes, run side by side:
// each a section of the table, a size in the saved runs, its own element count in the CSV.
TEST(Sizes, EachRunsSideBySideAsASettingOfItsOwn) {
  const scratch_directory out;
  const auto json_path = out.path / "runs.json";
  const auto csv_path = out.path / "runs.csv";
  const child_result run =
      compare_on("pack:1 l3:1(size=4MiB) core:2 l2:1(size=256KiB) l1d:1(size=32KiB) pu:1",
                 {"--size", "1000,L2", "--programs", "sum_walltime,sum_slots_padded", "--threads", "1,2", "--repeat",
                  "1", "--json", json_path.string(), "--csv", csv_path.string()});
  ASSERT_EQ(run.exit_status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("\nunder size 1000:\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\nunder size L2:\n"), std::string::npos) << run.out;
  const nlohmann::json json = written_json_file(json_path);
  // Half of an L2 of 256 KiB that serves one processor: 128 KiB.
  EXPECT_EQ(json["sizes"], nlohmann::json::parse(R"([
      {"name": "1000", "elements": 1000, "cache_level": null, "cache_bytes": null, "memory_bytes": null,
       "measured": false, "uncut_elements": null},
      {"name": "L2", "elements": 16384, "cache_level": 2, "cache_bytes": 262144, "memory_bytes": null,
       "measured": false, "uncut_elements": null}])"));
  // The read sweep ran before the plan, since a size is named after a cache, and is saved.
  EXPECT_FALSE(json["sweep"]["points"].empty()) << json["sweep"];
  EXPECT_NE(run.out.find("\nmeasured:    "), std::string::npos) << run.out;
  EXPECT_EQ(json["failed_runs"], 0);  // every sum exact at its own size
  ASSERT_EQ(json["aggregates"].size(), 8u);
  EXPECT_EQ(json["aggregates"][0]["size"], "1000");
  EXPECT_EQ(json["aggregates"][7]["size"], "L2");
  std::ifstream csv(csv_path);
  int at_l2 = 0;
  for (std::string line; std::getline(csv, line);) {
    if (line.rfind("sum_", 0) == 0 && line.find(",16384,") != std::string::npos &&
        line.find(",size L2") != std::string::npos)
      ++at_l2;
  }
  EXPECT_EQ(at_l2, 4);  // sum_walltime and sum_slots_padded on 1 and 2 threads, one run each
}

}  // namespace
