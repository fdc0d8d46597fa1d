#include "tools/sum_compare/options.hpp"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "suite_version.hpp"
#include "tools/catalog/programs.hpp"
#include "tools/report/text_formats.hpp"
#include "tools/sum_compare/help.hpp"
#include "tools/sum_compare/option_modes.hpp"
#include "tools/sum_compare/option_values.hpp"

namespace {
// An option taking a whole decimal number from 1 to `most`, its default shown in the help.
void add_whole_number(CLI::App& app, const char* name, int& value, const char* type, const char* help, int most) {
  app.add_option(name, value, help)
      ->type_name(type)
      ->capture_default_str()
      ->transform(kDecimal)
      ->check(CLI::Range(1, most).description(""));
}

std::vector<std::string> compared_programs() {
  std::vector<std::string> names;
  for (const program_description& program : kPrograms) {
    if (program.compared) names.emplace_back(program.name);
  }
  return names;
}

// The catalog's order, each once.
std::vector<std::string> in_catalog_order(const std::vector<std::string>& chosen) {
  std::vector<std::string> ordered;
  for (const std::string& name : compared_programs()) {
    if (std::find(chosen.begin(), chosen.end(), name) != chosen.end()) ordered.push_back(name);
  }
  return ordered;
}

// Help within a terminal's 80 columns, also when a man page is made of it.
constexpr std::size_t kHelpWidth = 80;

std::string absolute_path(const std::string& path) {
  std::error_code error;
  const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
  return error ? path : resolved.string();
}

}  // namespace

namespace {

// TEXT on standard output: 0 once it is there, or 1 with the system's reason (a full disk, a
// closed pipe) where it is not.
int status_of_writing(const std::string& text) {
  if (std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0) return 0;
  std::fprintf(stderr, "sum_compare: cannot write standard output: %s\n", std::strerror(errno));
  return 1;
}

}  // namespace

