// The validator on real program output and on faults, and sum_compare end to end: its table,
// files, chart and options.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <tuple>

#include "tests/program_harness.hpp"
#include "tools/aggregate.hpp"
#include "tools/run_plan.hpp"
#include "tools/report_json.hpp"
#include "tools/statistics.hpp"
#include "tools/suite_build.hpp"

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

  child_result impossible;
  impossible.out = printed(kTeamLine, 1) + "\n" + printed(kResultLine, 1500.0, 0.1, 0.1) + "\n";
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

// 1, 2, ..., n shuffled: the interval's ends are the ranks themselves.
std::vector<double> ranks(int n) {
  std::vector<double> values;
  for (int k = n; k >= 1; --k) values.push_back(k);
  return values;
}

TEST(MedianInterval, UsesTheTabulatedOrderStatistics) {
  // Ranks of the distribution-free 95% interval for the median, as tabulated for n = 10, 20, 50, 100.
  for (const auto& [n, low, high] : {std::tuple{10, 2, 9}, {20, 6, 15}, {50, 18, 33}, {100, 40, 61}}) {
    const interval ci = median_interval(ranks(n));
    EXPECT_EQ(ci.low, low) << n;
    EXPECT_EQ(ci.high, high) << n;
    EXPECT_GE(ci.coverage, 0.95) << n;
  }
  const interval seven = median_interval(ranks(7));  // the default runs: min and max, 98.4%
  EXPECT_EQ(seven.low, 1);
  EXPECT_EQ(seven.high, 7);
  EXPECT_NEAR(seven.coverage, 1 - 2.0 / 128, 1e-12);
  const interval five = median_interval(ranks(5));  // too few for 95%: min and max, and what they give
  EXPECT_EQ(five.low, 1);
  EXPECT_EQ(five.high, 5);
  EXPECT_NEAR(five.coverage, 0.9375, 1e-12);
}

// --precision stops adding rounds once this holds for every case.
TEST(MedianInterval, LiesWithinAPrecisionOnlyWithRunsEnoughFor95Percent) {
  std::vector<double> twenty;  // 99.1, 99.2, ..., 101.0: the interval's ranks 6 and 15 are 99.6 and 100.5
  for (int k = 1; k <= 20; ++k) twenty.push_back(99.0 + 0.1 * k);
  EXPECT_TRUE(median_within(twenty, 0.005));
  EXPECT_FALSE(median_within(twenty, 0.004));
  EXPECT_FALSE(median_within({100.0, 100.0, 100.0, 100.0, 100.0}, 0.5));  // 5 runs: no 95% interval
}

// The U test's two-sided p-values against exact tables: samples of m and n that overlap in U
// pairs (the first's value above the second's), and large or tied samples by the normal law.
std::pair<std::vector<double>, std::vector<double>> samples_with_u(int m, int n, int u) {
  std::vector<double> a(static_cast<std::size_t>(m));
  std::vector<double> b(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) b[static_cast<std::size_t>(k)] = 10.0 * (k + 1);
  // a's values lie below all of b's but its largest, which lies just above b's u-th value.
  for (int k = 0; k < m; ++k) a[static_cast<std::size_t>(k)] = 1.0 + k * 0.001;
  if (u > 0) a.back() = 10.0 * u + 5.0;
  return {a, b};
}

TEST(MannWhitney, GivesTheTabulatedTwoSidedPValues) {
  // Two-sided critical value at 5% for 7 and 7 is U = 8: p just below 0.05 there, above at 9.
  for (const auto& [m, n, u, p] : {std::tuple{3, 3, 0, 0.1}, {5, 5, 0, 2.0 / 252}, {7, 7, 8, 0.0378788},
                                   {7, 7, 9, 0.0530303}, {4, 6, 3, 0.0666667}}) {
    SCOPED_TRACE(std::to_string(m) + "," + std::to_string(n) + " U=" + std::to_string(u));
    std::vector<double> a;
    std::vector<double> b;
    if (u <= n) {
      std::tie(a, b) = samples_with_u(m, n, u);
    } else {  // spread the beats over two of a's values
      std::tie(a, b) = samples_with_u(m, n, n);
      a[0] = 10.0 * (u - n) + 5.0;
    }
    EXPECT_NEAR(mann_whitney_p(a, b), p, 1e-6);
    EXPECT_NEAR(mann_whitney_p(b, a), p, 1e-6);  // two-sided: the order does not matter
  }
  std::vector<double> low(30);
  std::vector<double> high(30);
  for (int k = 0; k < 30; ++k) {
    low[static_cast<std::size_t>(k)] = k;
    high[static_cast<std::size_t>(k)] = 100 + k;
  }
  EXPECT_LT(mann_whitney_p(low, high), 1e-9);             // normal law, far apart
  EXPECT_DOUBLE_EQ(mann_whitney_p({1, 1, 1}, {1, 1, 1}), 1.0);  // all tied
}

