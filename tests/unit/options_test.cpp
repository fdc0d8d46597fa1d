// sum_compare's command line read in process: every option against every mode, so that none is
// taken and then ignored; and the values that are refused whatever the mode.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/sum_compare/options.hpp"

using namespace omp_sums;

namespace {

// What parse_compare_options makes of sum_compare's arguments: nullopt to go on, else the status.
std::optional<int> parsed(std::vector<std::string> words, compare_options& options) {
  words.insert(words.begin(), "sum_compare");
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  return parse_compare_options(static_cast<int>(words.size()), argv.data(), options);
}

struct mode_words {
  compare_mode mode;
  std::vector<std::string> words;
};

struct option_case {
  std::vector<std::string> words;
  std::vector<compare_mode> used_by;
};

TEST(Options, EachOptionIsTakenOnlyByTheModesThatUseIt) {
  using enum compare_mode;
  const std::vector<mode_words> modes = {{run, {}},
                                         {dry_run, {"--dry-run"}},
                                         {from, {"--from", "a.json"}},
                                         {compare, {"--compare", "a.json", "b.json"}},
                                         {merge, {"--merge", "a.json", "b.json"}}};
  const std::vector<compare_mode> planning{run, dry_run};
  const std::vector<option_case> cases = {
      {{"--programs", "sum_walltime"}, planning},
      {{"--threads", "1,2"}, planning},
      {{"--size", "1000"}, planning},
      {{"--repeat", "3"}, planning},
      {{"--budget", "60"}, planning},
      {{"--timeout", "5"}, planning},
      {{"--precision", "5%"}, planning},
      {{"--precision", "5%", "--max-time", "10"}, planning},
      {{"--env", "OMP_PROC_BIND=close,spread"}, planning},
      {{"--build", "gcc=/tmp"}, planning},
      {{"--bin", "/tmp"}, planning},
      {{"--csv", "runs.csv"}, {run, from}},
      {{"--plot", "chart.svg"}, {run, from}},
      {{"--json", "out.json"}, {run, from, compare, merge}},
      {{"--markdown", "out.md"}, {run, from, compare, merge}},
      {{"--html", "out.html"}, {run, from, compare, merge}},
      {{"--fail-if-slower", "5%"}, {compare}},
  };
  for (const option_case& option : cases) {
    for (const mode_words& mode : modes) {
      std::vector<std::string> words = mode.words;
      words.insert(words.end(), option.words.begin(), option.words.end());
      compare_options options;
      const std::optional<int> status = parsed(words, options);
      const bool used = std::find(option.used_by.begin(), option.used_by.end(), mode.mode) != option.used_by.end();
      SCOPED_TRACE(option.words.back() + " " + option.words.front() + " with " +
                   (mode.words.empty() ? std::string("a run") : mode.words.front()));
      EXPECT_EQ(status, used ? std::nullopt : std::optional<int>(2));
      if (used) {
        EXPECT_EQ(options.mode, mode.mode);
      }
    }
  }
}

TEST(Options, RefusesWhatNoModeCanUse) {
  const std::vector<std::vector<std::string>> refused = {
      {"--max-time", "10"},                                   // without --precision it bounds nothing
      {"--env", "OMP_PROC_BIND=close\nset output '/etc/x'"},  // a line break would reach the chart's script
      {"--env", "OMP_PLACES=\x1b[2J"},
      {"--build", "a\nb=/tmp"},
      {"--from", "a.json", "--compare", "a.json", "b.json"},
      {"--dry-run", "--merge", "a.json", "b.json"},
      {"--budget", "60", "--size", "1000"},  // an explicit plan is run as asked
      {"--budget", "60", "--repeat", "3"},
      {"--budget", "0"},
      {"--budget", "60", "--threads", "2"},
      {"--shell", "--programs", "sum_walltime"},  // how a command is read, without one
      {"--time-regex", "took (\\d+)"},
      {"--expect", "ok"},
      {"--expect-exit", "3"},
  };
  for (const std::vector<std::string>& words : refused) {
    compare_options options;
    EXPECT_EQ(parsed(words, options), std::optional<int>(2)) << words.front() << " " << words[1];
  }
}

// The default plan gets the default budget; a plan that names its size, runs or teams gets none.
TEST(Options, BudgetOnlyAPlanLeftToSumCompare) {
  compare_options left;
  ASSERT_EQ(parsed({}, left), std::nullopt);
  EXPECT_EQ(left.plan.budget_seconds, kDefaultBudgetSeconds);
  compare_options longer;
  ASSERT_EQ(parsed({"--budget", "90"}, longer), std::nullopt);
  EXPECT_EQ(longer.plan.budget_seconds, 90);
  for (const char* option : {"--size", "--repeat", "--threads"}) {
    compare_options asked;
    ASSERT_EQ(parsed({option, "2"}, asked), std::nullopt) << option;
    EXPECT_EQ(asked.plan.budget_seconds, 0) << option;
  }
}

}  // namespace
