// Each build profile links the runtime it is meant to, and only that one.
#include <string>

#include "tests/program_harness.hpp"
#include "tools/catalog/suite_build.hpp"

using namespace omp_sums;

namespace {

std::string dynamic_section(const std::string& path) {
  const child_result run = run_child(SUITE_READELF, {"-d", "-W", path}, environment_without_runtime_settings());
  EXPECT_EQ(run.exit_status, 0) << run.err;
  return run.out;
}

bool needs(const std::string& section, const std::string& library_prefix) {
  return section.find("Shared library: [" + library_prefix) != std::string::npos;
}

// The OpenMP runtimes a program of the profile must need: GCC's for its OpenMP profiles, LLVM's
// for the libomp profile, none for the serial build.
void expect_runtime_of_profile(const std::string& path, std::string_view profile) {
  const std::string section = dynamic_section(path);
  ASSERT_NE(section.find("Shared library: [libc.so"), std::string::npos) << section;
  EXPECT_EQ(needs(section, "libgomp.so"), profile == "optimised" || profile == "unoptimised") << section;
  EXPECT_EQ(needs(section, "libomp.so"), profile == "libomp") << section;
  EXPECT_FALSE(needs(section, "libiomp")) << section;
}

TEST(Link, EveryProgramNeedsTheRuntimeOfItsProfile) {
  for (const built_program& built : kBuiltPrograms) {
    SCOPED_TRACE(std::string(built.name) + ", " + std::string(built.profile));
    expect_runtime_of_profile(program_path(std::string(built.name)), built.profile);
  }
  EXPECT_EQ(profile_of("sum_baseline_serial"), "serial");
}

TEST(Link, LibompProfileRunsOnLlvmsRuntime) {
  SKIP_WITHOUT_LIBOMP();
  expect_runtime_of_profile(helper_path("libomp_probe"), "libomp");
  std::vector<std::string> env = environment_without_runtime_settings();
  set_variable(env, "OMP_NUM_THREADS", "3");
  const child_result run = run_child(helper_path("libomp_probe"), {}, env);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.out, "team of 3\n");
  EXPECT_EQ(run.err, "");
}

}  // namespace
