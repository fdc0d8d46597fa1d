// The slot programs and the first-touch program run as users run them.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <map>
#include <set>
#include <string>

#include "tests/program_harness.hpp"

namespace {

const std::string kPaddedResultShape =
    "Sum is #, process took # sec of wall-clock time, <#> sec of thread-time ";

struct placement_run {
  int team_line_index = -1;                // where the team-size line stood
  std::map<int, int> core_of_thread;       // thread number -> reported core
  std::map<int, int> line_index_of_thread; // thread number -> line index
  std::string sum;                         // as printed
};

// Checks the whole output of a placement program on a team of `threads` and reads it.
placement_run read_placement_run(const std::string& program, const child_result& run, int threads) {
  placement_run parsed;
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.err, "");
  const std::vector<std::string> lines = output_lines(run.out);
  EXPECT_EQ(lines.size(), static_cast<std::size_t>(threads + 2)) << run.out;
  if (lines.size() != static_cast<std::size_t>(threads + 2)) return parsed;

  for (std::size_t k = 0; k + 1 < lines.size(); ++k) {
    if (lines[k] == "omp summation with " + std::to_string(threads) + " threads") {
      EXPECT_EQ(parsed.team_line_index, -1) << "a second team-size line";
      parsed.team_line_index = static_cast<int>(k);
      continue;
    }
    // The exact text, %2d fields included, is compared against printf's below.
    const std::vector<std::string> numbers = shape_of(lines[k]).numbers;
    if (numbers.size() != 2) {
      ADD_FAILURE() << "unexpected line [" << lines[k] << "]";
      continue;
    }
    const int thread = std::stoi(numbers[0]);
    const int core = std::stoi(numbers[1]);
    char expected[64];
    std::snprintf(expected, sizeof expected, "thread %2d is running on core %2d", thread, core);
    EXPECT_EQ(lines[k], expected);
    EXPECT_TRUE(parsed.core_of_thread.emplace(thread, core).second) << "thread " << thread << " twice";
    parsed.line_index_of_thread[thread] = static_cast<int>(k);
  }
  EXPECT_NE(parsed.team_line_index, -1) << run.out;
  EXPECT_EQ(parsed.core_of_thread.size(), static_cast<std::size_t>(threads));
  for (int t = 0; t < threads; ++t) EXPECT_EQ(parsed.core_of_thread.count(t), 1u) << "thread " << t;

  const std::string& shape = program == "sum_slots_padded" ? kPaddedResultShape : kResultShape;
  const std::vector<std::string> result = numbers_of(lines.back(), shape);
  if (result.size() == 3) parsed.sum = result[0];
  return parsed;
}

const char* const kPlacementPrograms[] = {"sum_slots_packed", "sum_slots_padded", "sum_first_touch"};

TEST(PlacementPrograms, TeamLinePlacementLinesThenTheResult) {
  const int processors = static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
  for (const char* program : kPlacementPrograms) {
    for (int threads : {1, 2, 3, 5, 11}) {
      SCOPED_TRACE(std::string(program) + " on " + std::to_string(threads));
      const placement_run run =
          read_placement_run(program, run_with_threads(program, {}, threads), threads);
      EXPECT_EQ(run.sum, "4950");
      for (const auto& [thread, core] : run.core_of_thread) {
        EXPECT_GE(core, 0);
        EXPECT_LT(core, std::max(processors, 1) * 64);
      }
      if (std::string(program) == "sum_first_touch") {
        EXPECT_EQ(run.team_line_index, 0);  // from its own region, before the placement region
      } else if (run.line_index_of_thread.count(0) != 0) {
        EXPECT_LT(run.team_line_index, run.line_index_of_thread.at(0));
      }
    }
  }
}

TEST(PlacementPrograms, SumsAreExactAndAgreeBetweenSlotLayouts) {
  for (int threads : {1, 2, 3, 8}) {
    for (long long n : {0LL, 1LL, 3LL, 7LL, 1000LL, 65537LL, 2000003LL}) {
      SCOPED_TRACE(std::to_string(n) + " on " + std::to_string(threads));
      const std::vector<std::string> args{std::to_string(n)};
      std::string sums[3];
      for (int k = 0; k < 3; ++k) {
        const char* program = kPlacementPrograms[k];
        sums[k] = read_placement_run(program, run_with_threads(program, args, threads), threads).sum;
        EXPECT_EQ(sums[k], exact_index_sum(n)) << program;
      }
    }
  }
}

TEST(PlacementPrograms, FailedAllocationPrintsOnlyTheMessage) {
  for (const char* program : kPlacementPrograms) {
    for (const char* argument : {"-1", "-5", "99999999999999999999"}) {
      const child_result run = run_with_threads(program, {argument}, 3);
      EXPECT_EQ(run.exit_status, 1) << program << " " << argument;
      EXPECT_EQ(run.out, memory_message(std::string(argument) == "-5" ? -5 : -1)) << program;
      EXPECT_EQ(run.err, "");
    }
  }
}

TEST(PlacementPrograms, AFailingProcessorProbePrintsCoreMinusOne) {
  for (const char* program : kPlacementPrograms) {
    std::vector<std::string> env = environment_without_runtime_settings();
    set_variable(env, "OMP_NUM_THREADS", "3");
    const child_result run = run_child(program_path("without_getcpu"), {program_path(program), "50"}, env);
    const placement_run parsed = read_placement_run(program, run, 3);
    for (const auto& [thread, core] : parsed.core_of_thread) EXPECT_EQ(core, -1) << program;
    EXPECT_EQ(parsed.sum, "1225");
  }
}

