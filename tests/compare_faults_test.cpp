// sum_compare under faults: programs that hang, leave children behind, flood their output,
// print wrong figures or raw bytes, an interruption mid-run, and set-ups that cannot work. A
// stand-in script (tests/stand_in.sh) plays sum_walltime.
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/program_harness.hpp"
#include "tools/aggregate.hpp"
#include "tools/headlines.hpp"

namespace {

namespace fs = std::filesystem;

// A programs' directory whose sum_walltime is tests/stand_in.sh.
struct stand_in_bin : scratch_directory {
  std::filesystem::path pids = path / "pids";
  stand_in_bin() { fs::create_symlink(std::string(SUITE_TEST_SOURCE_DIR) + "/stand_in.sh", path / "sum_walltime"); }
};

std::string valid_output(long long n) {
  return printed(kTeamLine, 1) + "\n" + printed(kResultLine, static_cast<double>((n - 1) * n / 2), 0.001, 0.001) + "\n";
}

// sum_compare over the stand-in: one thread, one warm-up and one measured run.
child_result compare_with_stand_in(const stand_in_bin& bin, const std::string& mode, const std::string& output,
                                  std::vector<std::string> extra = {}, const std::string& size = "10000",
                                  const std::vector<std::string>& wrapper = {}) {
  std::vector<std::string> env = environment_without_runtime_settings();
  set_variable(env, "STAND_IN_MODE", mode);
  set_variable(env, "STAND_IN_OUTPUT", output);
  set_variable(env, "STAND_IN_PIDS", bin.pids.string());
  std::vector<std::string> args = wrapper;
  args.push_back(program_path("sum_compare"));
  for (const char* word : {"--programs", "sum_walltime", "--threads", "1", "--repeat", "1", "--bin"}) args.push_back(word);
  args.push_back(bin.path.string());
  args.insert(args.end(), {"--size", size});
  args.insert(args.end(), extra.begin(), extra.end());
  return run_child(args.front(), std::vector<std::string>(args.begin() + 1, args.end()), env);
}

// True while the process exists and has not exited: a zombie waits only for whoever inherited
// it to reap it.
bool running(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  const std::size_t name_end = line.rfind(')');
  return name_end != std::string::npos && line.size() > name_end + 2 && line[name_end + 2] != 'Z';
}

// The processes the stand-ins started that still run.
std::vector<int> left_over(const stand_in_bin& bin) {
  std::vector<int> alive;
  std::ifstream in(bin.pids);
  int pid = 0;
  while (in >> pid) {
    if (running(pid)) alive.push_back(pid);
  }
  return alive;
}

// The lines of a file that start with `prefix`.
std::vector<std::string> rows_of(const fs::path& file, const std::string& prefix) {
  std::ifstream in(file);
  std::vector<std::string> rows;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(prefix, 0) == 0) rows.push_back(line);
  }
  return rows;
}

std::size_t occurrences(const std::string& text, const std::string& word) {
  std::size_t count = 0;
  for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++count;
  return count;
}

