// sum_compare: reading real program output, catching bad runs, its files and its options.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/program_harness.hpp"
#include "tools/compare_runs.hpp"

namespace {

namespace fs = std::filesystem;

TEST(ReadRun, AcceptsRealOutputOfEveryProgram) {
  for (const std::string& program : comparable_programs()) {
    for (int threads : {1, 2, 3}) {
      SCOPED_TRACE(program + " on " + std::to_string(threads));
      const child_result run = run_with_threads(program, {"1000"}, threads);
      const int team = program == "sum_baseline_serial" ? 1 : threads;
      const run_reading reading = read_run(program, 1000, team, run);
      EXPECT_EQ(reading.problem, "") << run.out;
      if (sums_index_fill(program)) {
        EXPECT_EQ(reading.sum, "499500");
      }
      EXPECT_GE(reading.seconds, 0.0);
      EXPECT_EQ(reading.thread_seconds >= 0.0, program != "sum_baseline_serial");
    }
  }
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST(ReadRun, RejectsWrongSumsShapesStatusesAndTeams) {
  const child_result good = run_with_threads("sum_slots_padded", {"1000"}, 2);
  ASSERT_EQ(read_run("sum_slots_padded", 1000, 2, good).problem, "");

  child_result wrong_sum = good;
  wrong_sum.out = replaced(good.out, "Sum is 499500,", "Sum is 499501,");
  EXPECT_EQ(read_run("sum_slots_padded", 1000, 2, wrong_sum).problem, "sum 499501, expected 499500");

  child_result other_wording = good;  // the packed program's wording is not the padded one's
  other_wording.out = replaced(good.out, " sec of wall-clock", " of wall-clock");
  EXPECT_NE(read_run("sum_slots_padded", 1000, 2, other_wording).problem.find("unexpected result line"),
            std::string::npos);

  child_result lost_placement = good;
  lost_placement.out = replaced(good.out, "thread  1 is running on core ", "thread  0 is running on core ");
  EXPECT_NE(read_run("sum_slots_padded", 1000, 2, lost_placement).problem, "");

  EXPECT_NE(read_run("sum_slots_padded", 1000, 3, good).problem, "");  // a team of 2, not 3

  child_result failed = good;
  failed.exit_status = 1;
  EXPECT_EQ(read_run("sum_slots_padded", 1000, 2, failed).problem, "exit status 1");

  child_result truncated = good;
  truncated.out.pop_back();
  EXPECT_NE(read_run("sum_slots_padded", 1000, 2, truncated).problem, "");

  const child_result random = run_with_threads("sum_baseline", {"1000"}, 1);
  child_result impossible = random;
  impossible.out = "omp summation with 1 threads\nSum is 1500, process took 0.1 of wall-clock time, <0.1> sec of thread-time \n";
  EXPECT_NE(read_run("sum_baseline", 1000, 1, impossible).problem, "");
}

TEST(Summarise, MedianMinMax) {
  const summary odd = summarise({3.0, 1.0, 2.0});
  EXPECT_EQ(odd.median, 2.0);
  EXPECT_EQ(odd.min, 1.0);
  EXPECT_EQ(odd.max, 3.0);
  EXPECT_EQ(summarise({4.0, 1.0, 2.0, 3.0}).median, 2.5);
  EXPECT_EQ(summarise({5.0}).median, 5.0);
}

std::size_t occurrences(const std::string& text, const std::string& word) {
  std::size_t count = 0;
  for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++count;
  return count;
}

child_result compare(const std::vector<std::string>& args) {
  return run_child(program_path("sum_compare"), args, environment_without_runtime_settings());
}

struct scratch_directory {
  fs::path path;
  scratch_directory() {
    path = fs::temp_directory_path() / ("sum_compare_test_" + std::to_string(getpid()) + "_" +
                                        testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~scratch_directory() { fs::remove_all(path); }
  void stand_in(const std::string& name, const std::string& script) const {
    const fs::path file = path / name;
    std::ofstream(file) << "#!/bin/sh\n" << script;
    fs::permissions(file, fs::perms::owner_all);
  }
};

TEST(SumCompare, ReportsAWrongSumWithTheRunsOutputAndFails) {
  const scratch_directory bin;
  bin.stand_in("sum_walltime",
               "echo 'omp summation with 1 threads'\n"
               "echo 'Sum is 4951, process took 0.001 of wall-clock time, <0.001> sec of thread-time '\n");
  const child_result run = compare({"--bin", bin.path.string(), "--programs", "sum_walltime",
                                    "--threads", "1", "--size", "100", "--repeat", "1"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_NE(run.err.find("FAILED: sum_walltime on 1 threads"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("sum 4951, expected 4950"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Sum is 4951, process took"), std::string::npos) << run.err;
  EXPECT_NE(run.out.find("2 runs failed validation"), std::string::npos) << run.out;  // warm-up too
}

TEST(SumCompare, ReportsAFailedRunAndFails) {
  const scratch_directory bin;
  bin.stand_in("sum_baseline", "echo 'omp summation with 2 threads'\necho 'out of luck' >&2\nexit 3\n");
  const child_result run = compare({"--bin", bin.path.string(), "--programs", "sum_baseline",
                                    "--threads", "2", "--size", "100", "--repeat", "1"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_NE(run.err.find("FAILED: sum_baseline on 2 threads (run 1): exit status 3"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("out of luck"), std::string::npos);

  const child_result missing = compare({"--bin", bin.path.string(), "--programs", "sum_walltime",
                                        "--threads", "1", "--size", "100", "--repeat", "1"});
  EXPECT_EQ(missing.exit_status, 1);
  EXPECT_NE(missing.err.find("exit status 127"), std::string::npos) << missing.err;
}

std::vector<std::vector<std::string>> csv_rows(const fs::path& file) {
  std::ifstream in(file);
  std::vector<std::vector<std::string>> rows;
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false;
    for (char c : line) {
      if (c == '"') {
        quoted = !quoted;
      } else if (c == ',' && !quoted) {
        fields.push_back(field);
        field.clear();
      } else {
        field += c;
      }
    }
    fields.push_back(field);
    rows.push_back(fields);
  }
  return rows;
}

// A strict check of JSON syntax; counts the objects in the array named `count_array`.
class json_checker {
 public:
  explicit json_checker(std::string text) : text_(std::move(text)) {}
  bool valid() {
    at_ = 0;
    const bool ok = value() && (skip(), at_ == text_.size());
    return ok;
  }

 private:
  void skip() {
    while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
  }
  bool literal(const char* word) {
    const std::string w = word;
    if (text_.compare(at_, w.size(), w) != 0) return false;
    at_ += w.size();
    return true;
  }
  bool string() {
    if (text_[at_] != '"') return false;
    for (++at_; at_ < text_.size(); ++at_) {
      const unsigned char c = static_cast<unsigned char>(text_[at_]);
      if (c == '"') return ++at_, true;
      if (c < 0x20) return false;
      if (c == '\\') {
        ++at_;
        if (at_ >= text_.size() || std::string("\"\\/bfnrtu").find(text_[at_]) == std::string::npos) return false;
      }
    }
    return false;
  }
  bool number() {
    const std::size_t start = at_;
    if (text_[at_] == '-') ++at_;
    while (at_ < text_.size() && (std::isdigit(static_cast<unsigned char>(text_[at_])) || text_[at_] == '.' ||
                                  text_[at_] == 'e' || text_[at_] == 'E' || text_[at_] == '+' || text_[at_] == '-')) {
      ++at_;
    }
    if (at_ == start) return false;
    const std::string digits = text_.substr(start, at_ - start);
    char* end = nullptr;
    std::strtod(digits.c_str(), &end);
    return *end == '\0';
  }
  bool value() {
    skip();
    if (at_ >= text_.size()) return false;
    const char c = text_[at_];
    if (c == '{') return members('}', true);
    if (c == '[') return members(']', false);
    if (c == '"') return string();
    if (c == 't') return literal("true");
    if (c == 'f') return literal("false");
    if (c == 'n') return literal("null");
    return number();
  }
  bool members(char close, bool keyed) {
    ++at_;
    skip();
    if (at_ < text_.size() && text_[at_] == close) return ++at_, true;
    while (true) {
      skip();
      if (keyed) {
        if (at_ >= text_.size() || !string()) return false;
        skip();
        if (at_ >= text_.size() || text_[at_++] != ':') return false;
      }
      if (!value()) return false;
      skip();
      if (at_ >= text_.size()) return false;
      if (text_[at_] == close) return ++at_, true;
      if (text_[at_++] != ',') return false;
    }
  }
  std::string text_;
  std::size_t at_ = 0;
};

TEST(SumCompare, WritesTheTableCsvAndJsonForEveryRun) {
  const scratch_directory out;
  const fs::path csv = out.path / "runs.csv";
  const fs::path json = out.path / "runs.json";
  const child_result run = compare({"--size", "1000", "--repeat", "2", "--threads", "1,2", "--csv",
                                    csv.string(), "--json=" + json.string()});
  ASSERT_EQ(run.exit_status, 0) << run.out << run.err;
  EXPECT_EQ(run.err, "");  // not a terminal: no progress line
  for (const char* expected : {"processor:", "OMP_*:", "build:", "program", "packed slots take",
                               "The reduction (sum_walltime) speeds up", "in-order limit"}) {
    EXPECT_NE(run.out.find(expected), std::string::npos) << expected << "\n" << run.out;
  }
  EXPECT_EQ(occurrences(run.out, "\nsum_"), 11u) << "one table row per case\n" << run.out;

  const auto rows = csv_rows(csv);
  ASSERT_EQ(rows.size(), 1u + 2u * (5 * 2 + 1));  // five parallel programs on 2 teams, the serial once
  EXPECT_EQ(rows[0], (std::vector<std::string>{"program", "threads", "run", "elements", "wall_seconds",
                                                "thread_seconds", "sum", "valid", "problem"}));
  for (std::size_t k = 1; k < rows.size(); ++k) {
    ASSERT_EQ(rows[k].size(), 9u);
    EXPECT_EQ(rows[k][3], "1000");
    EXPECT_EQ(rows[k][7], "1");
    EXPECT_GE(std::stod(rows[k][4]), 0.0);
    if (sums_index_fill(rows[k][0])) {
      EXPECT_EQ(rows[k][6], "499500");
    }
    EXPECT_EQ(rows[k][5].empty(), rows[k][0] == "sum_baseline_serial");
  }

  std::ifstream in(json);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(json_checker(text).valid()) << text;
  EXPECT_EQ(occurrences(text, "\"run\": "), 22u);
  EXPECT_EQ(occurrences(text, "\"median_seconds\": "), 11u);
  EXPECT_NE(text.find("\"elements\": 1000"), std::string::npos);
}

TEST(SumCompare, DrawsAPlotWithGnuplotOrSaysHowToGetIt) {
  const scratch_directory out;
  const fs::path svg = out.path / "sums.svg";
  const child_result run = compare({"--size", "1000", "--repeat", "1", "--threads", "1,2", "--programs",
                                    "sum_walltime,sum_slots_packed", "--plot", svg.string()});
  const bool have_gnuplot = system("command -v gnuplot >/dev/null 2>&1") == 0;
  if (have_gnuplot) {
    EXPECT_EQ(run.exit_status, 0) << run.err;
    std::ifstream in(svg);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("<svg"), std::string::npos);
    EXPECT_NE(text.find("sum_slots_packed"), std::string::npos);
  } else {
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_NE(run.err.find("apt-get install gnuplot-nox"), std::string::npos) << run.err;
  }
}

TEST(SumCompare, RejectsBadOptionsWithStatusTwo) {
  const std::vector<std::vector<std::string>> bad = {
      {"--frobnicate"}, {"--threads", "0"}, {"--threads", "a"}, {"--threads", "1,,2"}, {"--threads"},
      {"--size", "-5"}, {"--size", "12abc"}, {"--size", "0"}, {"--size", "99999999999"},
      {"--repeat", "0"}, {"--programs", "sum_nothing"}, {"--plot", "chart.pdf"}, {"stray"},
  };
  for (const auto& args : bad) {
    const child_result run = compare(args);
    EXPECT_EQ(run.exit_status, 2) << args[0];
    EXPECT_EQ(run.out, "") << args[0];
    EXPECT_NE(run.err.find("sum_compare: "), std::string::npos) << args[0];
  }
  const child_result help = compare({"--help"});
  EXPECT_EQ(help.exit_status, 0);
  EXPECT_NE(help.out.find("usage: sum_compare"), std::string::npos);
  EXPECT_NE(help.out.find("--plot FILE"), std::string::npos);
}

}  // namespace