TEST(FirstTouch, NestingSettingsChangeNeitherTheLinesNorTheSum) {
  const std::vector<std::vector<std::pair<std::string, std::string>>> settings = {
      {{"OMP_NUM_THREADS", "2"}},
      {{"OMP_NUM_THREADS", "2"}, {"OMP_NESTED", "true"}},
      {{"OMP_NUM_THREADS", "2"}, {"OMP_MAX_ACTIVE_LEVELS", "2"}},
      {{"OMP_NUM_THREADS", "2,2"}, {"OMP_MAX_ACTIVE_LEVELS", "2"}},
      {{"OMP_NUM_THREADS", "3,2"}, {"OMP_NESTED", "true"}, {"OMP_MAX_ACTIVE_LEVELS", "2"}},
  };
  for (const auto& setting : settings) {
    const int threads = setting[0].second[0] - '0';
    for (long long n : {0LL, 1LL, 100LL, 1000001LL}) {
      SCOPED_TRACE(setting.size() > 1 ? setting[1].first + "=" + setting[1].second : "nesting off");
      const child_result run = run_program("sum_first_touch", {std::to_string(n)}, setting);
      EXPECT_EQ(read_placement_run("sum_first_touch", run, threads).sum, exact_index_sum(n));
    }
  }
}

// Where the runtime bound each thread of the outermost teams, as it displays it itself
// (OMP_DISPLAY_AFFINITY in the format below): thread number -> every processor set shown for it.
// GCC's runtime writes these lines to standard error, LLVM's to standard output; both streams are
// returned without them.
const char* const kAffinityFormat = "bound: level %L thread %n to %A";

struct displayed_binding {
  std::map<int, std::vector<std::set<int>>> processors_of_thread;
  child_result program_run;
};

// "0-2,5" -> {0, 1, 2, 5}
std::set<int> processor_list(const std::string& text) {
  std::set<int> processors;
  std::istringstream ranges(text);
  std::string range;
  while (std::getline(ranges, range, ',')) {
    const std::size_t dash = range.find('-');
    const int first = std::stoi(range.substr(0, dash));
    const int last = dash == std::string::npos ? first : std::stoi(range.substr(dash + 1));
    for (int cpu = first; cpu <= last; ++cpu) processors.insert(cpu);
  }
  return processors;
}

displayed_binding read_displayed_binding(const child_result& run) {
  displayed_binding binding{{}, {run.exit_status, {}, {}}};
  const auto take_lines = [&](const std::string& text, std::string& kept) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
      int level = 0;
      int thread = 0;
      char list[256] = {};
      if (std::sscanf(line.c_str(), "bound: level %d thread %d to %255s", &level, &thread, list) != 3) {
        kept += line + "\n";
      } else if (level == 1) {
        binding.processors_of_thread[thread].push_back(processor_list(list));
      }
    }
  };
  take_lines(run.out, binding.program_run.out);
  take_lines(run.err, binding.program_run.err);
  return binding;
}

TEST(PlacementPrograms, BoundThreadsReportAProcessorOfTheirOwnBinding) {
  for (const auto& [bind, places] : {std::pair{"close", "cores"}, std::pair{"spread", "threads"}}) {
    for (const char* program : kPlacementPrograms) {
      SCOPED_TRACE(std::string(program) + " with OMP_PROC_BIND=" + bind + " OMP_PLACES=" + places);
      const displayed_binding binding = read_displayed_binding(run_program(
          program, {"1000"},
          {{"OMP_NUM_THREADS", "3"}, {"OMP_PROC_BIND", bind}, {"OMP_PLACES", places},
           {"OMP_DISPLAY_AFFINITY", "true"}, {"OMP_AFFINITY_FORMAT", kAffinityFormat}}));
      const placement_run parsed = read_placement_run(program, binding.program_run, 3);
      ASSERT_EQ(binding.processors_of_thread.size(), 3u) << binding.program_run.out;
      for (const auto& [thread, core] : parsed.core_of_thread) {
        for (const std::set<int>& bound : binding.processors_of_thread.at(thread)) {
          EXPECT_EQ(bound.count(core), 1u) << "thread " << thread << " on core " << core;
        }
      }
    }
  }
}

TEST(StatProbe, ACommandNameWithOneBlankShiftsTheParentPidToFieldFive) {
  const std::filesystem::path directory =
      std::filesystem::temp_directory_path() / ("stat_probe_" + std::to_string(getpid()));
  std::filesystem::create_directories(directory);
  const std::filesystem::path spaced = directory / "stat probe";
  std::filesystem::remove(spaced);
  std::filesystem::create_symlink(program_path("stat_probe"), spaced);

  const std::string parent = std::to_string(getpid());
  const child_result plain = run_child(program_path("stat_probe"), {"4", "3"}, environment_without_runtime_settings());
  EXPECT_EQ(plain.out, "4 0 " + parent + "\n3 0 0\n");
  const child_result shifted = run_child(spaced.string(), {"5", "4"}, environment_without_runtime_settings());
  EXPECT_EQ(shifted.out, "5 0 " + parent + "\n4 0 0\n");  // field 4 is now "probe)": no number
  EXPECT_EQ(shifted.exit_status, 0);
  std::filesystem::remove_all(directory);
}

}  // namespace
