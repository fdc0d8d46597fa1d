// The slot programs, the first-touch program and the page pair run as users run them.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "tests/program_harness.hpp"

using namespace omp_sums;

namespace {

// Each prints a line per thread: the core it ran on, or (the page pair) its NUMA node.
const char* const kPlacementPrograms[] = {"sum_slots_packed", "sum_slots_padded", "sum_first_touch", "sum_touch_main",
                                          "sum_touch_team"};

// Thread number -> the core its placement line reports.
std::map<int, int> cores_of(const program_run& run) {
  std::map<int, int> cores;
  for (const auto& [thread, fields] : run.thread_fields) cores[thread] = std::stoi(fields.at(1));
  return cores;
}

program_run placement_run(const std::string& name, const child_result& run, int threads, long long n) {
  EXPECT_EQ(run.err, "") << name;
  program_run reading = read_run(program(name), n, threads, run);
  EXPECT_EQ(reading.problem, "") << name << "\n" << run.out;
  return reading;
}

TEST(PlacementPrograms, TeamLinePlacementLinesThenTheResult) {
  const int processors = static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
  for (const char* name : kPlacementPrograms) {
    for (int threads : {1, 2, 3, 5, 11}) {
      SCOPED_TRACE(std::string(name) + " on " + std::to_string(threads));
      const program_run run = placement_run(name, run_with_threads(name, {}, threads), threads, 100);
      EXPECT_EQ(run.sum, "4950");
      for (const auto& [thread, core] : cores_of(run)) {
        EXPECT_GE(core, 0);
        EXPECT_LT(core, std::max(processors, 1) * 64);
      }
      const auto team_line = std::find(run.block_order.begin(), run.block_order.end(), -1);
      if (program(name).role != program_role::packed_slots && program(name).role != program_role::padded_slots) {
        EXPECT_EQ(team_line, run.block_order.begin());  // its own region, before the placement region
      } else {
        EXPECT_LT(team_line, std::find(run.block_order.begin(), run.block_order.end(), 0));
      }
    }
  }
}

TEST(PlacementPrograms, SumsAreExactAndAgreeBetweenSlotLayouts) {
  for (int threads : {1, 2, 3, 8}) {
    for (long long n : {0LL, 1LL, 3LL, 7LL, 1000LL, 65537LL, 2000003LL}) {
      SCOPED_TRACE(std::to_string(n) + " on " + std::to_string(threads));
      for (const char* name : kPlacementPrograms) {
        const program_run run = placement_run(name, run_with_threads(name, {std::to_string(n)}, threads), threads, n);
        EXPECT_EQ(run.sum, exact_index_sum(n)) << name;
      }
    }
  }
}

TEST(PlacementPrograms, FailedAllocationPrintsOnlyTheMessage) {
  for (const char* name : kPlacementPrograms) {
    for (const char* argument : {"-1", "-5", "99999999999999999999"}) {
      const child_result run = run_with_threads(name, {argument}, 3);
      EXPECT_EQ(run.exit_status, 1) << name << " " << argument;
      EXPECT_EQ(run.out, memory_message(std::string(argument) == "-5" ? -5 : -1)) << name;
      EXPECT_EQ(run.err, "");
    }
  }
}

TEST(PlacementPrograms, AFailingProcessorProbePrintsCoreMinusOne) {
  for (const char* name : kPlacementPrograms) {
    std::vector<std::string> env = environment_without_runtime_settings();
    set_variable(env, "OMP_NUM_THREADS", "3");
    const child_result run = run_child(helper_path("without_getcpu"), {program_path(name), "50"}, env);
    const program_run reading = placement_run(name, run, 3, 50);
    for (const auto& [thread, core] : cores_of(reading)) EXPECT_EQ(core, -1) << name;
    EXPECT_EQ(reading.sum, "1225");
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
      const program_run run =
          placement_run("sum_first_touch", run_program("sum_first_touch", {std::to_string(n)}, setting), threads, n);
      EXPECT_EQ(run.sum, exact_index_sum(n));
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
  displayed_binding binding;
  binding.program_run.exit_status = run.exit_status;
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
    for (const char* name : kPlacementPrograms) {
      if (program(name).thread_block != kPlacementLine) continue;  // a node is no processor
      SCOPED_TRACE(std::string(name) + " with OMP_PROC_BIND=" + bind + " OMP_PLACES=" + places);
      const displayed_binding binding = read_displayed_binding(run_program(name, {"1000"},
                                                                           {{"OMP_NUM_THREADS", "3"},
                                                                            {"OMP_PROC_BIND", bind},
                                                                            {"OMP_PLACES", places},
                                                                            {"OMP_DISPLAY_AFFINITY", "true"},
                                                                            {"OMP_AFFINITY_FORMAT", kAffinityFormat}}));
      const program_run parsed = placement_run(name, binding.program_run, 3, 1000);
      ASSERT_EQ(binding.processors_of_thread.size(), 3u) << binding.program_run.out;
      for (const auto& [thread, core] : cores_of(parsed)) {
        for (const std::set<int>& bound : binding.processors_of_thread.at(thread)) {
          EXPECT_EQ(bound.count(core), 1u) << "thread " << thread << " on core " << core;
        }
      }
    }
  }
}

TEST(StatProbe, ACommandNameWithOneBlankShiftsTheSessionToFieldSeven) {
  const std::filesystem::path directory =
      std::filesystem::temp_directory_path() / ("stat_probe_" + std::to_string(getpid()));
  std::filesystem::create_directories(directory);
  const std::filesystem::path spaced = directory / "stat probe";
  std::filesystem::remove(spaced);
  std::filesystem::create_symlink(helper_path("stat_probe"), spaced);

  // Field 6, the session, is this process's: a run leads a group of its own, in this session.
  const std::string session = std::to_string(getsid(0));
  const child_result plain = run_child(helper_path("stat_probe"), {"6", "3"}, environment_without_runtime_settings());
  EXPECT_EQ(plain.out, "6 0 " + session + "\n3 0 0\n");
  const child_result shifted = run_child(spaced.string(), {"7", "4"}, environment_without_runtime_settings());
  EXPECT_EQ(shifted.out, "7 0 " + session + "\n4 0 0\n");  // field 4 is now the state: no number
  EXPECT_EQ(shifted.exit_status, 0);
  std::filesystem::remove_all(directory);
}

}  // namespace
