// sum_compare run over a stand-in for sum_walltime (tests/stand_in.sh), which plays the faults of
// a program: hangs, leftover children, floods, wrong figures, raw bytes.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/program_harness.hpp"

namespace omp_sums {

// A programs' directory whose sum_walltime is tests/stand_in.sh.
struct stand_in_bin : scratch_directory {
  std::filesystem::path pids = path / "pids";
  stand_in_bin() {
    std::filesystem::create_symlink(std::string(SUITE_TEST_SOURCE_DIR) + "/stand_in.sh", path / "sum_walltime");
  }
};

inline std::string valid_output(long long n) {
  return printed(kTeamLine, 1) + "\n" + printed(kResultLine, static_cast<double>((n - 1) * n / 2), 0.001, 0.001) + "\n";
}

// True while the process exists and has not exited: a zombie waits only for whoever inherited
// it to reap it.
inline bool running(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  const std::size_t name_end = line.rfind(')');
  return name_end != std::string::npos && line.size() > name_end + 2 && line[name_end + 2] != 'Z';
}

// The processes the stand-ins started that still run.
inline std::vector<int> left_over(const stand_in_bin& bin) {
  std::vector<int> alive;
  std::ifstream in(bin.pids);
  int pid = 0;
  while (in >> pid) {
    if (running(pid)) alive.push_back(pid);
  }
  return alive;
}

// sum_compare over the stand-in: one thread, one warm-up and one measured run.
inline child_result compare_with_stand_in(const stand_in_bin& bin, const std::string& mode, const std::string& output,
                                          std::vector<std::string> extra = {}, const std::string& size = "10000",
                                          const std::vector<std::string>& wrapper = {}) {
  std::vector<std::string> env = environment_without_runtime_settings();
  set_variable(env, "STAND_IN_MODE", mode);
  set_variable(env, "STAND_IN_OUTPUT", output);
  set_variable(env, "STAND_IN_PIDS", bin.pids.string());
  std::vector<std::string> args = wrapper;
  args.push_back(program_path("sum_compare"));
  for (const char* word : {"--programs", "sum_walltime", "--threads", "1", "--repeat", "1", "--bin"})
    args.push_back(word);
  args.push_back(bin.path.string());
  args.insert(args.end(), {"--size", size});
  args.insert(args.end(), extra.begin(), extra.end());
  child_result result = run_child(args.front(), std::vector<std::string>(args.begin() + 1, args.end()), env);
  // Whatever the fault, nothing the runs started outlives sum_compare, in their group or out of it.
  EXPECT_EQ(left_over(bin), std::vector<int>{}) << mode;
  return result;
}

// The lines of a file that start with `prefix`.
inline std::vector<std::string> rows_of(const std::filesystem::path& file, const std::string& prefix) {
  std::ifstream in(file);
  std::vector<std::string> rows;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(prefix, 0) == 0) rows.push_back(line);
  }
  return rows;
}

inline std::size_t occurrences(const std::string& text, const std::string& word) {
  std::size_t count = 0;
  for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++count;
  return count;
}

}  // namespace omp_sums
