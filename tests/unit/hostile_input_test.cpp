// What a hostile program, setting or saved file can hand sum_compare, read in process: lines and
// patterns that once crashed or hung the reading, forged fields that once cost gigabytes, numbers
// no run can take, bytes that once broke a format, and inputs that are no regular file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/unit/fixed_report.hpp"
#include "tools/analysis/judged.hpp"
#include "tools/catalog/sizes.hpp"
#include "tools/report/html_pieces.hpp"
#include "tools/report/json.hpp"
#include "tools/report/json_schema.hpp"
#include "tools/report/output_files.hpp"
#include "tools/report/text_formats.hpp"
#include "tools/run/command_output.hpp"
#include "tools/sum_compare/options.hpp"

using namespace omp_sums;

namespace {

const output_bounds kBounds{16, 300};

child_result printed_out(std::string out) {
  child_result run;
  run.out = std::move(out);
  return run;
}

command_wanted matched_by(std::string time_regex, std::string expect) {
  command_wanted command;
  command.name = "triad";
  command.argv = {"bin/triad"};
  command.time_regex = std::move(time_regex);
  command.expect = std::move(expect);
  return command;
}

std::optional<int> parsed(std::vector<std::string> words) {
  words.insert(words.begin(), "sum_compare");
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  compare_options options;
  return parse_compare_options(static_cast<int>(words.size()), argv.data(), options);
}

}  // namespace

// A recursive engine overflowed its stack on a 60 KB line and backtracked for ever on (a+)+$.
TEST(LongLinesAndPatterns, AreMatchedInTimeLinearInTheLine) {
  const std::string long_line = "x" + std::string(60000, 'a') + "y took 0.5 s";
  const program_run read =
      read_command_run(matched_by("took (.*) s", "x.*y"), 1, printed_out(long_line + "\n"), 2, kBounds);
  EXPECT_EQ(read.problem, "");
  EXPECT_DOUBLE_EQ(read.seconds, 0.5);

  const auto start = std::chrono::steady_clock::now();
  const program_run nested =
      read_command_run(matched_by("", "(a+)+$"), 1, printed_out(std::string(40, 'a') + "!\n"), 2, kBounds);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(nested.problem, "no line of its output matches --expect (a+)+$");

  // The runtime-warning pattern over a saved run's standard error.
  report r = fixed_report(2);
  for (run_record& record : r.records)
    record.standard_error = "libgomp: " + std::string(40000, 'a') + " value for environment variable OMP_PLACES\n";
  analyse(r);
  ASSERT_FALSE(r.warnings.empty());
  EXPECT_NE(r.warnings[0].text.find("refused OMP_PLACES="), std::string::npos) << r.warnings[0].text;
  EXPECT_LT(r.warnings[0].text.size(), 1000u);

  // RE2 refuses what it cannot match in linear time, with its reason; the seconds need a group.
  EXPECT_EQ(parsed({"--command", "t=true", "--expect", "(a)\\1"}), std::optional<int>(2));
  EXPECT_EQ(parsed({"--command", "t=true", "--expect", "(?=a)"}), std::optional<int>(2));
  EXPECT_EQ(parsed({"--command", "t=true", "--time-regex", "took [0-9.]+ s"}), std::optional<int>(2));
  EXPECT_EQ(parsed({"--command", "t=true", "--time-regex", "took ([0-9.]+) s", "--dry-run"}), std::nullopt);
}

