// The validator on real program output and on faults, and sum_compare end to end: its table,
// files, chart and options.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/program_harness.hpp"
#include "tools/statistics.hpp"

namespace {

namespace fs = std::filesystem;

TEST(ReadRun, AcceptsRealOutputOfEveryComparedProgram) {
  for (const program_description& sum_program : kPrograms) {
    if (!sum_program.compared) continue;
    for (int threads : {1, 2, 3}) {
      const std::string name(sum_program.name);
      SCOPED_TRACE(name + " on " + std::to_string(threads));
      const program_run run =
          expect_valid_run(name, {"1000"}, {{"OMP_NUM_THREADS", std::to_string(threads)}}, sum_program.on_team ? threads : 1, 1000);
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

  const child_result impossible{
      0, printed(kTeamLine, 1) + "\n" + printed(kResultLine, 1500.0, 0.1, 0.1) + "\n", "", ""};
  EXPECT_NE(read_run(program("sum_baseline"), 1000, 1, impossible).problem, "");
}

TEST(MatchFormat, ReadsExactlyWhatPrintfWrites) {
  using fields = std::vector<std::string>;
  EXPECT_EQ(match_format("thread  3 is running on core 12", kPlacementLine), (fields{"3", "12"}));
  EXPECT_EQ(match_format("thread 3 is running on core 12", kPlacementLine), std::nullopt);
  EXPECT_EQ(match_format(printed(kResultLine, 4950.0, 1.5e-06, 0.25), kResultLine), (fields{"4950", "1.5e-06", "0.25"}));
  EXPECT_EQ(match_format("Sum is 4950.0, took 1 sec", kSerialResultLine), std::nullopt);  // not %g's text
  EXPECT_EQ(match_format("Sum is 4950, took 1 sec trailing", kSerialResultLine), std::nullopt);
  EXPECT_EQ(match_format("Sum is 4294967296 (expected: 1)", kIterationResultLine), std::nullopt);  // past %u
  EXPECT_EQ(match_format(replaced(printed(kTeamLine, 7), "7", "2147483648"), kTeamLine), std::nullopt);  // past %d
}

TEST(Summarise, MedianMinMax) {
  const summary odd = summarise({3.0, 1.0, 2.0});
  EXPECT_EQ(odd.median, 2.0);
  EXPECT_EQ(odd.min, 1.0);
  EXPECT_EQ(odd.max, 3.0);
  EXPECT_EQ(summarise({4.0, 1.0, 2.0, 3.0}).median, 2.5);
  EXPECT_EQ(summarise({5.0}).median, 5.0);
}

child_result compare(const std::vector<std::string>& args) {
  return run_child(program_path("sum_compare"), args, environment_without_runtime_settings());
}

TEST(SumCompare, ReportsAWrongSumWithTheRunsOutputAndFails) {
  const scratch_directory bin;
  const std::string wrong = printed(kResultLine, 4951.0, 0.001, 0.001);
  bin.stand_in("sum_walltime", "echo '" + printed(kTeamLine, 1) + "'\necho '" + wrong + "'\n");
  const child_result run = compare({"--bin", bin.path.string(), "--programs", "sum_walltime",
                                    "--threads", "1", "--size", "100", "--repeat", "1"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_NE(run.err.find("FAILED: sum_walltime on 1 threads"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("sum 4951, expected 4950"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(wrong), std::string::npos) << run.err;
  EXPECT_NE(run.out.find("2 runs failed"), std::string::npos) << run.out;  // warm-up too
}

TEST(SumCompare, ReportsAFailedRunAndFails) {
  const scratch_directory bin;
  bin.stand_in("sum_baseline", "echo '" + printed(kTeamLine, 2) + "'\necho 'out of luck' >&2\nexit 3\n");
  const child_result run = compare({"--bin", bin.path.string(), "--programs", "sum_baseline",
                                    "--threads", "2", "--size", "100", "--repeat", "1"});
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

nlohmann::json read_json(const fs::path& file) {
  std::ifstream in(file);
  return nlohmann::json::parse(in);  // throws, failing the test, on anything but valid JSON
}

TEST(SumCompare, WritesTheTableCsvAndJsonForEveryRun) {
  const scratch_directory out;
  const fs::path csv = out.path / "runs.csv";
  const fs::path json_path = out.path / "runs.json";
  const child_result run = compare({"--size", "1000", "--repeat", "2", "--threads", "1,2", "--csv", csv.string(),
                                    "--json=" + json_path.string()});
  ASSERT_EQ(run.exit_status, 0) << run.out << run.err;
  EXPECT_EQ(run.err, "");  // not a terminal: no progress line
  for (const char* expected : {"processor:", "settings:", "build:", "plan:", "packed slots take",
                               "The reduction (sum_walltime) speeds up", "in-order limit"}) {
    EXPECT_NE(run.out.find(expected), std::string::npos) << expected << "\n" << run.out;
  }

  const auto rows = csv_rows(csv);
  ASSERT_EQ(rows.size(), 1u + 2u * (5 * 2 + 1));  // five parallel programs on 2 teams, the serial once
  EXPECT_EQ(rows[0], (std::vector<std::string>{"program", "threads", "run", "elements", "wall_seconds",
                                                "thread_seconds", "sum", "valid", "problem"}));
  for (std::size_t k = 1; k < rows.size(); ++k) {
    ASSERT_EQ(rows[k].size(), 9u);
    EXPECT_EQ(rows[k][3], "1000");
    EXPECT_EQ(rows[k][7], "1");
    EXPECT_GE(std::stod(rows[k][4]), 0.0);
    if (program(rows[k][0]).fill == array_fill::index) {
      EXPECT_EQ(rows[k][6], "499500");
    }
    EXPECT_EQ(rows[k][5].empty(), rows[k][0] == "sum_baseline_serial");
  }

  const nlohmann::json json = read_json(json_path);
  EXPECT_EQ(json["elements"], 1000);
  EXPECT_EQ(json["runs"].size(), 22u);
  ASSERT_EQ(json["aggregates"].size(), 11u);
  for (const nlohmann::json& aggregate : json["aggregates"]) {
    EXPECT_EQ(aggregate["valid_runs"], 2);
    EXPECT_LE(aggregate["min_seconds"].get<double>(), aggregate["median_seconds"].get<double>());
    EXPECT_LE(aggregate["median_seconds"].get<double>(), aggregate["max_seconds"].get<double>());
    EXPECT_EQ(aggregate["median_thread_seconds"].is_null(), aggregate["program"] == "sum_baseline_serial");
  }
}

TEST(SumCompare, TheSerialBuildRunsAsTheOneThreadReferenceWhateverTheTeams) {
  const scratch_directory out;
  const fs::path json_path = out.path / "runs.json";
  const child_result run = compare({"--size", "1000", "--repeat", "1", "--threads", "2", "--programs",
                                    "sum_baseline_serial,sum_walltime", "--json", json_path.string()});
  ASSERT_EQ(run.exit_status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("\nsum_baseline_serial        1 "), std::string::npos) << run.out;
  const nlohmann::json json = read_json(json_path);
  ASSERT_EQ(json["aggregates"].size(), 2u);
  EXPECT_EQ(json["aggregates"][0]["program"], "sum_baseline_serial");
  EXPECT_EQ(json["aggregates"][0]["threads"], 1);
  EXPECT_EQ(json["aggregates"][1]["threads"], 2);
}

TEST(SumCompare, DrawsAChartWithGnuplotOrSaysHowToGetIt) {
  const scratch_directory out;
  // A path that would run a shell command if it were pasted into the script.
  const fs::path svg = out.path / "sums'\nsystem \"touch injected\"\n'.svg";
  const child_result run = compare({"--size", "1000", "--repeat", "1", "--threads", "1,2", "--programs",
                                    "sum_walltime,sum_slots_packed", "--plot", svg.string()});
  const bool have_gnuplot = system("command -v gnuplot >/dev/null 2>&1") == 0;
  if (have_gnuplot) {
    EXPECT_EQ(run.exit_status, 0) << run.err;
    std::ifstream in(svg);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("<svg"), std::string::npos);
    EXPECT_NE(text.find("sum_slots_packed"), std::string::npos);
  } else {
    EXPECT_EQ(run.exit_status, 2);  // found before any run
    EXPECT_NE(run.err.find("apt-get install gnuplot-nox"), std::string::npos) << run.err;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(out.path), fs::directory_iterator()), have_gnuplot ? 1 : 0);
}

TEST(SumCompare, RejectsBadOptionsWithStatusTwo) {
  const std::vector<std::vector<std::string>> bad = {
      {"--frobnicate"}, {"--threads", "0"}, {"--threads", "a"}, {"--threads", "1,-2"}, {"--threads"},
      {"--size", "-5"}, {"--size", "12abc"}, {"--size", "0"}, {"--size", "99999999999"}, {"--size", "0x10"},
      {"--repeat", "0"}, {"--programs", "sum_nothing"}, {"--plot", "chart.pdf"}, {"stray"},
  };
  for (const auto& args : bad) {
    const child_result run = compare(args);
    EXPECT_EQ(run.exit_status, 2) << args[0];
    EXPECT_EQ(run.out, "") << args[0];
    EXPECT_EQ(run.err.rfind("sum_compare: ", 0), 0u) << args[0];
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
  const child_result help = compare({"--help"});
  EXPECT_EQ(help.exit_status, 0);
  EXPECT_NE(help.out.find("Usage: sum_compare"), std::string::npos);
  EXPECT_NE(help.out.find("--plot"), std::string::npos);
}

}  // namespace
