// sum_compare's set-up before any run: the plan of a dry run, the chart's needs, and the options
// refused.
#include <algorithm>
#include <filesystem>
#include <string>

#include "tests/program_harness.hpp"
#include "tools/catalog/programs.hpp"
#include "tools/catalog/text.hpp"
#include "tools/run/planning.hpp"

using namespace omp_sums;

namespace {

namespace fs = std::filesystem;

child_result compare(const std::vector<std::string>& args) {
  return run_child(program_path("sum_compare"), args, environment_without_runtime_settings());
}

namespace {

long long compared_sums() {
  return std::count_if(std::begin(kPrograms), std::end(kPrograms),
                       [](const program_description& p) { return p.compared; });
}

}  // namespace

TEST(SumCompare, DryRunPlansTheTeamSizesOfTheAllowedProcessorsAndRunsNothing) {
  EXPECT_EQ(default_team_sizes(6), (std::vector<int>{1, 2, 4, 6}));
  EXPECT_EQ(default_team_sizes(128), (std::vector<int>{1, 2, 4, 8, 16, 32, 64, 128}));
  const child_result run = run_child("taskset", {"-c", "0", program_path("sum_compare"), "--dry-run", "--size", "1000"},
                                     environment_without_runtime_settings());
  ASSERT_EQ(run.exit_status, 0) << run.err;
  const std::vector<std::string> lines = output_lines(run.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].substr(lines[0].size() - std::string(" threads 1").size()), " threads 1") << lines[0];
  EXPECT_NE(run.out.find("may use 1: 0\n"), std::string::npos) << run.out;
  const long long cases = compared_sums() + 1;
  EXPECT_NE(run.out.find(printed("plan:        %lld cases (the calibration on each team size among them), %lld "
                                 "runs, about ",
                                 cases, 8 * cases)),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("estimate from probe runs; each run at most 300 s"), std::string::npos) << run.out;
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
  const child_result run =
      run_child((copy.path / "sum_compare").string(),
                {"--bin", std::string(SUITE_BIN_DIR), "--threads", "1", "--plot", (copy.path / "c.svg").string()},
                environment_without_runtime_settings());
  EXPECT_EQ(run.exit_status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("--plot needs the chart script "), std::string::npos) << run.err;
}

// Help that cannot be written is no success: status 1 and the system's reason.
TEST(SumCompare, HelpAndVersionToAFullDiskFail) {
  for (const std::string& words : {program_path("sum_compare") + " --help", program_path("sum_compare") + " --version",
                                   program_path("calibrate") + " --help"}) {
    const child_result run = run_child("sh", {"-c", words + " >/dev/full"}, environment_without_runtime_settings());
    EXPECT_EQ(run.exit_status, 1) << words;
    EXPECT_NE(run.err.find("cannot write standard output: No space left on device"), std::string::npos) << run.err;
  }
}

TEST(SumCompare, RejectsBadOptionsWithStatusTwo) {
  const std::vector<std::vector<std::string>> bad = {
      {"--frobnicate"},
      {"--threads", "0"},
      {"--threads", "a"},
      {"--threads", "1,-2"},
      {"--threads"},
      {"--size", "-5"},
      {"--size", "12abc"},
      {"--size", "0"},
      {"--size", "99999999999"},
      {"--size", "0x10"},
      {"--repeat", "0"},
      {"--programs", "sum_nothing"},
      {"--plot", "chart.pdf"},
      {"stray"},
      {"--env", "OMP_NUM_THREADS=1,2"},
      {"--env", "OMP_PROC_BIND"},
      {"--env", "X=a,,b"},
      {"--env", "X=a", "--env", "X=b"},
      {"--env", "OMP_PLACES={0"},
      {"--env", "OMP_PLACES={0},{1"},
      {"--env", "OMP_PLACES=0},{1"},
      {"--bin", ""},
      {"--precision", "0"},
      {"--precision", "100%"},
      {"--precision", "x"},
      {"--build", "gcc"},
      {"--build", "a b=/x"},
      {"--build", "a=/x", "--build", "a=/y"},
      {"--build", "a=/x", "--bin", "/y"},
      {"--merge", "a.json"},
      {"--compare", "a.json", "b.json", "--csv", "c.csv"},
  };
  for (const auto& args : bad) {
    const child_result run = compare(args);
    EXPECT_EQ(run.exit_status, 2) << args[0];
    EXPECT_EQ(run.out, "") << args[0];
    EXPECT_EQ(run.err.rfind("sum_compare: ", 0), 0u) << args[0];
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
  // Counted before it is made: 1001 rounds of every case under 1000 settings; 1100 settings.
  const auto values = [](const char* name, int count) {
    std::string dimension = std::string(name) + "=1";
    for (int k = 2; k <= count; ++k) dimension += "," + std::to_string(k);
    return dimension;
  };
  const child_result huge = compare({"--dry-run", "--threads", "1,2", "--repeat", "1000", "--env", values("A", 1000)});
  EXPECT_EQ(huge.exit_status, 2);
  // The serial reference once, the calibration and the rest on both team sizes.
  const long long cases = 1 + 2 + 2 * (compared_sums() - 1);
  EXPECT_NE(huge.err.find(printed("the plan has %lld runs, more than the 1000000", 1001 * cases * 1000)),
            std::string::npos)
      << huge.err;
  const child_result settings = compare({"--dry-run", "--env", values("A", 100), "--env", values("B", 11)});
  EXPECT_EQ(settings.exit_status, 2);
  EXPECT_NE(settings.err.find("the plan has more than 1000 settings"), std::string::npos) << settings.err;

  const child_result help = compare({"--help"});
  EXPECT_EQ(help.exit_status, 0);
  EXPECT_NE(help.out.find("Usage: sum_compare"), std::string::npos);
  EXPECT_NE(help.out.find("--plot"), std::string::npos);
}

}  // namespace
