// A command's run read from fixed output: the time and element lines, the runtimes' affinity
// lines (libgomp's on standard error, libomp's on standard output), and what makes a run fail;
// its line split as a shell splits words; its size's elements in its environment.
#include <gtest/gtest.h>

#include <algorithm>

#include "tools/run/command_output.hpp"
#include "tools/run/planning.hpp"
#include "tools/run/runner.hpp"
#include "tools/sum_compare/option_values.hpp"

using namespace omp_sums;

namespace {

const output_bounds kBounds{16, 300};

command_wanted triad() {
  command_wanted command;
  command.name = "triad";
  command.line = "bin/triad 1000";
  command.argv = {"bin/triad", "1000"};
  return command;
}

child_result exited(int status, std::string out, std::string err = "", double cpu_seconds = 0.5) {
  child_result run;
  run.exit_status = status;
  run.out = std::move(out);
  run.err = std::move(err);
  run.cpu_seconds = cpu_seconds;
  return run;
}

}  // namespace

TEST(Command, ReadsItsTimeElementsAndEachThreadsPlaceFromEitherRuntime) {
  // libgomp writes the affinity lines to standard error, libomp to standard output.
  const program_run read = read_command_run(
      triad(), 2,
      exited(0, "sum_compare-affinity 1 5\ntriad done\nseconds=0.25\nelements=1000\n", "sum_compare-affinity 0 3\n"),
      0.75, kBounds);
  EXPECT_EQ(read.problem, "");
  EXPECT_DOUBLE_EQ(read.seconds, 0.25);
  EXPECT_EQ(read.elements, 1000);
  EXPECT_DOUBLE_EQ(read.thread_seconds, 0.25);  // the CPU time over the team
  EXPECT_EQ(read.threads, (std::map<int, thread_report>{{0, {.processor = 3}}, {1, {.processor = 5}}}));
  EXPECT_EQ(read.place_size, 0);

  // No seconds= line: the process's wall time. Unbound threads' places span processors.
  const program_run unbound =
      read_command_run(triad(), 2, exited(0, "sum_compare-affinity 0 0-3\nsum_compare-affinity 1 0,1,2,3\n"), 0.75, kBounds);
  EXPECT_EQ(unbound.problem, "");
  EXPECT_DOUBLE_EQ(unbound.seconds, 0.75);
  EXPECT_TRUE(unbound.threads.empty());
  EXPECT_EQ(unbound.place_size, 4);
  EXPECT_EQ(processors_of_place("0-2,8,10-11", 16), (std::vector<int>{0, 1, 2, 8, 10, 11}));
  EXPECT_TRUE(processors_of_place("3-1", 16).empty());

  command_wanted timed = triad();
  timed.time_regex = "took ([0-9.e+-]+) s";
  EXPECT_DOUBLE_EQ(read_command_run(timed, 1, exited(0, "it took 1.5e-3 s\n"), 2, kBounds).seconds, 1.5e-3);
}

TEST(Command, FailsARunThatExitsOtherwiseOrPrintsNoNumberWhereOneIsDue) {
  EXPECT_EQ(read_command_run(triad(), 1, exited(3, "seconds=1\n"), 1, kBounds).problem,
            "exit status 3 (a valid run exits with 0)");
  command_wanted three = triad();
  three.expect_exit = 3;
  EXPECT_EQ(read_command_run(three, 1, exited(3, "seconds=1\n"), 1, kBounds).problem, "");
  EXPECT_EQ(read_command_run(triad(), 1, exited(0, "seconds=fast\n"), 1, kBounds).problem,
            "its seconds= line holds no number of seconds up to its time limit: \"fast\"");
  EXPECT_EQ(read_command_run(triad(), 1, exited(0, "seconds=-2\n"), 1, kBounds).problem,
            "its seconds= line holds no number of seconds up to its time limit: \"-2\"");
  EXPECT_EQ(read_command_run(triad(), 1, exited(0, "elements=0\n"), 1, kBounds).problem,
            "its elements= line holds no positive whole number: \"0\"");
  command_wanted checked = triad();
  checked.expect = "^result ok$";
  EXPECT_EQ(read_command_run(checked, 1, exited(0, "result wrong\n"), 1, kBounds).problem,
            "no line of its output matches --expect ^result ok$");
  // An affinity line is the runtime's: it cannot satisfy --expect.
  checked.expect = "affinity";
  EXPECT_NE(read_command_run(checked, 1, exited(0, "sum_compare-affinity 0 1\n"), 1, kBounds).problem, "");
}

TEST(Command, SplitsItsLineAsAShellWouldWithoutExpanding) {
  std::vector<std::string> words;
  EXPECT_EQ(shell_words(R"(bin/triad  'a b' "c \"d\" $HOME" e\ f *)", words), "");
  EXPECT_EQ(words, (std::vector<std::string>{"bin/triad", "a b", "c \"d\" $HOME", "e f", "*"}));
  EXPECT_EQ(shell_words("bin/triad 'open", words), "a single quote is not closed");
  EXPECT_EQ(shell_words("   ", words), "it has no command");
  command_wanted command;
  EXPECT_NE(read_command("sum_walltime=bin/x", false, command), "");  // a program's name
  EXPECT_EQ(read_command("mine=bin/x 1", false, command), "");
  EXPECT_EQ(command.argv, (std::vector<std::string>{"bin/x", "1"}));
}

// Over several sizes a command finds its case's elements in its environment, to read or not.
TEST(Command, FindsItsSizesElementsInItsEnvironment) {
  plan_request options;
  options.programs = {"sum_walltime"};
  options.threads = {2};
  options.sizes = {counted_size(1000), {"L2", 65536, 2, 1 << 20, 0}};
  options.commands = {triad()};
  const run_plan plan = make_plan(options, 2);
  std::vector<std::string> seen;
  for (const run_case& c : plan.cases) {
    const std::vector<std::string> env = case_environment(plan, c, {"PATH=/bin"});
    const bool told =
        std::find(env.begin(), env.end(), "SUM_COMPARE_ELEMENTS=" + std::to_string(elements_of(plan, c))) != env.end();
    if (c.program->role == program_role::command)
      seen.push_back(std::to_string(told) + " " + std::to_string(elements_of(plan, c)));
    else
      EXPECT_FALSE(told) << c.program->name;  // the suite's programs take their count as an argument
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"1 1000", "1 1000", "1 65536", "1 65536"}));  // 1 and 2 threads each
}
