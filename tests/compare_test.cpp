// The validator on real program output and on faults, and sum_compare end to end: its table,
// files, chart and options.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <tuple>

#include "tests/program_harness.hpp"
#include "tools/analysis/aggregate.hpp"
#include "tools/analysis/statistics.hpp"
#include "tools/catalog/plan.hpp"
#include "tools/catalog/suite_build.hpp"
#include "tools/report/json.hpp"

using namespace omp_sums;

namespace {

namespace fs = std::filesystem;

TEST(ReadRun, AcceptsRealOutputOfEveryComparedProgram) {
  for (const program_description& sum_program : kPrograms) {
    if (!sum_program.compared) continue;
    for (int threads : {1, 2, 3}) {
      const std::string name(sum_program.name);
      SCOPED_TRACE(name + " on " + std::to_string(threads));
      const program_run run = expect_valid_run(name, {"1000"}, {{"OMP_NUM_THREADS", std::to_string(threads)}},
                                               sum_program.on_team ? threads : 1, 1000);
      if (sum_program.fill == array_fill::index) {
        EXPECT_EQ(run.sum, "499500");
      }
      EXPECT_GE(run.seconds, 0.0);
      EXPECT_EQ(run.thread_seconds >= 0.0, sum_program.on_team);
    }
  }
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST(ReadRun, RejectsWrongSumsShapesStatusesAndTeams) {
  const program_description& padded = program("sum_slots_padded");
  const child_result good = run_with_threads("sum_slots_padded", {"1000"}, 2);
  ASSERT_EQ(read_run(padded, 1000, 2, good).problem, "");

  child_result wrong_sum = good;
  wrong_sum.out = replaced(good.out, "Sum is 499500,", "Sum is 499501,");
  EXPECT_EQ(read_run(padded, 1000, 2, wrong_sum).problem, "sum 499501, expected 499500");

  child_result other_wording = good;  // the packed program's wording is not the padded one's
  other_wording.out = replaced(good.out, " sec of wall-clock", " of wall-clock");
  EXPECT_NE(read_run(padded, 1000, 2, other_wording).problem.find("unexpected result line"), std::string::npos);

  child_result lost_placement = good;
  lost_placement.out = replaced(good.out, "thread  1 is running on core ", "thread  0 is running on core ");
  EXPECT_NE(read_run(padded, 1000, 2, lost_placement).problem, "");

  child_result unpadded = good;  // "%2d" pads to two characters
  unpadded.out = replaced(good.out, "thread  1 is", "thread 1 is");
  EXPECT_NE(read_run(padded, 1000, 2, unpadded).problem, "");

  EXPECT_NE(read_run(padded, 1000, 3, good).problem, "");  // a team of 2, not 3

  child_result failed = good;
  failed.exit_status = 1;
  EXPECT_EQ(read_run(padded, 1000, 2, failed).problem, "exit status 1");

  child_result truncated = good;
  truncated.out.pop_back();
  EXPECT_NE(read_run(padded, 1000, 2, truncated).problem, "");

  child_result impossible;
  impossible.out = printed(kTeamLine, 1) + "\n" + printed(kResultLine, 1500.0, 0.1, 0.1) + "\n";
  EXPECT_NE(read_run(program("sum_baseline"), 1000, 1, impossible).problem, "");
}

child_result compare(const std::vector<std::string>& args) {
  return run_child(program_path("sum_compare"), args, environment_without_runtime_settings());
}

TEST(SumCompare, ReportsAWrongSumWithTheRunsOutputAndFails) {
  const scratch_directory bin;
  const std::string wrong = printed(kResultLine, 4951.0, 0.001, 0.001);
  bin.stand_in("sum_walltime", "echo '" + printed(kTeamLine, 1) + "'\necho '" + wrong + "'\n");
  const child_result run = compare(
      {"--bin", bin.path.string(), "--programs", "sum_walltime", "--threads", "1", "--size", "100", "--repeat", "1"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_NE(run.err.find("FAILED: sum_walltime on 1 thread (run 0)"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("sum 4951, expected 4950"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(wrong), std::string::npos) << run.err;
  EXPECT_NE(run.out.find("2 runs failed"), std::string::npos) << run.out;  // warm-up too
}

TEST(SumCompare, ReportsAFailedRunAndFails) {
  const scratch_directory bin;
  bin.stand_in("sum_baseline", "echo '" + printed(kTeamLine, 2) + "'\necho 'out of luck' >&2\nexit 3\n");
  const child_result run = compare(
      {"--bin", bin.path.string(), "--programs", "sum_baseline", "--threads", "2", "--size", "100", "--repeat", "1"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_NE(run.err.find("FAILED: sum_baseline on 2 threads (run 1): exit status 3"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("out of luck"), std::string::npos);
}

std::vector<std::vector<std::string>> csv_rows(const fs::path& file) {
  std::ifstream in(file);
  std::vector<std::vector<std::string>> rows;
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false;
    for (char c : line) {
      if (c == '"') {
        quoted = !quoted;
      } else if (c == ',' && !quoted) {
        fields.push_back(field);
        field.clear();
      } else {
        field += c;
      }
    }
    fields.push_back(field);
    rows.push_back(fields);
  }
  return rows;
}

nlohmann::json read_json(const fs::path& file) { return written_json_file(file); }

TEST(SumCompare, WritesTheTableCsvAndJsonForEveryRun) {
  const scratch_directory out;
  const fs::path csv = out.path / "runs.csv";
  const fs::path json_path = out.path / "runs.json";
  const child_result run = compare(
      {"--size", "1000", "--repeat", "2", "--threads", "1,2", "--csv", csv.string(), "--json=" + json_path.string()});
  ASSERT_EQ(run.exit_status, 0) << run.out << run.err;
  EXPECT_EQ(run.err, "");  // not a terminal: no progress line
  for (const char* expected : {"processor:", "settings:", "build:", "plan:", "machine floor"}) {
    EXPECT_NE(run.out.find(expected), std::string::npos) << expected << "\n" << run.out;
  }
  // Which of the two is said, if either, the measured times decide (tested with fixed figures
  // elsewhere; on a busy machine the case or its floor may rest no sentence): never both.
  EXPECT_FALSE(run.out.find("The timed intervals are below 1 ms") != std::string::npos &&
               run.out.find("One thread sums in order at") != std::string::npos)
      << run.out;

  const auto rows = csv_rows(csv);
  // Per round: the parallel programs on 2 teams and the serial once; the calibration's floors
  // and references, all but the line transfer on one thread and all on two.
  const std::size_t on_team = std::count_if(std::begin(kPrograms), std::end(kPrograms),
                                            [](const program_description& p) { return p.compared && p.on_team; });
  const std::size_t floors = std::size(kFloors);
  const std::size_t of_one_thread = std::count_if(
      std::begin(kFloors), std::end(kFloors), [](const floor_description& floor) { return floor.fewest_threads == 1; });
  ASSERT_EQ(rows.size(), 1u + 2u * (on_team * 2 + 1) + 2u * (of_one_thread + floors));
  EXPECT_EQ(rows[0], (std::vector<std::string>{"program", "threads", "run", "elements", "wall_seconds",
                                               "thread_seconds", "sum", "valid", "problem", "settings"}));
  for (std::size_t k = 1; k < rows.size(); ++k) {
    ASSERT_EQ(rows[k].size(), 10u);
    EXPECT_EQ(rows[k][3], "1000");
    EXPECT_EQ(rows[k][7], "1");
    EXPECT_GE(std::stod(rows[k][4]), 0.0) << rows[k][0];
    if (rows[k][0].rfind("floor:", 0) == 0) continue;
    if (program(rows[k][0]).fill == array_fill::index) {
      EXPECT_EQ(rows[k][6], "499500");
    }
    EXPECT_EQ(rows[k][5].empty(), rows[k][0] == "sum_baseline_serial");
  }

  const nlohmann::json json = read_json(json_path);
  EXPECT_EQ(json["schema_version"], kJsonSchemaVersion);
  // A case whose threads other work held (on a busy machine) rests no sentence; the trust block
  // names it instead.
  const auto time_shared = [&](const char* program, int threads) {
    return std::any_of(json["aggregates"].begin(), json["aggregates"].end(), [&](const nlohmann::json& a) {
      return a["program"] == program && a["threads"] == threads && a["time_shared"] == true;
    });
  };
  EXPECT_NE(run.out.find("On 1 thread, packed slots take") == std::string::npos,
            !time_shared("sum_slots_packed", 1) && !time_shared("sum_slots_padded", 1))
      << run.out;
  EXPECT_NE(run.out.find("sum_walltime, 2 threads: ") == std::string::npos,
            !time_shared("sum_walltime", 1) && !time_shared("sum_walltime", 2))
      << run.out;
  EXPECT_EQ(json["complete"], true);
  EXPECT_EQ(json["sizes"][0]["elements"], 1000);
  EXPECT_EQ(json["runs"].size(), 2u * (on_team * 2 + 1));
  ASSERT_EQ(json["aggregates"].size(), on_team * 2 + 1);
  for (const nlohmann::json& aggregate : json["aggregates"]) {
    EXPECT_EQ(aggregate["valid_runs"], 2);
    EXPECT_LE(aggregate["median_ci_low"].get<double>(), aggregate["median_seconds"].get<double>());
    EXPECT_LE(aggregate["median_seconds"].get<double>(), aggregate["median_ci_high"].get<double>());
    // A busy machine may leave a team's in-order floor the scheduler's: then no case is read against it.
    const bool scheduled = std::any_of(json["floors"].begin(), json["floors"].end(), [&](const nlohmann::json& f) {
      return f["threads"] == aggregate["threads"] && f["name"] == "inorder_streams" && f["scheduled"] == true;
    });
    if (scheduled) {
      EXPECT_TRUE(aggregate["of_floor"].is_null() && aggregate["floor_seconds"].is_null()) << aggregate;
    } else {
      EXPECT_NEAR(aggregate["of_floor"].get<double>() * aggregate["floor_seconds"].get<double>(),
                  aggregate["median_seconds"].get<double>(), 1e-12);
    }
    EXPECT_EQ(aggregate["median_thread_seconds"].is_null(), aggregate["program"] == "sum_baseline_serial");
  }
  // Every floor and reference, measured for real on 1 and 2 threads, is a positive number; a
  // share of waited hand-overs may be none.
  ASSERT_EQ(json["floors"].size(), of_one_thread + floors);
  std::vector<std::string> on_two;
  for (const nlohmann::json& floor : json["floors"]) {
    if (floor["unit"] == "share") {
      EXPECT_GE(floor["value"].get<double>(), 0.0) << floor["name"];
      EXPECT_LE(floor["value"].get<double>(), 1.0) << floor["name"];
    } else {
      EXPECT_GT(floor["value"].get<double>(), 0.0) << floor["name"];
    }
    EXPECT_LE(floor["ci_low"].get<double>(), floor["value"].get<double>());
    EXPECT_LE(floor["value"].get<double>(), floor["ci_high"].get<double>());
    if (floor["threads"] == 2) on_two.push_back(floor["name"]);
  }
  ASSERT_EQ(on_two.size(), floors);
  for (std::size_t k = 0; k < floors; ++k) EXPECT_EQ(on_two[k], kFloors[k].name);
  ASSERT_FALSE(json["headlines"].empty());
  for (const nlohmann::json& said : json["headlines"]) {
    EXPECT_EQ(said["supported"], false) << "2 runs a case give no 95% interval: " << said["text"];
    if (said["ratio"].is_null()) continue;
    EXPECT_NE(said["text"].get<std::string>().find("]*"), std::string::npos) << said["text"];
  }
  EXPECT_NE(run.out.find("* fewer than 6 runs on a side cannot give a 95% interval"), std::string::npos);
}

// Two builds side by side: every case, the calibration's included, runs from each, and each
// build's facts come from its own directory.
TEST(SumCompare, RunsEveryCaseFromEachBuildWithItsOwnFacts) {
  const fs::path bin = fs::path(program_path("sum_compare")).parent_path();
  const scratch_directory other;
  fs::create_symlink(bin / "calibrate", other.path / "calibrate");
  // The other build's program counts its runs, then is the real one.
  std::ofstream(other.path / "sum_walltime") << "#!/bin/sh\necho run >> '" << (other.path / "runs").string()
                                             << "'\nexec '" << (bin / "sum_walltime").string() << "' \"$@\"\n";
  fs::permissions(other.path / "sum_walltime", fs::perms::owner_all);
  std::ofstream(other.path / std::string(kBuildFactsFile))
      << R"({"compiler": "Clang 14.0.6", "profiles": {"optimised": "-O3"},
             "programs": {"sum_walltime": {"profile": "optimised", "openmp_runtime": "libomp"}}})";
  const fs::path json_path = other.path / "runs.json";
  const child_result run =
      compare({"--build", "gcc=" + bin.string(), "--build", "other=" + other.path.string(), "--programs",
               "sum_walltime", "--threads", "1,2", "--size", "1000", "--repeat", "1", "--json", json_path.string()});
  ASSERT_EQ(run.exit_status, 0) << run.out << run.err;
  EXPECT_NE(
      run.out.find("build other: Clang 14.0.6; optimised -O3\n             OpenMP runtime: libomp for sum_walltime\n"),
      std::string::npos)
      << run.out;
  const nlohmann::json json = read_json(json_path);
  const nlohmann::json& said = json["headlines"];
  // Unless other work held the team's threads (a busy machine): then no sentence rests on them.
  const bool time_shared = std::any_of(json["aggregates"].begin(), json["aggregates"].end(),
                                       [](const nlohmann::json& a) { return a["time_shared"] == true; });
  EXPECT_TRUE(time_shared || std::any_of(said.begin(), said.end(),
                                         [](const nlohmann::json& headline) {
                                           return headline["text"].get<std::string>().find(
                                                      "the time under build other that it takes under build gcc") !=
                                                  std::string::npos;
                                         }))
      << said;
  ASSERT_EQ(json["builds"].size(), 2u);
  EXPECT_EQ(json["builds"][0]["compiler"], std::string(kCompiler));
  EXPECT_EQ(json["builds"][1]["bin"], fs::canonical(other.path).string());
  std::map<std::string, int> runs_of_build;
  for (const char* kind : {"runs", "calibration_runs"}) {
    for (const nlohmann::json& r : json[kind]) ++runs_of_build[r["build"].get<std::string>() + " " + kind];
  }
  std::ifstream counted(other.path / "runs");
  EXPECT_EQ(std::count(std::istreambuf_iterator<char>(counted), {}, '\n'),
            4);  // a warm-up and a run on 1 and 2 threads
  EXPECT_EQ(runs_of_build,
            (std::map<std::string, int>{
                {"gcc runs", 2}, {"other runs", 2}, {"gcc calibration_runs", 2}, {"other calibration_runs", 2}}));
}

TEST(SumCompare, TheSerialBuildRunsAsTheOneThreadReferenceWhateverTheTeams) {
  const scratch_directory out;
  const fs::path json_path = out.path / "runs.json";
  const child_result run = compare({"--size", "1000", "--repeat", "1", "--threads", "2", "--programs",
                                    "sum_baseline_serial,sum_walltime", "--json", json_path.string()});
  ASSERT_EQ(run.exit_status, 0) << run.out << run.err;
  EXPECT_TRUE(std::regex_search(run.out, std::regex("\nsum_baseline_serial +1 "))) << run.out;
  EXPECT_NE(run.out.find("sum_baseline_serial runs on one thread only, as the serial reference"), std::string::npos);
  const nlohmann::json json = read_json(json_path);
  ASSERT_EQ(json["aggregates"].size(), 2u);
  EXPECT_EQ(json["aggregates"][0]["program"], "sum_baseline_serial");
  EXPECT_EQ(json["aggregates"][0]["threads"], 1);
  EXPECT_EQ(json["aggregates"][1]["threads"], 2);
}

}  // namespace

// A baseline kept from an earlier version of the suite still serves: runs of schema 6, 7 and 8
// are reported, compared and merged.
TEST(SumCompare, RunsSavedByEarlierVersionsAreReportedComparedAndMerged) {
  const std::string saved = std::string(SUITE_TEST_SOURCE_DIR) + "/saved/schema";
  for (const char* version : {"6", "7", "8"}) {
    const child_result from = compare({"--from", saved + version + ".json"});
    EXPECT_EQ(from.exit_status, 0) << version << from.err;
    EXPECT_NE(from.out.find("\nsum_walltime "), std::string::npos) << from.out;
  }
  const child_result compared = compare({"--compare", saved + "6.json", saved + "8.json"});
  EXPECT_EQ(compared.exit_status, 0) << compared.err;
  const child_result merged = compare({"--merge", saved + "6.json", saved + "7.json", saved + "8.json"});
  EXPECT_EQ(merged.exit_status, 0) << merged.err;
  // All three were saved on one host: the merge says so.
  EXPECT_NE(merged.out.find("3 runs of one host side by side"), std::string::npos) << merged.out;
  EXPECT_NE(merged.out.find("All 3 runs are of one host (vm)"), std::string::npos) << merged.out;
}