TEST(SumCompareFaults, AHangingRunTimesOutAndTheNextOneGoesOn) {
  const stand_in_bin bin;
  const child_result run = compare_with_stand_in(bin, "hang", valid_output(10000), {"--timeout", "1"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(occurrences(run.err, "timed out after 1 s"), 2u) << run.err;  // warm-up and run 1
  EXPECT_EQ(left_over(bin), std::vector<int>{});
}

// Without the grace after the program's exit, each run would wait 600 s for the grandchild and
// the test would end at CTest's time limit.
TEST(SumCompareFaults, AGrandchildHoldingThePipeDelaysARunOnlyBriefly) {
  const stand_in_bin bin;
  const child_result run = compare_with_stand_in(bin, "grandchild", valid_output(10000));
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(left_over(bin), std::vector<int>{});
}

TEST(SumCompareFaults, AnInterruptionKeepsEveryFinishedRunAndLeavesNoChild) {
  for (const auto& [signal_name, status] : {std::pair{"INT", 130}, std::pair{"TERM", 143}}) {
    SCOPED_TRACE(signal_name);
    const stand_in_bin bin;
    const fs::path csv = bin.path / "runs.csv";
    const fs::path json_path = bin.path / "runs.json";
    // The warm-up and run 1 finish; run 2 sends the signal and hangs.
    const child_result run = compare_with_stand_in(
        bin, "signal_from_third", valid_output(10000),
        {"--repeat", "5", "--csv", csv.string(), "--json", json_path.string()}, "10000",
        {"env", "STAND_IN_SIGNAL=" + std::string(signal_name)});
    EXPECT_EQ(run.exit_status, status) << run.out << run.err;
    EXPECT_NE(run.out.find("Interrupted by " + std::string(signal_name)), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\nsum_walltime "), std::string::npos) << "the table of what finished";

    const nlohmann::json json = nlohmann::json::parse(std::ifstream(json_path));
    EXPECT_EQ(json["complete"], false);
    EXPECT_EQ(json["runs"].size(), 1u);
    EXPECT_EQ(rows_of(csv, "sum_walltime,").size(), 1u);
    EXPECT_EQ(left_over(bin), std::vector<int>{});
    for (const fs::directory_entry& entry : fs::directory_iterator(bin.path)) {
      EXPECT_NE(entry.path().filename().string().front(), '.') << "a temporary left: " << entry.path();
    }
  }
}

TEST(SumCompareFaults, OutputPastTheCapFailsTheRunAndIsShownCut) {
  const stand_in_bin bin;
  const child_result run = compare_with_stand_in(bin, "huge", valid_output(10000));
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_NE(run.err.find("output too large: more than 1048576 bytes on standard output"), std::string::npos);
  EXPECT_NE(run.err.find("lines left out"), std::string::npos);
  EXPECT_LT(run.err.size(), 20000u);
}

TEST(SumCompareFaults, WrongFiguresFailAndTheirTimesAreLeftEmpty) {
  const stand_in_bin bin;
  const fs::path csv = bin.path / "runs.csv";
  const fs::path json_path = bin.path / "runs.json";
  const std::string zero_sum = printed(kTeamLine, 1) + "\n" + printed(kResultLine, 0.0, 0.5, 0.5) + "\n";
  const child_result large = compare_with_stand_in(bin, "", zero_sum, {"--csv", csv.string(), "--json", json_path.string()},
                                                  "200000000");
  EXPECT_EQ(large.exit_status, 1);
  EXPECT_NE(large.err.find("sum 0, expected 2e+16"), std::string::npos) << large.err;
  const std::vector<std::string> rows = rows_of(csv, "sum_walltime,");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].rfind("sum_walltime,1,1,200000000,,,0,0,", 0), 0u) << rows[0];
  const nlohmann::json json = nlohmann::json::parse(std::ifstream(json_path));
  EXPECT_TRUE(json["runs"][0]["wall_seconds"].is_null());
  EXPECT_TRUE(json["runs"][0]["thread_seconds"].is_null());

  const std::string negative = printed(kTeamLine, 1) + "\n" + printed(kResultLine, 49995000.0, 0.5, -5.0) + "\n";
  const child_result thread_time = compare_with_stand_in(bin, "", negative);
  EXPECT_EQ(thread_time.exit_status, 1);
  EXPECT_NE(thread_time.err.find("time -5 is not a number of seconds"), std::string::npos) << thread_time.err;
}

TEST(SumCompareFaults, RawBytesInAFailedRunKeepTheJsonValid) {
  const stand_in_bin bin;
  const fs::path json_path = bin.path / "runs.json";
  const child_result run = compare_with_stand_in(bin, "raw", valid_output(10000), {"--json", json_path.string()});
  EXPECT_EQ(run.exit_status, 1);
  const nlohmann::json json = nlohmann::json::parse(std::ifstream(json_path));  // throws on invalid UTF-8
  EXPECT_NE(json["runs"][0]["problem"].get<std::string>().find("raw"), std::string::npos);
}

TEST(SumCompareFaults, TheHeaderShowsEveryRuntimeSettingAndStandardErrorIsReported) {
  const stand_in_bin bin;
  std::vector<std::string> env_words{"env", "GOMP_CPU_AFFINITY=0", "KMP_AFFINITY=compact"};
  const child_result run = compare_with_stand_in(bin, "stderr", valid_output(10000), {}, "10000", env_words);
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_NE(run.out.find("settings:    GOMP_CPU_AFFINITY=0 KMP_AFFINITY=compact\n"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("this process may use "), std::string::npos);
  EXPECT_NE(run.out.find("Warning: sum_walltime on 1 thread wrote to standard error in 1 of its 1 valid runs, "
                                "first:\na remark on standard error\n"),
            std::string::npos)
      << run.out;
}

TEST(SumCompareFaults, ABadSetUpIsRefusedBeforeAnyRun) {
  const stand_in_bin bin;
  const std::string file = (bin.path / "same.out").string();
  const std::vector<std::vector<std::string>> refused = {
      {"--bin", "/nonexistent"},
      {"--csv", file, "--json", file},
      {"--csv", ""},
      {"--json", "/nonexistent/runs.json"},
  };
  for (const std::vector<std::string>& words : refused) {
    std::vector<std::string> args{"--programs", "sum_walltime", "--threads", "1", "--size", "1000", "--repeat", "1"};
    args.insert(args.end(), words.begin(), words.end());
    const child_result run = run_child(program_path("sum_compare"), args, environment_without_runtime_settings());
    EXPECT_EQ(run.exit_status, 2) << words.front() << "\n" << run.out << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
  const child_result full = run_child(
      "sh", {"-c", "exec \"$0\" --programs sum_walltime --threads 1 --size 1000 --repeat 1 >/dev/full", program_path("sum_compare")},
      environment_without_runtime_settings());
  EXPECT_EQ(full.exit_status, 1);
  EXPECT_NE(full.err.find("cannot write standard output: No space left on device"), std::string::npos) << full.err;
}

// A case whose runs took the given seconds.
case_stats stats_of(const char* name, int threads, const std::vector<double>& walls, int size) {
  case_stats stats;
  stats.c = {&program(name), threads};
  stats.walls = walls;
  stats.wall = summarise(walls);
  stats.median_ci = median_interval(walls);
  stats.ns_per_element_per_thread = stats.wall.median * threads / size * 1e9;
  return stats;
}

std::vector<double> around(double median) {
  return {median * 0.99, median, median * 1.01, median * 0.995, median * 1.005, median * 0.98, median * 1.02};
}

TEST(Headlines, SayOnlyWhatTheirIntervalsSupport) {
  run_plan plan;
  plan.threads = {1, 2, 8};
  plan.size = 20000000;
  plan.settings = {{}};
  figures measured;
  measured.cases = {
      stats_of("sum_walltime", 1, around(0.012), plan.size),
      stats_of("sum_walltime", 2, around(0.012), plan.size),   // no faster
      stats_of("sum_walltime", 8, around(0.006), plan.size),   // faster, but on 8 threads over 2 processors
      stats_of("sum_slots_packed", 2, around(0.12), plan.size),
      stats_of("sum_slots_padded", 2, around(0.036), plan.size),
  };
  measured.floors = {{floor_kind::line_transfer, 2, 0, around(200), 200, median_interval(around(200))}};
  const std::vector<headline> said = headlines(plan, measured, 2, 1);
  ASSERT_EQ(said.size(), 4u);  // no sentence on the in-order cost: no floor of it was measured
  EXPECT_EQ(said[0].text.rfind("sum_walltime, 2 threads: 1.00x [", 0), 0u) << said[0].text;
  EXPECT_NE(said[0].text.find("the speed of 1 thread: no measurable difference."), std::string::npos) << said[0].text;
  EXPECT_FALSE(said[0].supported);
  EXPECT_NE(said[1].text.find("faster than 1 thread (8 threads on 2 processors: oversubscribed, ideal 2)."),
            std::string::npos) << said[1].text;
  EXPECT_TRUE(said[1].supported);
  EXPECT_NEAR(said[1].ratio, 2.0, 1e-12);
  EXPECT_NE(said[2].text.find("the cost of false sharing. Each element costs each thread 8.4 ns more"), std::string::npos)
      << said[2].text;
  EXPECT_TRUE(said[2].supported);
  EXPECT_GT(said[2].ci.low, 1.0);
  EXPECT_EQ(said[3].text.rfind("Teams of more than 2 threads are oversubscribed", 0), 0u) << said[3].text;
  EXPECT_LT(said[3].ratio, 0);
}

// Below 1 ms start-up dominates the runs: no figure per element, and a sentence saying why.
TEST(Headlines, GiveFiguresPerElementOnlyForRunsOfAMillisecondOrMore) {
  run_plan plan;
  plan.threads = {1, 2};
  plan.size = 1000000;
  plan.settings = {{}};
  const auto said_for = [&](double one_thread_seconds) {
    figures measured;
    measured.cases = {stats_of("sum_walltime", 1, around(one_thread_seconds), plan.size),
                      stats_of("sum_slots_packed", 2, around(2 * one_thread_seconds), plan.size),
                      stats_of("sum_slots_padded", 2, around(one_thread_seconds), plan.size)};
    measured.floors = {{floor_kind::add_latency, 1, 0, around(0.5), 0.5, median_interval(around(0.5))},
                       {floor_kind::line_transfer, 2, 0, around(200), 200, median_interval(around(200))}};
    std::string text;
    for (const headline& sentence : headlines(plan, measured, 2, 1)) text += sentence.text + "\n";
    return text;
  };
  const std::string short_runs = said_for(0.0009);
  EXPECT_NE(short_runs.find("The timed intervals are below 1 ms (sum_walltime on 1 thread: 0.900 ms)"),
            std::string::npos) << short_runs;
  EXPECT_EQ(short_runs.find("ns per element"), std::string::npos) << short_runs;
  EXPECT_EQ(short_runs.find("Each element costs"), std::string::npos) << short_runs;
  const std::string long_runs = said_for(0.001);
  EXPECT_EQ(long_runs.find("below 1 ms"), std::string::npos) << long_runs;
  EXPECT_NE(long_runs.find("One thread sums in order at 1.000 ns per element, 2.00x ["), std::string::npos) << long_runs;
  EXPECT_NE(long_runs.find("Each element costs each thread 2.0 ns more"), std::string::npos) << long_runs;
}

}  // namespace
