// sum_compare's runs under faults: programs that hang, leave children behind or are killed, an
// interruption mid-run, and sum_compare itself killed outright. A stand-in script
// (tests/stand_in.sh) plays sum_walltime.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/stand_in.hpp"

using namespace omp_sums;

namespace {

namespace fs = std::filesystem;

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
    const child_result run =
        compare_with_stand_in(bin, "signal_from_run_2", valid_output(10000),
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

// Killed outright, sum_compare cannot stop its run: the run's keeper, told by the kernel as its
// parent dies, kills the program and everything it started, in its group or out of it.
TEST(SumCompareFaults, ARunAndAllItStartedDieWithSumCompareKilledOutright) {
  for (const char* mode : {"hang_here", "hang_with_descendants"}) {
    SCOPED_TRACE(mode);
    const stand_in_bin bin;
    std::vector<std::string> env = environment_without_runtime_settings();
    set_variable(env, "STAND_IN_MODE", mode);
    set_variable(env, "STAND_IN_PIDS", bin.pids.string());
    // The probe's run hangs: sum_compare is killed once it has written its pids (3 with descendants).
    const std::string script = R"sh(
      "$0" --programs sum_walltime --threads 1 --repeat 1 --size 1000 --timeout 600 --bin "$1" >/dev/null 2>&1 &
      compare=$!
      until [ "$(grep -c . "$2" 2>/dev/null)" -ge "$3" ]; do sleep 0.05; done
      kill -KILL $compare)sh";
    const std::string pids_written = std::string(mode) == "hang_here" ? "1" : "3";
    const child_result run = run_child(
        "sh", {"-c", script, program_path("sum_compare"), bin.path.string(), bin.pids.string(), pids_written}, env,
        {60});
    EXPECT_EQ(run.exit_status, 0) << run.err;
    for (int waited = 0; waited < 100 && !left_over(bin).empty(); ++waited) usleep(50000);
    EXPECT_EQ(left_over(bin), std::vector<int>{});
    for (int pid : left_over(bin)) kill(pid, SIGKILL);
  }
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
  EXPECT_NE(killed.err.find("FAILED: sum_walltime on 1 thread (run 1): killed by SIGSEGV"), std::string::npos)
      << killed.err;

  // A process in a session of its own is named and stopped once its run has ended.
  const child_result escaped = compare_with_stand_in(bin, "escape", valid_output(10000));
  EXPECT_EQ(escaped.exit_status, 0) << escaped.err;
  std::ifstream written(bin.pids);
  std::vector<int> pids;
  for (int pid = 0; written >> pid;) pids.push_back(pid);
  ASSERT_GE(pids.size(), 2u);  // the last: run 1's escapee
  EXPECT_NE(escaped.err.find("Warning: sum_walltime on 1 thread (run 1) left processes running outside its process "
                             "group; sum_compare stopped them: pid " +
                             std::to_string(pids.back())),
            std::string::npos)
      << escaped.err;
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

}  // namespace
