// Every program under the runtime settings users set: team sizes, dynamic teams, binding,
// waiting and nesting. Each run must give the exact results, one line per thread of each team,
// status 0 and nothing on standard error.
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/demo_checks.hpp"
#include "tests/program_harness.hpp"
#include "tools/compare_runs.hpp"

namespace {

using setting = std::vector<std::pair<std::string, std::string>>;

struct matrix_case {
  std::string name;
  setting omp;
  int first_level_threads;  // the team size of an outermost region
  bool dynamic;             // the runtime may give a region fewer threads
};

std::vector<matrix_case> matrix_cases() {
  const int processors = static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
  const int many = 4 * processors + 1;
  return {
      {"one thread", {{"OMP_NUM_THREADS", "1"}}, 1, false},
      {"odd team", {{"OMP_NUM_THREADS", "3"}}, 3, false},
      {"well above the processors", {{"OMP_NUM_THREADS", std::to_string(many)}}, many, false},
      {"dynamic teams", {{"OMP_NUM_THREADS", "3"}, {"OMP_DYNAMIC", "true"}}, 3, true},
      {"close on threads", {{"OMP_NUM_THREADS", "2"}, {"OMP_PROC_BIND", "close"}, {"OMP_PLACES", "threads"}}, 2, false},
      {"close on cores", {{"OMP_NUM_THREADS", "3"}, {"OMP_PROC_BIND", "close"}, {"OMP_PLACES", "cores"}}, 3, false},
      {"spread on threads", {{"OMP_NUM_THREADS", "3"}, {"OMP_PROC_BIND", "spread"}, {"OMP_PLACES", "threads"}}, 3, false},
      {"spread on cores", {{"OMP_NUM_THREADS", "2"}, {"OMP_PROC_BIND", "spread"}, {"OMP_PLACES", "cores"}}, 2, false},
      {"passive waiting", {{"OMP_NUM_THREADS", "3"}, {"OMP_WAIT_POLICY", "passive"}}, 3, false},
      {"nested", {{"OMP_NUM_THREADS", "2"}, {"OMP_NESTED", "true"}}, 2, false},
      {"two active levels", {{"OMP_NUM_THREADS", "2"}, {"OMP_MAX_ACTIVE_LEVELS", "2"}}, 2, false},
      {"level list 3,2", {{"OMP_NUM_THREADS", "3,2"}, {"OMP_MAX_ACTIVE_LEVELS", "2"}}, 3, false},
      {"level list 2,3 nested", {{"OMP_NUM_THREADS", "2,3"}, {"OMP_NESTED", "true"}}, 2, false},
  };
}

// The team size a program printed in its team-size line, or 0.
int printed_team_size(const std::string& out) {
  const std::string prefix = "omp summation with ";
  const std::size_t at = out.find(prefix);
  return at == std::string::npos ? 0 : std::atoi(out.c_str() + at + prefix.size());
}

void expect_team_size(int printed, const matrix_case& c) {
  if (c.dynamic) {
    EXPECT_GE(printed, 1);
    EXPECT_LE(printed, c.first_level_threads);
  } else {
    EXPECT_EQ(printed, c.first_level_threads);
  }
}

void check_sum_program(const std::string& program, const matrix_case& c) {
  const child_result run = run_program(program, {"1000"}, c.omp);
  EXPECT_EQ(run.err, "");
  const int team = program == "sum_baseline_serial" ? 1 : printed_team_size(run.out);
  if (program != "sum_baseline_serial") expect_team_size(team, c);
  EXPECT_EQ(read_run(program, 1000, team, run).problem, "") << run.out;
}

void check_iteration_count(const matrix_case& c) {
  const child_result run = run_program("iteration_count", {"1000"}, c.omp);
  const int team = printed_team_size(run.out);
  expect_team_size(team, c);
  if (c.dynamic) {  // the report region's team may differ: check the lines, not their number
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("\nSum is 499500 (expected: 499500)\n"), std::string::npos) << run.out;
    return;
  }
  const auto [counts, last] = read_counts(run, team);
  std::map<int, int> expected;
  for (int t = 0; t < team; ++t) expected[t] = 1000 / team + (t < 1000 % team ? 1 : 0);
  EXPECT_EQ(counts, expected);
  EXPECT_EQ(last, "Sum is 499500 (expected: 499500)");
}

void check_thread_stacks(const matrix_case& c) {
  if (!kHaveLibomp) return;
  const child_result run = run_program("thread_stacks", {}, c.omp);
  const int pairs = (static_cast<int>(output_lines(run.out).size()) - 8) / 2;
  expect_team_size(pairs, c);
  expect_stack_report(run, pairs);
}

void check_prefix_scan(const matrix_case& c) {
  const child_result run = run_program("prefix_scan", {"100000"}, c.omp);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.err, "");
  const std::vector<std::string> lines = output_lines(run.out);
  ASSERT_EQ(lines.size(), 1u) << run.out;
  EXPECT_EQ(shape_of(lines[0]).shape, "process took # of wall-clock time ");
}

void PrintTo(const matrix_case& c, std::ostream* out) { *out << c.name; }

class RuntimeSettings : public testing::TestWithParam<matrix_case> {};

TEST_P(RuntimeSettings, EveryProgramGivesExactResultsAndWholeTeams) {
  const matrix_case& c = GetParam();
  for (const std::string& program : comparable_programs()) {
    SCOPED_TRACE(program);
    check_sum_program(program, c);
  }
  {
    SCOPED_TRACE("iteration_count");
    check_iteration_count(c);
  }
  {
    SCOPED_TRACE("thread_stacks");
    check_thread_stacks(c);
  }
  {
    SCOPED_TRACE("prefix_scan");
    check_prefix_scan(c);
  }
}

std::string case_name(const testing::TestParamInfo<matrix_case>& info) {
  std::string name;
  for (char ch : info.param.name) name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Matrix, RuntimeSettings, testing::ValuesIn(matrix_cases()), case_name);

}  // namespace
