// sum_compare's outputs under faults: files that are not regular, a run's flood or wrong figures,
// raw bytes, what a run wrote to standard error, outputs over inputs and set-ups refused.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/stand_in.hpp"

using namespace omp_sums;

namespace {

namespace fs = std::filesystem;

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
  const child_result run =
      compare_with_stand_in(bin, "", valid_output(10000), {"--csv", fifo.string(), "--json", json_path.string()});
  std::string received;
  char buffer[4096];
  for (ssize_t got; (got = read(reader, buffer, sizeof buffer)) > 0;)
    received.append(buffer, static_cast<std::size_t>(got));
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
  EXPECT_NE(refused.err.find("cannot write " + full.string() + ": No space left on device"), std::string::npos)
      << refused.err;
  EXPECT_TRUE(fs::is_symlink(full));
  if (system("command -v gnuplot >/dev/null 2>&1") != 0) return;  // the chart is drawn only with gnuplot
  const fs::path chart = bin.path / "chart.svg";
  fs::create_symlink("/dev/full", chart);
  const child_result drawn = compare_with_stand_in(bin, "", valid_output(10000), {"--plot", chart.string()});
  EXPECT_EQ(drawn.exit_status, 1);
  EXPECT_NE(drawn.err.find("cannot write " + chart.string() + ": No space left on device"), std::string::npos)
      << drawn.err;
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
  const child_result large =
      compare_with_stand_in(bin, "", zero_sum, {"--csv", csv.string(), "--json", json_path.string()}, "200000000");
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
  EXPECT_NE(run.out.find("settings:    GOMP_CPU_AFFINITY=0 KMP_AFFINITY=compact\n"), std::string::npos) << run.out;
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
  const child_result closed = run_child("sh",
                                        {"-c", "exec \"$0\" --from \"$1\" --json \"$2\" >&-",
                                         program_path("sum_compare"), saved.string(), again.string()},
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
  const child_result full =
      run_child("sh",
                {"-c", "exec \"$0\" --programs sum_walltime --threads 1 --size 1000 --repeat 1 >/dev/full",
                 program_path("sum_compare")},
                environment_without_runtime_settings());
  EXPECT_EQ(full.exit_status, 1);
  EXPECT_NE(full.err.find("cannot write standard output: No space left on device"), std::string::npos) << full.err;
}

}  // namespace