TEST(RatioInterval, IsReproducibleWithItsSeedAndSeparatesDistinctCases) {
  const std::vector<double> slow = {2.02, 1.98, 2.05, 2.01, 1.97, 2.03, 2.00};
  const std::vector<double> fast = {1.01, 0.99, 1.02, 1.00, 0.98, 1.03, 1.00};
  const interval a = ratio_interval(slow, fast);
  const interval b = ratio_interval(slow, fast);
  EXPECT_EQ(a.low, b.low);
  EXPECT_EQ(a.high, b.high);
  EXPECT_GT(a.low, 1.9);  // the ratio of medians is 2.0
  EXPECT_LT(a.high, 2.1);
  const interval same = ratio_interval(fast, {1.00, 1.02, 0.99, 1.01, 0.98, 1.03, 1.00});
  EXPECT_LT(same.low, 1.0);
  EXPECT_GT(same.high, 1.0);
  EXPECT_EQ(outliers({1.0, 1.01, 0.99, 1.02, 1.0, 0.98, 3.0}), std::vector<double>{3.0});
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
  EXPECT_NE(run.err.find("FAILED: sum_walltime on 1 thread (run 0)"), std::string::npos) << run.err;
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

nlohmann::json read_json(const fs::path& file) { return written_json_file(file); }

TEST(SumCompare, WritesTheTableCsvAndJsonForEveryRun) {
  const scratch_directory out;
  const fs::path csv = out.path / "runs.csv";
  const fs::path json_path = out.path / "runs.json";
  const child_result run = compare({"--size", "1000", "--repeat", "2", "--threads", "1,2", "--csv", csv.string(),
                                    "--json=" + json_path.string()});
  ASSERT_EQ(run.exit_status, 0) << run.out << run.err;
  EXPECT_EQ(run.err, "");  // not a terminal: no progress line
  for (const char* expected : {"processor:", "settings:", "build:", "plan:", "machine floor", "packed slots take",
                               "sum_walltime, 2 threads: "}) {
    EXPECT_NE(run.out.find(expected), std::string::npos) << expected << "\n" << run.out;
  }
  // Which of the two is said depends on the measured times (tested with fixed figures elsewhere).
  EXPECT_NE(run.out.find("The timed intervals are below 1 ms") == std::string::npos,
            run.out.find("One thread sums in order at") == std::string::npos) << run.out;

  const auto rows = csv_rows(csv);
  // Per round: five parallel programs on 2 teams and the serial once; the calibration's floors
  // and references, all but the line transfer on one thread and all on two.
  const std::size_t floors = std::size(kFloors);
  ASSERT_EQ(rows.size(), 1u + 2u * (5 * 2 + 1) + 2u * (floors - 1 + floors));
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
  EXPECT_EQ(json["complete"], true);
  EXPECT_EQ(json["elements"], 1000);
  EXPECT_EQ(json["runs"].size(), 22u);
  ASSERT_EQ(json["aggregates"].size(), 11u);
  for (const nlohmann::json& aggregate : json["aggregates"]) {
    EXPECT_EQ(aggregate["valid_runs"], 2);
    EXPECT_LE(aggregate["median_ci_low"].get<double>(), aggregate["median_seconds"].get<double>());
    EXPECT_LE(aggregate["median_seconds"].get<double>(), aggregate["median_ci_high"].get<double>());
    EXPECT_NEAR(aggregate["of_floor"].get<double>() * aggregate["floor_seconds"].get<double>(),
                aggregate["median_seconds"].get<double>(), 1e-12);
    EXPECT_EQ(aggregate["median_thread_seconds"].is_null(), aggregate["program"] == "sum_baseline_serial");
  }
  // Every floor and reference, measured for real on 1 and 2 threads, is a positive number.
  ASSERT_EQ(json["floors"].size(), 2 * floors - 1);
  std::vector<std::string> on_two;
  for (const nlohmann::json& floor : json["floors"]) {
    EXPECT_GT(floor["value"].get<double>(), 0.0) << floor["name"];
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
  std::ofstream(other.path / "sum_walltime") << "#!/bin/sh\necho run >> '" << (other.path / "runs").string() << "'\nexec '"
                                             << (bin / "sum_walltime").string() << "' \"$@\"\n";
  fs::permissions(other.path / "sum_walltime", fs::perms::owner_all);
  std::ofstream(other.path / std::string(kBuildFactsFile))
      << R"({"compiler": "Clang 14.0.6", "profiles": {"optimised": "-O3"},
             "programs": {"sum_walltime": {"profile": "optimised", "openmp_runtime": "libomp"}}})";
  const fs::path json_path = other.path / "runs.json";
  const child_result run = compare({"--build", "gcc=" + bin.string(), "--build", "other=" + other.path.string(),
                                    "--programs", "sum_walltime", "--threads", "1,2", "--size", "1000", "--repeat", "1",
                                    "--json", json_path.string()});
  ASSERT_EQ(run.exit_status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("build other: Clang 14.0.6; optimised -O3\n             OpenMP runtime: libomp for sum_walltime\n"),
            std::string::npos) << run.out;
  const nlohmann::json json = read_json(json_path);
  const nlohmann::json& said = json["headlines"];
  EXPECT_TRUE(std::any_of(said.begin(), said.end(), [](const nlohmann::json& headline) {
    return headline["text"].get<std::string>().find("the time under build other that it takes under build gcc") != std::string::npos;
  })) << said;
  ASSERT_EQ(json["builds"].size(), 2u);
  EXPECT_EQ(json["builds"][0]["compiler"], std::string(kCompiler));
  EXPECT_EQ(json["builds"][1]["bin"], fs::canonical(other.path).string());
  std::map<std::string, int> runs_of_build;
  for (const char* kind : {"runs", "calibration_runs"}) {
    for (const nlohmann::json& r : json[kind]) ++runs_of_build[r["build"].get<std::string>() + " " + kind];
  }
  std::ifstream counted(other.path / "runs");
  EXPECT_EQ(std::count(std::istreambuf_iterator<char>(counted), {}, '\n'), 4);  // a warm-up and a run on 1 and 2 threads
  EXPECT_EQ(runs_of_build, (std::map<std::string, int>{
                               {"gcc runs", 2}, {"other runs", 2}, {"gcc calibration_runs", 2}, {"other calibration_runs", 2}}));
}

