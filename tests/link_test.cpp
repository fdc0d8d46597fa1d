// Each build profile links the runtime it is meant to, and only that one.
#include <string>

#include "tests/program_harness.hpp"

namespace {

std::string dynamic_section(const std::string& program) {
  const child_result run = run_child(SUITE_READELF, {"-d", "-W", program_path(program)},
                                     environment_without_runtime_settings());
  EXPECT_EQ(run.exit_status, 0) << run.err;
  return run.out;
}

bool needs(const std::string& section, const std::string& library_prefix) {
  return section.find("Shared library: [" + library_prefix) != std::string::npos;
}

TEST(Link, SerialBuildNeedsNoOpenMPRuntime) {
  const std::string section = dynamic_section("sum_baseline_serial");
  ASSERT_NE(section.find("Shared library: [libc.so"), std::string::npos) << section;
  EXPECT_FALSE(needs(section, "libgomp")) << section;
  EXPECT_FALSE(needs(section, "libomp")) << section;
  EXPECT_FALSE(needs(section, "libiomp")) << section;
}

TEST(Link, OpenMPProgramsNeedGccsRuntime) {
  for (const char* program : SUITE_GOMP_PROGRAMS) {
    SCOPED_TRACE(program);
    const std::string section = dynamic_section(program);
    EXPECT_TRUE(needs(section, "libgomp.so")) << section;
    EXPECT_FALSE(needs(section, "libomp")) << section;
  }
}

TEST(Link, LibompProfileNeedsLlvmsRuntimeAndNotGccs) {
  SKIP_WITHOUT_LIBOMP();
  for (const char* program : SUITE_LIBOMP_PROGRAMS) {
    SCOPED_TRACE(program);
    const std::string section = dynamic_section(program);
    EXPECT_TRUE(needs(section, "libomp.so")) << section;
    EXPECT_FALSE(needs(section, "libgomp")) << section;
  }
  const child_result run = run_with_threads("libomp_probe", {}, 3);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.out, "team of 3\n");
  EXPECT_EQ(run.err, "");
}

}  // namespace