std::optional<int> parse_compare_options(int argc, char** argv, compare_options& options) {
  // One paragraph a line: the help wraps them to its width.
  CLI::App app{
      "Runs the array-sum programs side by side: every case (a program on a team size) once per round, one "
      "warm-up round and R measured ones, interleaved so that drift hits every case alike. Every run is "
      "validated; the table gives medians, spread, thread time, ns per element per thread and the speed-up over "
      "one thread; the verdict at the end gives the measurable findings and what the run's conditions say of them.",
      "sum_compare"};
  app.footer(
      "--from, --compare, --merge and --dry-run are modes of their own: each excludes the others.\n"
      "Every OMP_*, GOMP_* and KMP_* variable but OMP_NUM_THREADS passes through to the programs. The serial "
      "build runs on one thread only, as the reference, whatever --threads holds.\n"
      "An interrupted run (SIGINT, SIGTERM, SIGHUP, SIGQUIT) stops the running program, keeps every finished run "
      "(the CSV, the JSON with \"complete\": false, the table) and exits 128 plus the signal's number (130, 143, "
      "129, 131).\n"
      "Exit status: 0; 1 when a run failed or an output could not be written; 2 for a bad option or set-up "
      "(missing programs, unusable output paths, a plan of no case or of more than a million runs); 128 plus the "
      "signal's number when interrupted.\n\n"
      // Headed blocks, each item a paragraph of its own: help2man makes each block a section.
      "Environment:\n"
      "  COLUMNS: the width of the text where standard output is no terminal (40 to 1000; else 100).\n\n"
      "  OMP_*, GOMP_*, KMP_*: passed to every run but OMP_NUM_THREADS, which each case sets; kept in the JSON.\n\n"
      "  SUM_COMPARE_ELEMENTS: set for each --command run to the elements of its case's --size.\n\n"
      "  PATH: where gnuplot, which draws the charts, is found.\n\n"
      "Files:\n"
      "  The programs and calibrate beside sum_compare (or in --bin); the chart script sum_compare.gp and the JSON "
      "schema sum_compare.schema.json in ../share/omp_sums from it.\n\n"
      "Examples:\n"
      "  sum_compare --json run.json --html run.html: the default run, saved and drawn.\n\n"
      "  sum_compare --env OMP_PROC_BIND=false,close --threads 2: two settings side by side.\n\n"
      "  sum_compare --command triad='./triad 20000000' --size 20000000 --threads 1,2: a program of your own, "
      "calibrated on its own array.\n\n"
      "  sum_compare --compare base.json new.json: two saved runs, new over base.");
  app.set_help_flag("-h,--help", "print this help and exit");
  app.set_version_flag("--version", std::string("sum_compare ") + kSuiteVersion, "print the version and exit");
  // A value given twice: the last one holds, as users expect of a command they extend.
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  const std::vector<std::string> known = compared_programs();
  app.add_option("--programs", options.plan.programs, "programs to run (default: all)")
      ->delimiter(',')
      ->type_name("NAME,...")
      ->check(CLI::IsMember(known).description(""));
  app.add_option("--threads", options.plan.threads,
                 "team sizes as OMP_NUM_THREADS (default: 1,2,4,... up to the usable processors, and their count); "
                 "one thread is added where it is missing, for the serial reference and each command's speed-up")
      ->delimiter(',')
      ->type_name("T,...")
      ->transform(kDecimal)
      ->check(CLI::Range(1, 4096).description(""));
  std::vector<std::string> sizes;
  app.add_option("--size", sizes,
                 "the array's sizes, each a dimension of the plan like a setting: counts of elements, or L1, L2 "
                 "and L3 (half of that cache's share per usable processor) and DRAM (four times the last level, "
                 "10000000 elements at least; the default)")
      ->delimiter(',')
      ->type_name("N|L1|L2|L3|DRAM,...")
      ->check(kSize);
  add_whole_number(app, "--repeat", options.plan.repeat, "R", "measured runs per case, after one discarded warm-up",
                   1000);
  int budget = kDefaultBudgetSeconds;
  add_whole_number(app, "--budget", budget, "SECONDS",
                   "with --size, --repeat and --threads left to sum_compare: cut the plan until its estimate fits, "
                   "first team sizes between 1 and all, then the array (still beyond the caches), then runs (6 at "
                   "least); the header says what was cut",
                   86400);
  add_whole_number(app, "--timeout", options.plan.timeout_seconds, "SECONDS",
                   "time limit of each run; past it the run is stopped and fails", 86400);
  std::string precision;
  app.add_option("--precision", precision,
                 "keep adding measured rounds until every case's median interval lies within P of its median, "
                 "or --max-time is spent; --repeat stays the least")
      ->type_name("P%")
      ->check(kPercent);
  app.add_option("--compare", options.compare_paths,
                 "compare two saved runs (--json files), NEW against BASE: differences, ratios with intervals, "
                 "U tests and verdicts; runs nothing")
      ->type_name("BASE.json NEW.json")
      ->expected(2);
  app.add_option("--merge", options.merge_paths,
                 "saved runs of several machines (--json files) side by side: one column per machine for every "
                 "floor and case, and the machines slower than all the others; runs nothing")
      ->type_name("A.json B.json ...")
      ->expected(2, 1000)
      ->excludes(app.get_option("--compare"));
  std::string slower;
  app.add_option("--fail-if-slower", slower,
                 "with --compare: exit 1 when a case is slower by more than P and its interval says so")
      ->type_name("P%")
      ->check(kPercent);
  add_whole_number(app, "--max-time", options.plan.max_seconds, "SECONDS",
                   "how long the runs may take in all while --precision adds rounds", 86400);
  for (const format_description& format : kFormats) {
    app.add_option(format.option, options.outputs.of(format.format), format.help)
        ->type_name(format.value_name)
        ->check(format.format == output_format::chart ? kChartFile : kNonEmpty)
        ->group("Outputs");
  }
  CLI::Option* bin =
      app.add_option("--bin", options.plan.bin_dir, "where the programs are (default: beside sum_compare)")
          ->type_name("DIR")
          ->check(kNonEmpty);
  std::vector<std::string> builds;
  app.add_option("--build", builds,
                 "run every case, the calibration included, from the programs in DIR too, as build NAME "
                 "(repeatable: the builds side by side)")
      ->type_name("NAME=DIR")
      ->check(kBuild)
      ->excludes(bin)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  app.add_option("--from", options.from_path,
                 "report the runs that an earlier --json saved, again: run nothing; the plan is the file's")
      ->type_name("FILE.json")
      ->check(kNonEmpty);
  bool dry_run = false;
  app.add_flag("--dry-run", dry_run,
               "print the header and the plan with an estimate of its time from a probe run of each program, and stop");
  std::vector<std::string> dimensions;
  app.add_option("--env", dimensions, "run every case under each value of NAME (repeatable: every combination)")
      ->type_name("NAME=v1,v2")
      ->check(kDimension)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  std::vector<std::string> commands;
  app.add_option("--command", commands,
                 "run CMD as a case named NAME on every team size, setting and build, beside the programs "
                 "(repeatable; without --programs, instead of them); its time is the process's wall time, or "
                 "what a line seconds=<number> says, and a line elements=<count> gives ns per element")
      ->type_name("NAME='CMD ARGS'")
      ->check(kCommand)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  bool shell = false;
  app.add_flag("--shell", shell, "run each --command through /bin/sh -c rather than split into words");
  std::string time_regex;
  app.add_option("--time-regex", time_regex,
                 "a command's time is the number that the first group of REGEX matches on a line of its output")
      ->type_name("REGEX")
      ->check(kTimeRegex);
  std::string expect;
  app.add_option("--expect", expect, "a command's run is valid only when a line of its output matches REGEX")
      ->type_name("REGEX")
      ->check(kRegex);
  int expect_exit = 0;
  app.add_option("--expect-exit", expect_exit, "the exit status of a command's valid run")
      ->type_name("N")
      ->capture_default_str()
      ->transform(kDecimal)
      ->check(CLI::Range(0, 255).description(""));
  // Each mode of reporting saved runs is one of its own.
  for (const char* summary : {"--compare", "--merge", "--dry-run"})
    app.get_option("--from")->excludes(app.get_option(summary));
  app.get_option("--dry-run")->excludes(app.get_option("--compare"))->excludes(app.get_option("--merge"));
  for (const auto& [group, names] : kOptionGroups) {
    for (const char* name : names) {
      if (name != nullptr) app.get_option(name)->group(group);
    }
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    return status_of_writing(
        help_text(app, {"Options", "Plan", "Settings and builds", "Saved runs", "Outputs"}, kHelpWidth));
  } catch (const CLI::CallForVersion&) {
    return status_of_writing(std::string("sum_compare ") + kSuiteVersion + "\n");
  } catch (const CLI::ParseError& error) {
    std::fprintf(stderr, "sum_compare: %s (sum_compare --help lists the options)\n",
                 terminal_line(error.what()).c_str());
    return 2;
  }

  options.mode = !options.from_path.empty()       ? compare_mode::from
                 : !options.compare_paths.empty() ? compare_mode::compare
                 : !options.merge_paths.empty()   ? compare_mode::merge
                 : dry_run                        ? compare_mode::dry_run
                                                  : compare_mode::run;
  if (const char* unused = unused_option(app, options.mode)) {
    std::fprintf(stderr, "sum_compare: %s is not used by %s (sum_compare --help lists the options)\n", unused,
                 mode_name(options.mode));
    return 2;
  }
  for (const char* option : {"--shell", "--time-regex", "--expect", "--expect-exit"}) {
    if (app.count(option) > 0 && commands.empty()) {
      std::fprintf(stderr, "sum_compare: %s is used only with --command (sum_compare --help lists the options)\n",
                   option);
      return 2;
    }
  }
  // An explicit plan is run as asked: the budget cuts only what was left to sum_compare.
  const bool explicit_plan = app.count("--size") + app.count("--repeat") + app.count("--threads") > 0;
  if (app.count("--budget") > 0 && explicit_plan) {
    std::fprintf(stderr,
                 "sum_compare: --budget cuts only a plan whose --size, --repeat and --threads are left to sum_compare "
                 "(sum_compare --help lists the options)\n");
    return 2;
  }
  options.plan.budget_seconds = explicit_plan ? 0 : budget;
  if (app.count("--max-time") > 0 && precision.empty()) {
    std::fprintf(stderr,
                 "sum_compare: --max-time is used only with --precision (sum_compare --help lists the options)\n");
    return 2;
  }

  // Each --env variable and each --build name once.
  const auto named_before = [](const auto& earlier, const std::string& name, const char* option) {
    if (std::none_of(earlier.begin(), earlier.end(), [&](const auto& item) { return item.name == name; })) return false;
    std::fprintf(stderr, "sum_compare: %s names %s twice (sum_compare --help lists the options)\n", option,
                 terminal_line(name).c_str());
    return true;
  };
  for (const std::string& text : dimensions) {
    setting_dimension dimension;
    read_dimension(text, dimension);
    if (named_before(options.plan.dimensions, dimension.name, "--env")) return 2;
    options.plan.dimensions.push_back(dimension);
  }
  for (const std::string& text : commands) {
    command_wanted command;
    const std::string problem = read_command(text, shell, command);
    if (!problem.empty()) {
      std::fprintf(stderr, "sum_compare: --command: %s (sum_compare --help lists the options)\n",
                   terminal_line(problem).c_str());
      return 2;
    }
    command.time_regex = time_regex;
    command.expect = expect;
    command.expect_exit = expect_exit;
    if (named_before(options.plan.commands, command.name, "--command")) return 2;
    options.plan.commands.push_back(command);
  }
  options.plan.sizes.clear();
  for (const std::string& text : sizes) {
    std::string name;
    read_size_name(text, name);
    if (named_before(options.plan.sizes, name, "--size")) return 2;
    options.plan.sizes.push_back({name});
  }
  if (options.plan.sizes.empty()) options.plan.sizes.push_back({"DRAM"});
  for (const std::string& text : builds) {
    build_location build;
    read_build(text, build);
    if (named_before(options.plan.builds, build.name, "--build")) return 2;
    options.plan.builds.push_back(build);
  }
  // Absolute, so that the saved runs say where their programs were and builds match by it.
  for (build_location& build : options.plan.builds) build.bin = build.tool_dir = absolute_path(build.bin);
  if (!options.plan.bin_dir.empty()) options.plan.bin_dir = absolute_path(options.plan.bin_dir);
  if (!precision.empty()) options.plan.precision = std::stod(precision) / 100;
  if (!slower.empty()) options.fail_if_slower = std::stod(slower) / 100;
  // Commands alone unless --programs asks for programs beside them.
  options.plan.programs =
      in_catalog_order(app.count("--programs") == 0 && options.plan.commands.empty() ? known : options.plan.programs);
  std::sort(options.plan.threads.begin(), options.plan.threads.end());
  options.plan.threads.erase(std::unique(options.plan.threads.begin(), options.plan.threads.end()),
                             options.plan.threads.end());
  return std::nullopt;
}