TEST(SumCompare, TheSerialBuildRunsAsTheOneThreadReferenceWhateverTheTeams) {
  const scratch_directory out;
  const fs::path json_path = out.path / "runs.json";
  const child_result run = compare({"--size", "1000", "--repeat", "1", "--threads", "2", "--programs",
                                    "sum_baseline_serial,sum_walltime", "--json", json_path.string()});
  ASSERT_EQ(run.exit_status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("\nsum_baseline_serial        1 "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("sum_baseline_serial runs on one thread only, as the serial reference"), std::string::npos);
  const nlohmann::json json = read_json(json_path);
  ASSERT_EQ(json["aggregates"].size(), 2u);
  EXPECT_EQ(json["aggregates"][0]["program"], "sum_baseline_serial");
  EXPECT_EQ(json["aggregates"][0]["threads"], 1);
  EXPECT_EQ(json["aggregates"][1]["threads"], 2);
}

TEST(SumCompare, DryRunPlansTheTeamSizesOfTheAllowedProcessorsAndRunsNothing) {
  EXPECT_EQ(default_team_sizes(6), (std::vector<int>{1, 2, 4, 6}));
  EXPECT_EQ(default_team_sizes(128), (std::vector<int>{1, 2, 4, 8, 16, 32, 64, 128}));
  const child_result run =
      run_child("taskset", {"-c", "0", program_path("sum_compare"), "--dry-run"}, environment_without_runtime_settings());
  ASSERT_EQ(run.exit_status, 0) << run.err;
  const std::vector<std::string> lines = output_lines(run.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].substr(lines[0].size() - std::string(" threads 1").size()), " threads 1") << lines[0];
  EXPECT_NE(run.out.find("may use 1: 0\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("plan:        7 cases (the calibration on each team size among them), 56 runs, about "),
            std::string::npos) << run.out;
  EXPECT_NE(run.out.find(" s by an estimate from one probe run; "), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("median s"), std::string::npos) << "no table: nothing ran";
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

// A sum_compare whose chart script is missing says so before any run, whether gnuplot is there
// or not.
TEST(SumCompare, AMissingChartScriptIsFoundBeforeAnyRun) {
  const scratch_directory copy;
  for (const char* tool : {"sum_compare", "calibrate"}) fs::copy_file(program_path(tool), copy.path / tool);
  const child_result run = run_child((copy.path / "sum_compare").string(),
                                     {"--bin", std::string(SUITE_BIN_DIR), "--threads", "1", "--plot", (copy.path / "c.svg").string()},
                                     environment_without_runtime_settings());
  EXPECT_EQ(run.exit_status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("--plot needs the chart script "), std::string::npos) << run.err;
}

TEST(SumCompare, RejectsBadOptionsWithStatusTwo) {
  const std::vector<std::vector<std::string>> bad = {
      {"--frobnicate"}, {"--threads", "0"}, {"--threads", "a"}, {"--threads", "1,-2"}, {"--threads"},
      {"--size", "-5"}, {"--size", "12abc"}, {"--size", "0"}, {"--size", "99999999999"}, {"--size", "0x10"},
      {"--repeat", "0"}, {"--programs", "sum_nothing"}, {"--plot", "chart.pdf"}, {"stray"},
      {"--env", "OMP_NUM_THREADS=1,2"}, {"--env", "OMP_PROC_BIND"}, {"--env", "X=a,,b"},
      {"--env", "X=a", "--env", "X=b"}, {"--env", "OMP_PLACES={0"}, {"--env", "OMP_PLACES={0},{1"},
      {"--env", "OMP_PLACES=0},{1"}, {"--bin", ""}, {"--precision", "0"}, {"--precision", "100%"},
      {"--precision", "x"}, {"--build", "gcc"}, {"--build", "a b=/x"}, {"--build", "a=/x", "--build", "a=/y"},
      {"--build", "a=/x", "--bin", "/y"}, {"--merge", "a.json"}, {"--compare", "a.json", "b.json", "--csv", "c.csv"},
  };
  for (const auto& args : bad) {
    const child_result run = compare(args);
    EXPECT_EQ(run.exit_status, 2) << args[0];
    EXPECT_EQ(run.out, "") << args[0];
    EXPECT_EQ(run.err.rfind("sum_compare: ", 0), 0u) << args[0];
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
  // Counted before it is made: 1001 rounds of 13 cases under 1000 settings; 1100 settings.
  const auto values = [](const char* name, int count) {
    std::string dimension = std::string(name) + "=1";
    for (int k = 2; k <= count; ++k) dimension += "," + std::to_string(k);
    return dimension;
  };
  const child_result huge = compare({"--dry-run", "--threads", "1,2", "--repeat", "1000", "--env", values("A", 1000)});
  EXPECT_EQ(huge.exit_status, 2);
  EXPECT_NE(huge.err.find("the plan has 13013000 runs, more than the 1000000"), std::string::npos) << huge.err;
  const child_result settings = compare({"--dry-run", "--env", values("A", 100), "--env", values("B", 11)});
  EXPECT_EQ(settings.exit_status, 2);
  EXPECT_NE(settings.err.find("the plan has more than 1000 settings"), std::string::npos) << settings.err;

  const child_result help = compare({"--help"});
  EXPECT_EQ(help.exit_status, 0);
  EXPECT_NE(help.out.find("Usage: sum_compare"), std::string::npos);
  EXPECT_NE(help.out.find("--plot"), std::string::npos);
}

}  // namespace
