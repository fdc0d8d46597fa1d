// Every program under the runtime settings users set: team sizes, dynamic teams, binding,
// waiting and nesting. Each run must give the exact results, one line per thread of each team,
// status 0 and nothing on standard error.
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/demo_checks.hpp"
#include "tests/program_harness.hpp"

using namespace omp_sums;

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
      {"spread on threads",
       {{"OMP_NUM_THREADS", "3"}, {"OMP_PROC_BIND", "spread"}, {"OMP_PLACES", "threads"}},
       3,
       false},
      {"spread on cores", {{"OMP_NUM_THREADS", "2"}, {"OMP_PROC_BIND", "spread"}, {"OMP_PLACES", "cores"}}, 2, false},
      {"passive waiting", {{"OMP_NUM_THREADS", "3"}, {"OMP_WAIT_POLICY", "passive"}}, 3, false},
      {"nested", {{"OMP_NUM_THREADS", "2"}, {"OMP_NESTED", "true"}}, 2, false},
      {"two active levels", {{"OMP_NUM_THREADS", "2"}, {"OMP_MAX_ACTIVE_LEVELS", "2"}}, 2, false},
      {"level list 3,2", {{"OMP_NUM_THREADS", "3,2"}, {"OMP_MAX_ACTIVE_LEVELS", "2"}}, 3, false},
      {"level list 2,3 nested", {{"OMP_NUM_THREADS", "2,3"}, {"OMP_NESTED", "true"}}, 2, false},
  };
}

void expect_team_size(int printed_team, const matrix_case& c) {
  if (c.dynamic) {
    EXPECT_GE(printed_team, 1);
    EXPECT_LE(printed_team, c.first_level_threads);
  } else {
    EXPECT_EQ(printed_team, c.first_level_threads);
  }
}

// Reads a run on whatever team the runtime formed, then checks that team.
program_run check_run(const std::string& name, const std::vector<std::string>& args, const matrix_case& c) {
  const child_result run = run_program(name, args, c.omp);
  EXPECT_EQ(run.err, "");
  const program_run reading = read_run(program(name), 1000, 0, run);
  EXPECT_EQ(reading.problem, "") << run.out;
  if (program(name).on_team && reading.team_size != 0) expect_team_size(reading.team_size, c);
  return reading;
}

void check_iteration_count(const matrix_case& c) {
  const program_run run = check_run("iteration_count", {"1000"}, c);
  EXPECT_EQ(run.result_fields, (std::vector<std::string>{"499500", "499500"}));
  if (c.dynamic) return;  // the report region's team may differ: its lines need not add up
  std::map<int, int> expected;
  for (int t = 0; t < run.team_size; ++t) expected[t] = 1000 / run.team_size + (t < 1000 % run.team_size ? 1 : 0);
  std::map<int, int> counts;
  for (const auto& [thread, fields] : run.thread_fields) counts[thread] = std::stoi(fields.at(1));
  EXPECT_EQ(counts, expected);
}

void check_thread_stacks(const matrix_case& c) {
  if (!kHaveLibomp) return;
  const child_result run = run_program("thread_stacks", {}, c.omp);
  const program_run report = read_run(program("thread_stacks"), 0, 0, run);
  expect_team_size(report.team_size, c);
  expect_stack_report(run, report.team_size);
}

void PrintTo(const matrix_case& c, std::ostream* out) { *out << c.name; }

class RuntimeSettings : public testing::TestWithParam<matrix_case> {};

TEST_P(RuntimeSettings, EveryProgramGivesExactResultsAndWholeTeams) {
  const matrix_case& c = GetParam();
  for (const program_description& array_program : kPrograms) {
    SCOPED_TRACE(std::string(array_program.name));
    if (array_program.allocates) check_run(std::string(array_program.name), {"1000"}, c);
  }
  {
    SCOPED_TRACE("iteration_count");
    check_iteration_count(c);
  }
  {
    SCOPED_TRACE("thread_stacks");
    check_thread_stacks(c);
  }
}

std::string case_name(const testing::TestParamInfo<matrix_case>& info) {
  std::string name;
  for (char ch : info.param.name) name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Matrix, RuntimeSettings, testing::ValuesIn(matrix_cases()), case_name);

}  // namespace
