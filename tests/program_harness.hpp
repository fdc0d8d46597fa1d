// Helpers for tests that run the built programs and read their output.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/unit/json_checks.hpp"
#include "tools/catalog/programs.hpp"
#include "tools/run/child_process.hpp"
#include "tools/run/program_output.hpp"

namespace omp_sums {

// The libomp profile (thread_stacks, the libomp probe) is built only where LLVM's runtime was found.
#ifdef SUITE_HAVE_LIBOMP
constexpr bool kHaveLibomp = true;
#else
constexpr bool kHaveLibomp = false;
#endif
#define SKIP_WITHOUT_LIBOMP() \
  if (!kHaveLibomp) GTEST_SKIP() << "LLVM's OpenMP runtime is not installed (libomp-dev)"

inline std::string program_path(const std::string& name) { return std::string(SUITE_BIN_DIR) + "/" + name; }

inline std::string helper_path(const std::string& name) { return std::string(SUITE_TEST_HELPER_DIR) + "/" + name; }

// Standard error without the notices LLVM's runtime itself prints (it calls OMP_NESTED
// deprecated): what the programs write must be empty, the runtime's remarks are not theirs.
inline std::string without_runtime_notices(const std::string& err) {
  std::string kept;
  std::istringstream lines(err);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("OMP: Info #", 0) != 0) kept += line + "\n";
  }
  return kept;
}

// Runs a program with no OpenMP setting of the caller's, then the given ones.
inline child_result run_program(const std::string& name, const std::vector<std::string>& args,
                                const std::vector<std::pair<std::string, std::string>>& omp = {}) {
  std::vector<std::string> env = environment_without_runtime_settings();
  for (const auto& [variable, value] : omp) set_variable(env, variable, value);
  child_result run = run_child(program_path(name), args, env);
  run.err = without_runtime_notices(run.err);
  return run;
}

inline child_result run_with_threads(const std::string& name, const std::vector<std::string>& args, int threads) {
  return run_program(name, args, {{"OMP_NUM_THREADS", std::to_string(threads)}});
}

// Runs a program and reads it with the validator, expecting a clean run on `threads` threads
// (0: any team): status 0, nothing on standard error, every line as described.
inline program_run expect_valid_run(const std::string& name, const std::vector<std::string>& args,
                                    const std::vector<std::pair<std::string, std::string>>& omp, int threads,
                                    long long n) {
  const child_result run = run_program(name, args, omp);
  EXPECT_EQ(run.err, "") << name;
  program_run reading = read_run(program(name), n, threads, run);
  EXPECT_EQ(reading.problem, "") << name << "\n" << run.out;
  return reading;
}

// The lines of a program's output; a last line without its newline is kept and flagged.
inline std::vector<std::string> output_lines(const std::string& out) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream stream(out);
  while (std::getline(stream, line)) lines.push_back(line);
  if (!out.empty() && out.back() != '\n') lines.back() += "<no newline>";
  return lines;
}

inline std::string exact_index_sum(long long n) { return g_format(n > 0 ? static_cast<double>(n * (n - 1) / 2) : 0.0); }

// A directory of the running test's own, removed with everything in it at the end.
struct scratch_directory {
  std::filesystem::path path;
  scratch_directory() {
    path = std::filesystem::temp_directory_path() / ("omp_sums_test_" + std::to_string(getpid()) + "_" +
                                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
  }
  ~scratch_directory() { std::filesystem::remove_all(path); }
  scratch_directory(const scratch_directory&) = delete;
  scratch_directory& operator=(const scratch_directory&) = delete;

  // An executable shell script named like a program.
  void stand_in(const std::string& name, const std::string& script) const {
    const std::filesystem::path file = path / name;
    std::ofstream(file) << "#!/bin/sh\n" << script;
    std::filesystem::permissions(file, std::filesystem::perms::owner_all);
  }
};

inline nlohmann::json written_json_file(const std::filesystem::path& path) {
  std::ifstream in(path);
  return written_json(std::string(std::istreambuf_iterator<char>(in), {}));
}

}  // namespace omp_sums
