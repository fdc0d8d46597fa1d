// sum_compare under faults: programs that hang, leave children behind, flood their output,
// print wrong figures or raw bytes, an interruption mid-run, and set-ups that cannot work. A
// stand-in script (tests/stand_in.sh) plays sum_walltime.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
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
  child_result result = run_child(args.front(), std::vector<std::string>(args.begin() + 1, args.end()), env);
  // Whatever the fault, nothing the runs started outlives sum_compare (but what escaped its group).
  if (mode != "escape") {
    EXPECT_EQ(left_over(bin), std::vector<int>{}) << mode;
  }
  return result;
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
}

// Without the grace after the program's exit, each run would wait 600 s for the grandchild and
// the test would end at CTest's time limit.
TEST(SumCompareFaults, AGrandchildHoldingThePipeDelaysARunOnlyBriefly) {
  const stand_in_bin bin;
  const child_result run = compare_with_stand_in(bin, "grandchild", valid_output(10000));
  EXPECT_EQ(run.exit_status, 0) << run.err;
}

TEST(SumCompareFaults, AnInterruptionKeepsEveryFinishedRunAndLeavesNoChild) {
  for (const auto& [signal_name, status] :
       {std::pair{"INT", 130}, std::pair{"TERM", 143}, std::pair{"HUP", 129}, std::pair{"QUIT", 131}}) {
    SCOPED_TRACE(signal_name);
    const stand_in_bin bin;
    const fs::path csv = bin.path / "runs.csv";
    const fs::path json_path = bin.path / "runs.json";
    // The warm-up and run 1 finish; run 2 sends the signal and hangs.
    const child_result run = compare_with_stand_in(
        bin, "signal_from_run_2", valid_output(10000),
        {"--repeat", "5", "--csv", csv.string(), "--json", json_path.string()}, "10000",
        {"env", "STAND_IN_SIGNAL=" + std::string(signal_name)});
    EXPECT_EQ(run.exit_status, status) << run.out << run.err;
    EXPECT_NE(run.out.find("Interrupted by " + std::string(signal_name)), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\nsum_walltime "), std::string::npos) << "the table of what finished";

    const nlohmann::json json = written_json_file(json_path);
    EXPECT_EQ(json["complete"], false);
    EXPECT_EQ(json["runs"].size(), 1u);
    EXPECT_EQ(rows_of(csv, "sum_walltime,").size(), 1u);
    for (const fs::directory_entry& entry : fs::directory_iterator(bin.path)) {
      EXPECT_NE(entry.path().filename().string().front(), '.') << "a temporary left: " << entry.path();
    }
  }
}

// Killed outright, sum_compare cannot stop its run: the kernel does, as the run's parent dies.
TEST(SumCompareFaults, ARunDiesWithSumCompareKilledOutright) {
  const stand_in_bin bin;
  std::vector<std::string> env = environment_without_runtime_settings();
  set_variable(env, "STAND_IN_MODE", "hang_here");
  set_variable(env, "STAND_IN_PIDS", bin.pids.string());
  const std::string script = R"(
    "$0" --programs sum_walltime --threads 1 --repeat 1 --size 1000 --timeout 600 --bin "$1" >/dev/null 2>&1 &
    compare=$!
    until [ -s "$2" ]; do sleep 0.05; done
    kill -KILL $compare)";
  const child_result run =
      run_child("sh", {"-c", script, program_path("sum_compare"), bin.path.string(), bin.pids.string()}, env, {60});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  for (int waited = 0; waited < 100 && !left_over(bin).empty(); ++waited) usleep(50000);
  EXPECT_EQ(left_over(bin), std::vector<int>{});
}

TEST(SumCompareFaults, ProgramsStartWithNoDescriptorAndNoSignalIgnoredOrBlocked) {
  const stand_in_bin bin;
  // Ignored dispositions survive exec: sum_compare must reset them for its programs. The
  // stand-in fails its run on any descriptor above 2 or any ignored or blocked signal.
  const child_result run =
      compare_with_stand_in(bin, "", valid_output(10000),
                            {"--csv", (bin.path / "runs.csv").string(), "--json", (bin.path / "runs.json").string()},
                            "10000", {"sh", "-c", "trap '' HUP USR1; exec \"$@\"", "sh"});
  EXPECT_EQ(run.exit_status, 0) << run.err;
}

