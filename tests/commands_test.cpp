// The caller's own program as a case (--command): a stand-in that says its time and where its
// threads ran, measured exactly so; commands that fail; a real example on 1 and 2 threads.
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/program_harness.hpp"

using namespace omp_sums;

namespace {

namespace fs = std::filesystem;

child_result compare(const std::vector<std::string>& args) {
  return run_child(program_path("sum_compare"), args, environment_without_runtime_settings());
}

// A script the command runs: /bin/sh with BODY.
std::string script(const scratch_directory& dir, const std::string& name, const std::string& body) {
  const fs::path path = dir.path / name;
  std::ofstream(path) << "#!/bin/sh\n" << body;
  fs::permissions(path, fs::perms::owner_all);
  return path.string();
}

}  // namespace

TEST(Commands, AStandInIsMeasuredByWhatItSaysAndPlacedWhereItsRuntimeSays) {
  const scratch_directory dir;
  // Two threads on one processor, as libgomp prints them (standard error), and its own time.
  const std::string stand_in = script(dir, "stand_in",
                                      "echo 'sum_compare-affinity 0 0' >&2\necho 'sum_compare-affinity 1 0' >&2\necho "
                                      "seconds=0.125\necho elements=1000\n");
  const std::string sleeper = script(dir, "sleeper", "sleep 0.2\n");
  const fs::path json_path = dir.path / "runs.json";
  const child_result run = compare({"--command", "stand_in=" + stand_in, "--command", "sleeper=" + sleeper, "--threads",
                                    "2", "--size", "1000", "--repeat", "2", "--json", json_path.string()});
  ASSERT_EQ(run.exit_status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("Placement: stand_in on 2 threads: two threads shared a processor in 2 of 2 runs"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("Placement unknown: sleeper: it printed no affinity lines"), std::string::npos);
  EXPECT_EQ(run.out.find("wrote to standard error"), std::string::npos) << "the affinity lines are the runtime's";
  const nlohmann::json json = written_json_file(json_path);
  EXPECT_EQ(json["programs"].size(), 0u);  // commands alone without --programs
  ASSERT_EQ(json["commands"].size(), 2u);
  for (const nlohmann::json& aggregate : json["aggregates"]) {
    if (aggregate["program"] == "stand_in") {
      EXPECT_EQ(aggregate["median_seconds"], 0.125);
      EXPECT_EQ(aggregate["median_ci_low"], 0.125);
      EXPECT_NEAR(aggregate["ns_per_element_per_thread"].get<double>(),
                  0.125e9 * aggregate["threads"].get<int>() / 1000, 1e-3);
    } else {
      // The process's wall time: at least its sleep.
      EXPECT_GE(aggregate["median_ci_low"].get<double>(), 0.2) << aggregate;
      EXPECT_TRUE(aggregate["ns_per_element_per_thread"].is_null());
    }
  }
  for (const nlohmann::json& saved : json["runs"]) {
    if (saved["program"] == "stand_in" && saved["threads"] == 2) {
      EXPECT_EQ(saved["placement"], (nlohmann::json{{"0", 0}, {"1", 0}}));
    }
  }
  // Read back, the commands are the same cases.
  const child_result again = compare({"--from", json_path.string()});
  EXPECT_EQ(again.exit_status, 0) << again.err;
  EXPECT_NE(again.out.find("stand_in               2 0.125000"), std::string::npos) << again.out;
}

TEST(Commands, AFailingCommandOrANumberThatIsNoneFailsTheRunWithTheReason) {
  const scratch_directory dir;
  const std::string failing = script(dir, "failing", "echo broken >&2\nexit 3\n");
  const std::string garbled = script(dir, "garbled", "echo seconds=soon\n");
  for (const auto& [command, reason] : {std::pair{"failing=" + failing, "exit status 3 (a valid run exits with 0)"},
                                        {"garbled=" + garbled, "its seconds= line holds no number of seconds"}}) {
    const child_result run = compare({"--command", command, "--threads", "1", "--size", "1000", "--repeat", "1"});
    EXPECT_EQ(run.exit_status, 1) << run.out << run.err;
    EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
  }
  const child_result missing = compare({"--command", "gone=" + (dir.path / "gone").string(), "--dry-run"});
  EXPECT_EQ(missing.exit_status, 2);
  EXPECT_NE(missing.err.find("--command gone cannot run"), std::string::npos) << missing.err;
}

TEST(Commands, ADryRunRunsNoCommandAndSaysItsTimeIsUnknown) {
  const scratch_directory dir;
  const fs::path touched = dir.path / "touched";
  const std::string toucher = script(dir, "toucher", "touch '" + touched.string() + "'\necho seconds=0.1\n");
  const child_result run = compare({"--command", "toucher=" + toucher, "--dry-run", "--size", "1000"});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_FALSE(fs::exists(touched));
  EXPECT_NE(run.out.find("(--dry-run runs no --command)"), std::string::npos) << run.out;
}

TEST(Commands, AnExampleRunsOnOneAndTwoThreadsBesideTheFloors) {
  const scratch_directory dir;
  const fs::path json_path = dir.path / "triad.json";
  const child_result run = compare({"--command", "triad=" + program_path("triad") + " 100000", "--threads", "1,2",
                                    "--size", "100000", "--repeat", "1", "--env", "OMP_PROC_BIND=close", "--env",
                                    "OMP_PLACES=threads", "--json", json_path.string()});
  ASSERT_EQ(run.exit_status, 0) << run.out << run.err;
  const nlohmann::json json = written_json_file(json_path);
  ASSERT_EQ(json["aggregates"].size(), 2u);
  for (const nlohmann::json& aggregate : json["aggregates"]) {
    EXPECT_EQ(aggregate["valid_runs"], 1);
    EXPECT_FALSE(aggregate["floor_seconds"].is_null() && aggregate["ns_per_element_per_thread"].is_null());
  }
  // Bound to places of one processor each, every thread of the team says where it ran (libgomp
  // says nothing of a team of one).
  for (const nlohmann::json& saved : json["runs"]) {
    if (saved["threads"] == 2) {
      EXPECT_EQ(saved.value("placement", nlohmann::json::object()).size(), 2u) << saved;
    }
  }
  EXPECT_NE(run.out.find("triad, 2 threads: "), std::string::npos) << run.out;
}

// What sum_compare writes, --from reads: every option at its limit makes a run that reads back,
// and one past any limit is refused before anything runs.
TEST(Commands, EveryOptionAtItsLimitReadsBackAndOnePastItIsRefused) {
  const scratch_directory dir;
  const fs::path json_path = dir.path / "limits.json";
  const auto plan = [&](std::size_t name, std::size_t line, std::size_t expect, std::size_t env_name,
                        std::size_t env_value, int variables, int commands) {
    std::vector<std::string> args = {"--programs", "sum_walltime", "--threads", "1", "--repeat", "1", "--size", "1000",
                                     "--json", json_path.string(), "--expect", std::string(2 + expect % 2, 'w')};
    for (std::size_t k = 0; k < (expect - 2) / 2; ++k) args.back() += ".?";  // matches the echoed word
    for (int k = 0; k < commands; ++k)
      args.insert(args.end(), {"--command", std::string(name - 2, 'n') + printed("%02d", k) + "=/bin/echo " +
                                                std::string(line - 10, 'w')});
    for (int k = 0; k < variables; ++k)
      args.insert(args.end(), {"--env", printed("E%02d", k) + std::string(env_name - 3, 'V') + "=" +
                                            std::string(env_value, 'v')});
    return args;
  };
  const child_result at_limits = compare(plan(64, 4096, 4096, 256, 4096, 64, 2));
  ASSERT_EQ(at_limits.exit_status, 0) << at_limits.err;
  const child_result again = compare({"--from", json_path.string()});
  EXPECT_EQ(again.exit_status, 0) << again.err;

  const std::vector<std::string> past[] = {
      plan(65, 10, 10, 10, 10, 1, 1),   plan(10, 4097, 10, 10, 10, 1, 1), plan(10, 10, 4097, 10, 10, 1, 1),
      plan(10, 10, 10, 257, 10, 1, 1),  plan(10, 10, 10, 10, 4097, 1, 1), plan(10, 10, 10, 10, 10, 65, 1),
      plan(10, 10, 10, 10, 10, 1, 65)};
  for (const std::vector<std::string>& args : past) {
    fs::remove(json_path);
    const child_result refused = compare(args);
    EXPECT_EQ(refused.exit_status, 2) << refused.err.substr(0, 300);
    EXPECT_FALSE(fs::exists(json_path));
  }
}
