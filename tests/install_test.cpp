// cmake --install puts the programs, sum_compare, its chart script and its man page where they are found.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/program_harness.hpp"
#include "tools/catalog/suite_build.hpp"

using namespace omp_sums;

namespace {

namespace fs = std::filesystem;

TEST(Install, PutsEveryProgramBesideSumCompare) {
  const scratch_directory scratch;
  const fs::path prefix = scratch.path;
  const child_result install =
      run_child(SUITE_CMAKE, {"--install", SUITE_BUILD_DIR, "--prefix", prefix.string()}, current_environment());
  ASSERT_EQ(install.exit_status, 0) << install.out << install.err;

  EXPECT_TRUE(fs::exists(prefix / "bin" / "sum_compare"));
  EXPECT_TRUE(fs::exists(prefix / "bin" / kCalibration.name));
  EXPECT_TRUE(fs::exists(prefix / "share" / "omp_sums" / "sum_compare.gp"));
#ifdef SUITE_HAVE_MAN_PAGE
  // The man page is made of --help: every group of options is in it.
  std::ifstream man(prefix / "share" / "man" / "man1" / "sum_compare.1");
  const std::string page{std::istreambuf_iterator<char>(man), {}};
  for (const char* group : {"Plan:", "Settings and builds:", "Saved runs:", "Outputs:"})
    EXPECT_NE(page.find(group), std::string::npos) << group;
#endif
  for (const program_description& described : kPrograms) {
    if (profile_of(described.name).empty()) continue;  // not built here (libomp missing)
    EXPECT_TRUE(fs::exists(prefix / "bin" / described.name)) << described.name;
  }
  for (const fs::directory_entry& entry : fs::directory_iterator(prefix / "bin")) {
    const std::string name = entry.path().filename().string();
    const bool example = (" " + std::string(SUITE_EXAMPLES) + " ").find(" " + name + " ") != std::string::npos;
    EXPECT_TRUE(name == "sum_compare" || name == kCalibration.name || name == kBuildFactsFile ||
                find_program(name) != nullptr || example)
        << name << " is no program of the suite";
  }

  // The installed sum_compare runs the installed programs and draws with the installed script.
  const bool have_gnuplot = system("command -v gnuplot >/dev/null 2>&1") == 0;
  std::vector<std::string> args{"--programs", "sum_walltime", "--threads", "1", "--size", "1000", "--repeat", "1"};
  if (have_gnuplot) args.insert(args.end(), {"--plot", (prefix / "chart.svg").string()});
  const child_result run =
      run_child((prefix / "bin" / "sum_compare").string(), args, environment_without_runtime_settings());
  EXPECT_EQ(run.exit_status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("programs:    " + (prefix / "bin").string()), std::string::npos) << run.out;
  if (have_gnuplot) {
    EXPECT_TRUE(fs::exists(prefix / "chart.svg"));
  }
}

}  // namespace