TEST(SumCompareFaults, ARunKilledByASignalOrLeavingAProcessBehindIsReportedByName) {
  const stand_in_bin bin;
  const child_result killed = compare_with_stand_in(bin, "segv", valid_output(10000));
  EXPECT_EQ(killed.exit_status, 1);
  EXPECT_NE(killed.err.find("FAILED: sum_walltime on 1 thread (run 1): killed by SIGSEGV"), std::string::npos) << killed.err;

  const child_result escaped = compare_with_stand_in(bin, "escape", valid_output(10000));
  const std::vector<int> left = left_over(bin);
  for (int pid : left) kill(pid, SIGKILL);
  EXPECT_EQ(escaped.exit_status, 0) << escaped.err;
  ASSERT_EQ(left.size(), 3u);  // one from sum_compare's probe, one from the warm-up, one from run 1
  EXPECT_NE(escaped.err.find("Warning: sum_walltime on 1 thread (run 1) left processes running outside its process "
                             "group, where sum_compare does not stop them: pid " + std::to_string(left[2])),
            std::string::npos) << escaped.err;
}

TEST(SumCompareFaults, StrayOutputIsKeptToAFewKilobytesARun) {
  const stand_in_bin bin;
  const fs::path json_path = bin.path / "runs.json";
  const child_result run =
      compare_with_stand_in(bin, "stderr_flood", valid_output(10000), {"--repeat", "3", "--json", json_path.string()});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_LT(fs::file_size(json_path), 32u * 1024) << "three runs of 1 MB on standard error each";
  const nlohmann::json json = written_json_file(json_path);
  ASSERT_EQ(json["runs"].size(), 3u);
  EXPECT_NE(json["runs"][2]["standard_error"].get<std::string>().find("[... 995904 more bytes not kept]"),
            std::string::npos);
}

// Outputs that are not regular files are written in place, never replaced: first a FIFO of the
// test's own, and only when that holds a link to /dev/full, which refuses the bytes with its own
// reason. A regular file replaced keeps its mode.
TEST(SumCompareFaults, OutputsThatAreNotRegularFilesAreWrittenInPlace) {
  const stand_in_bin bin;
  const fs::path fifo = bin.path / "runs.csv";
  const fs::path json_path = bin.path / "runs.json";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // the pipe's buffer holds the few rows
  ASSERT_GE(reader, 0);
  std::ofstream(json_path) << "{}\n";
  const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(json_path, mode);
  const child_result run = compare_with_stand_in(bin, "", valid_output(10000), {"--csv", fifo.string(), "--json", json_path.string()});
  std::string received;
  char buffer[4096];
  for (ssize_t got; (got = read(reader, buffer, sizeof buffer)) > 0;) received.append(buffer, static_cast<std::size_t>(got));
  close(reader);
  EXPECT_EQ(run.exit_status, 0) << run.err;
  ASSERT_TRUE(fs::is_fifo(fifo)) << "replaced";
  EXPECT_EQ(received.rfind("program,threads,run,", 0), 0u) << received;
  EXPECT_NE(received.find("\nsum_walltime,1,1,10000,"), std::string::npos) << received;
  EXPECT_EQ(fs::status(json_path).permissions(), mode);
  EXPECT_EQ(written_json_file(json_path)["runs"].size(), 1u);

  const fs::path full = bin.path / "full.csv";
  fs::create_symlink("/dev/full", full);
  const child_result refused = compare_with_stand_in(bin, "", valid_output(10000), {"--csv", full.string()});
  EXPECT_EQ(refused.exit_status, 1);
  EXPECT_NE(refused.err.find("cannot write " + full.string() + ": No space left on device"), std::string::npos) << refused.err;
  EXPECT_TRUE(fs::is_symlink(full));
  if (system("command -v gnuplot >/dev/null 2>&1") != 0) return;  // the chart is drawn only with gnuplot
  const fs::path chart = bin.path / "chart.svg";
  fs::create_symlink("/dev/full", chart);
  const child_result drawn = compare_with_stand_in(bin, "", valid_output(10000), {"--plot", chart.string()});
  EXPECT_EQ(drawn.exit_status, 1);
  EXPECT_NE(drawn.err.find("cannot write " + chart.string() + ": No space left on device"), std::string::npos) << drawn.err;
  EXPECT_TRUE(fs::is_symlink(chart));
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
  const nlohmann::json json = written_json_file(json_path);
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
  const nlohmann::json json = written_json_file(json_path);  // throws on invalid UTF-8
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
                                "first:\n    a remark on standard error\n"),
            std::string::npos)
      << run.out;
}