// A place is bounded by the machine and a thread by the team, however long the line.
TEST(ForgedFields, CostNoMoreThanTheMachineAndTheTeamHold) {
  std::string ranges = "0-65536";
  for (int k = 0; k < 20000; ++k) ranges += ",0-65536";
  EXPECT_TRUE(processors_of_place(ranges, 16).empty());
  EXPECT_TRUE(processors_of_place("0-15,3", 16).empty());  // listed twice
  EXPECT_TRUE(processors_of_place("2000000", 16).empty());
  EXPECT_EQ(processors_of_place("15,0-1", 16), (std::vector<int>{0, 1, 15}));

  std::map<int, std::vector<int>> places;
  const std::string kept = without_affinity_lines(
      "sum_compare-affinity 99999 1\nsum_compare-affinity 1 2000000\nsum_compare-affinity 1 " + ranges +
          "\nsum_compare-affinity 0 3\nseconds=1\n",
      places, 2, 16);
  EXPECT_EQ(kept, "seconds=1\n");
  EXPECT_EQ(places, (std::map<int, std::vector<int>>{{0, {3}}}));

  // Numbers no run can take: past its time limit, hexadecimal, infinite, signed.
  for (const char* seconds : {"1e308", "301", "0x1p3", "inf", "nan", "+1", "1e", ""}) {
    EXPECT_NE(read_command_run(matched_by("", ""), 1, printed_out("seconds=" + std::string(seconds) + "\n"), 2, kBounds)
                  .problem,
              "")
        << seconds;
  }
  EXPECT_DOUBLE_EQ(
      read_command_run(matched_by("", ""), 1, printed_out("seconds=2.5e-3\n"), 2, kBounds).seconds, 2.5e-3);
  EXPECT_DOUBLE_EQ(read_command_run(matched_by("", ""), 1, printed_out("seconds=300\n"), 2, kBounds).seconds, 300);

  // A machine that reports a last level of 2^62 bytes: four times it would wrap to 0.
  machine_topology vast;
  vast.last_level = 3;
  vast.last_level_bytes = 1ULL << 62;
  array_size dram;
  ASSERT_EQ(resolve_size("DRAM", vast, dram), "");
  EXPECT_EQ(dram.elements, INT_MAX);
  EXPECT_GE(least_beyond_caches(vast), 10000000);

  // A saved run's time past any run's limit, or past its own plan's.
  writing how;
  report saved = fixed_report(2);
  saved.plan.timeout_seconds = 300;
  const std::string text = as_json(saved, how);
  const std::size_t at = text.find("\"wall_seconds\": ");
  ASSERT_NE(at, std::string::npos);
  const std::size_t end = text.find(',', at);
  report refused;
  EXPECT_NE(report_from_json(std::string(text).replace(at, end - at, "\"wall_seconds\": 1e308"), refused)
                .find("breaks the schema at /runs/0/wall_seconds"),
            std::string::npos);
  EXPECT_NE(report_from_json(std::string(text).replace(at, end - at, "\"wall_seconds\": 301"), refused)
                .find("at /runs/0/wall_seconds: a run of 301 s, past its time limit of 300 s"),
            std::string::npos)
      << report_from_json(std::string(text).replace(at, end - at, "\"wall_seconds\": 301"), refused);

  // A saved run's problem and standard error are read as a run record keeps them, however long.
  std::string long_problem = text;
  const std::size_t problem = long_problem.find("\"problem\": \"\"");
  ASSERT_NE(problem, std::string::npos);
  long_problem.replace(problem, 13, "\"problem\": \"" + std::string(50000, 'q') + "\"");
  report cut;
  ASSERT_EQ(report_from_json(long_problem, cut), "");
  const auto failed = std::find_if(cut.records.begin(), cut.records.end(),
                                   [](const run_record& r) { return !r.reading.problem.empty(); });
  ASSERT_NE(failed, cut.records.end());
  EXPECT_EQ(failed->reading.problem, std::string(1024, 'q') + " [... 48976 more bytes not kept]");
  analyse(cut);
  EXPECT_EQ(schema_violation(nlohmann::json::parse(as_json(cut, how))), "");

  // A problem quoting a megabyte line keeps its start and says how much it left out.
  const std::string line(1 << 20, '7');
  EXPECT_EQ(kept_line("its line: " + line, 20), "its line: 7777777777 [... 1048566 more bytes not kept]");
  EXPECT_EQ(kept_line("\xc3\xa9\xc3\xa9", 3), "\xc3\xa9 [... 2 more bytes not kept]");  // whole characters
}

// Outside text in each format: a CSV cell stays one cell on one line, whatever bytes it holds;
// the console shows what would hide, reorder or control what follows; markdown makes no link.
TEST(Encodings, ShowEveryControlAndMakeNoMarkup) {
  const std::string raw = std::string("a\0b", 3) + "\n\r\x1b[2J\x07,\"c";
  const std::string cell = csv_cell(raw);
  EXPECT_EQ(cell, "\"a\\x00b\\x0a\\x0d\\x1b[2J\\x07,\"\"c\"");

  const std::string shown = terminal_line("vm\xe2\x80\xae" "txt.exe \xc2\x9b" "31m \xe2\x80\x8b");
  EXPECT_EQ(shown, "vm\\u202etxt.exe \\u009b31m \\u200b");
  EXPECT_NE(terminal_line("vm"), terminal_line("v\xe2\x80\x8bm"));  // two hosts apart by a zero-width space
  EXPECT_EQ(terminal_text("caf\xc3\xa9\n"), "caf\xc3\xa9\n");         // other text as it is

  EXPECT_EQ(markdown_text("![x](http://a) [y]: http://b"), "!\\[x\\](http://a) \\[y\\]: http://b");

  // A 100 KB processor name: 80 characters on the page, the whole in the title a pointer shows.
  const std::string vast(100000, 'p');
  EXPECT_EQ(shortened_html(vast), "<span title=\"" + vast + "\">" + std::string(80, 'p') + "\u2026</span>");
  EXPECT_EQ(shortened("caf\xc3\xa9s", 4), "caf\xc3\xa9\u2026");  // cut between characters
  EXPECT_EQ(shortened_html("vm"), "vm");
}

// An input that is not a regular file: a device is refused before a byte is read, and a FIFO
// with no writer ends the reading at once rather than waiting for one.
TEST(NonRegularInputs, AreRefusedOrReadWithoutWaiting) {
  std::string text;
  EXPECT_EQ(read_whole_file("/dev/zero", text), "cannot read /dev/zero: not a regular file");
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("inputs." + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::filesystem::create_symlink("/dev/zero", dir / "zero.json");
  EXPECT_EQ(read_whole_file((dir / "zero.json").string(), text), "cannot read " + (dir / "zero.json").string() +
                                                                        ": not a regular file");
  ASSERT_EQ(mkfifo((dir / "fifo.json").c_str(), 0600), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(read_whole_file((dir / "fifo.json").string(), text), "");
  EXPECT_EQ(text, "");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  std::filesystem::remove_all(dir);
}