// An output never replaces an input, nor another output however the two are spelled; a closed
// standard output never makes an output file the console.
TEST(SumCompareFaults, NoOutputReplacesAnInputOrTheConsole) {
  const stand_in_bin bin;
  const fs::path saved = bin.path / "a.json";
  const fs::path other = bin.path / "b.json";
  for (const fs::path& file : {saved, other}) {
    ASSERT_EQ(compare_with_stand_in(bin, "", valid_output(10000), {"--json", file.string()}).exit_status, 0);
  }
  const std::string before = written_json_file(saved).dump();
  const std::string relative = fs::relative(bin.path / "new.json").string();
  const std::vector<std::vector<std::string>> refused = {
      {"--compare", saved.string(), other.string(), "--json", saved.string()},
      {"--merge", saved.string(), other.string(), "--html", (bin.path / "." / "a.json").string()},
      {"--from", saved.string(), "--markdown", fs::relative(saved).string()},
      {"--from", saved.string(), "--json", relative, "--markdown", (bin.path / "new.json").string()},
  };
  for (const std::vector<std::string>& words : refused) {
    const child_result run = run_child(program_path("sum_compare"), words, environment_without_runtime_settings());
    EXPECT_EQ(run.exit_status, 2) << words.back() << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
  EXPECT_EQ(written_json_file(saved).dump(), before);
  EXPECT_FALSE(fs::exists(bin.path / "new.json"));

  const fs::path again = bin.path / "again.json";
  const child_result closed = run_child(
      "sh", {"-c", "exec \"$0\" --from \"$1\" --json \"$2\" >&-", program_path("sum_compare"), saved.string(), again.string()},
      environment_without_runtime_settings());
  EXPECT_EQ(closed.exit_status, 0) << closed.err;
  EXPECT_EQ(written_json_file(again)["runs"].size(), 1u);
}

TEST(SumCompareFaults, ABadSetUpIsRefusedBeforeAnyRun) {
  const stand_in_bin bin;
  const std::string file = (bin.path / "same.out").string();
  const fs::path linked = bin.path / "linked.out";
  std::ofstream(linked) << "";
  fs::create_hard_link(linked, bin.path / "hard.out");
  const fs::path directory_bin = bin.path / "programs";
  fs::create_directories(directory_bin / "sum_walltime");  // a directory named like the program
  const std::vector<std::vector<std::string>> refused = {
      {"--bin", "/nonexistent"},
      {"--bin", directory_bin.string()},
      {"--csv", file, "--json", file},
      {"--csv", file, "--json", (bin.path / "programs" / ".." / "same.out").string()},
      {"--csv", linked.string(), "--json", (bin.path / "hard.out").string()},
      {"--csv", ""},
      {"--csv", bin.path.string()},
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
  plan.size = 1000000;
  plan.settings = {{}};
  const auto floor_of = [](floor_kind kind, int threads, const std::vector<double>& values) {
    return floor_stats{kind, threads, 0, values, summarise(values).median, median_interval(values)};
  };
  figures wide;
  wide.cases = {stats_of("sum_walltime", 1, spread(1.2e-3, 0.6), plan.size),   // 1.2x the add latency, give or take
                stats_of("sum_walltime", 2, around(0.6e-3), plan.size),
                stats_of("sum_slots_padded", 1, spread(1.05e-3, 0.6), plan.size)};  // about the in-order floor
  wide.floors = {floor_of(floor_kind::add_latency, 1, around(1.0)),
                 floor_of(floor_kind::inorder_streams, 1, around(1e-3)),
                 floor_of(floor_kind::read_bandwidth, 1, around(6.4)),  // 1.25 ms for the array: slower than in order
                 floor_of(floor_kind::inorder_streams, 2, spread(0.5e-3, 0.6))};
  const std::vector<headline> wide_said = headlines(plan, wide, 2, 1);
  const std::string said = texts(wide_said);
  EXPECT_NE(said.find("this run cannot tell whether more than the adds costs."), std::string::npos) << said;
  EXPECT_NE(said.find("reads the array at 0.80x ["), std::string::npos) << said;
  EXPECT_NE(said.find("the speed of the in-order sum (6.4 GB/s): slower"), std::string::npos) << said;
  EXPECT_NE(said.find("the in-order floor: a running sum kept in memory costs nothing measurable"), std::string::npos) << said;
  EXPECT_NE(said.find("OpenMP's fork, barrier and join cost nothing measurable on top"), std::string::npos) << said;
  for (const headline& sentence : wide_said) {
    EXPECT_TRUE(!sentence.supported || sentence.ci.low > 1 || sentence.ci.high < 1) << sentence.text;
  }

  figures zero;  // a clock too coarse for the runs
  zero.cases = {stats_of("sum_walltime", 1, {0, 0, 0, 0, 0, 0, 0}, plan.size),
                stats_of("sum_walltime", 2, {0, 0, 0, 0, 0, 0, 0}, plan.size)};
  zero.floors = {floor_of(floor_kind::inorder_streams, 2, around(1e-3))};
  const std::vector<headline> zero_said = headlines(plan, zero, 2, 1);
  ASSERT_FALSE(zero_said.empty());
  EXPECT_NE(texts(zero_said).find("sum_walltime, 2 threads against 1 thread: no ratio (a median time is 0 s"),
            std::string::npos) << texts(zero_said);
  for (const headline& sentence : zero_said) {
    EXPECT_EQ(sentence.text.find("nan"), std::string::npos) << sentence.text;
    EXPECT_EQ(sentence.text.find("inf"), std::string::npos) << sentence.text;
    EXPECT_LT(sentence.ratio, 0);
  }

  figures two_runs;
  two_runs.cases = {stats_of("sum_walltime", 1, {1.0e-3, 1.0e-3}, plan.size),
                    stats_of("sum_walltime", 2, {0.5e-3, 0.5e-3}, plan.size)};
  const std::vector<headline> few = headlines(plan, two_runs, 2, 1);
  ASSERT_FALSE(few.empty());
  EXPECT_EQ(few[0].text.rfind("sum_walltime, 2 threads: 2.00x [2.00, 2.00]* the speed of 1 thread: no measurable", 0), 0u)
      << few[0].text;
  EXPECT_FALSE(few[0].supported);
  EXPECT_FALSE(few[0].precise);
}

// Packed over padded is read against plain threads' sums in one line over a line apart: a host
// that shows false sharing, and one that hides it from running sums but not from atomic adds.
TEST(Headlines, ReadFalseSharingAgainstTheHostsOwnReference) {
  run_plan plan;
  plan.threads = {2};
  plan.size = 20000000;
  plan.settings = {{}};
  const auto said_for = [&](double programs, double plain, double atomics) {
    figures measured;
    measured.cases = {stats_of("sum_slots_packed", 2, around(0.04 * programs), plan.size),
                      stats_of("sum_slots_padded", 2, around(0.04), plan.size)};
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
  EXPECT_EQ(shows.effect, "false_sharing");
  EXPECT_EQ(shows.reference_name, "shared_line_sums/separate_line_sums");
  EXPECT_NEAR(shows.reference_ratio, 3.1, 1e-12);
  EXPECT_NE(shows.text.find("Plain threads keeping running sums in one line take 3.10x ["), std::string::npos) << shows.text;
  EXPECT_NE(shows.text.find("the programs show the false sharing this processor has."), std::string::npos) << shows.text;

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
  few.cases = {stats_of("sum_slots_packed", 2, {0.12, 0.121, 0.119}, plan.size),
               stats_of("sum_slots_padded", 2, {0.04, 0.041, 0.039}, plan.size)};
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
  plan.size = 10000000;
  plan.settings = {{}};
  const auto said_for = [&](double team_seconds) {
    figures measured;
    measured.cases = {stats_of("sum_walltime", 1, around(0.006), plan.size),
                      stats_of("sum_walltime", 2, around(team_seconds), plan.size)};
    for (const auto& [kind, median] : {std::pair{floor_kind::inorder_streams, 0.003}, {floor_kind::fork_join_after_idle, 90.0},
                                       {floor_kind::barrier, 1.5}, {floor_kind::atomic_add, 30.0}}) {
      measured.floors.push_back({kind, 2, 0, around(median), median, median_interval(around(median))});
    }
    measured.floors.push_back({floor_kind::inorder_streams, 1, 0, around(0.006), 0.006, median_interval(around(0.006))});
    return headlines(plan, measured, 2, 1).front();
  };
  const headline woken = said_for(0.0031);  // 100 us over the floor: one wake-up, barrier and adds
  EXPECT_EQ(woken.effect, "openmp_cost");
  EXPECT_EQ(woken.reference_name, "fork_join_after_idle+barrier+atomic_adds");
  EXPECT_NE(woken.text.find("on this host: 91.6 us ["), std::string::npos) << woken.text;
  EXPECT_NE(woken.text.find(": about what they take."), std::string::npos) << woken.text;
  const headline more = said_for(0.004);  // 1 ms over the floor
  EXPECT_NE(more.text.find(": more than those constructs take."), std::string::npos) << more.text;
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
