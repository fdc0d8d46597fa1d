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
#include "tools/sum_compare/option_set.hpp"
#include "tools/sum_compare/option_values.hpp"

namespace omp_sums {

namespace {
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

namespace {

// What the help says around the options: one paragraph a line, which it wraps to its width.
void describe(CLI::App& app) {
  app.description(
      "Runs the array-sum programs side by side: every case (a program on a team size) once per round, one "
      "warm-up round and R measured ones, interleaved so that drift hits every case alike. Every run is "
      "validated; the table gives medians, spread, thread time, ns per element per thread and the speed-up over "
      "one thread; the verdict at the end gives the measurable findings and what the run's conditions say of them.");
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
}

// A refusal of the command line: 2, after the reason.
int refused(const std::string& why) {
  std::fprintf(stderr, "sum_compare: %s (sum_compare --help lists the options)\n", why.c_str());
  return 2;
}

// The texts read into the plan: each --env variable, --command, --size and --build name once.
// Returns an empty string, or why not.
std::string adopt_texts(const option_texts& texts, compare_options& options) {
  plan_request& plan = options.plan;
  const auto named_before = [](const auto& earlier, const std::string& name, const char* option) {
    if (std::none_of(earlier.begin(), earlier.end(), [&](const auto& item) { return item.name == name; }))
      return std::string();
    return std::string(option) + " names " + terminal_line(name) + " twice";
  };
  for (const std::string& text : texts.dimensions) {
    setting_dimension dimension;
    read_dimension(text, dimension);
    if (std::string twice = named_before(plan.dimensions, dimension.name, "--env"); !twice.empty()) return twice;
    plan.dimensions.push_back(dimension);
  }
  for (const std::string& text : texts.commands) {
    command_wanted command;
    if (const std::string problem = read_command(text, texts.shell, command); !problem.empty())
      return "--command: " + terminal_line(problem);
    command.time_regex = texts.time_regex;
    command.expect = texts.expect;
    command.expect_exit = texts.expect_exit;
    if (std::string twice = named_before(plan.commands, command.name, "--command"); !twice.empty()) return twice;
    plan.commands.push_back(command);
  }
  plan.sizes.clear();
  for (const std::string& text : texts.sizes) {
    std::string name;
    read_size_name(text, name);
    if (std::string twice = named_before(plan.sizes, name, "--size"); !twice.empty()) return twice;
    plan.sizes.push_back({name});
  }
  if (plan.sizes.empty()) plan.sizes.push_back({"DRAM"});
  for (const std::string& text : texts.builds) {
    build_location build;
    read_build(text, build);
    if (std::string twice = named_before(plan.builds, build.name, "--build"); !twice.empty()) return twice;
    plan.builds.push_back(build);
  }
  // Absolute, so that the saved runs say where their programs were and builds match by it.
  for (build_location& build : plan.builds) build.bin = build.tool_dir = absolute_path(build.bin);
  if (!plan.bin_dir.empty()) plan.bin_dir = absolute_path(plan.bin_dir);
  if (!texts.precision.empty()) plan.precision = std::stod(texts.precision) / 100;
  if (!texts.slower.empty()) options.fail_if_slower = std::stod(texts.slower) / 100;
  return {};
}

compare_mode mode_of(const compare_options& options, bool dry_run) {
  return !options.from_path.empty()       ? compare_mode::from
         : !options.compare_paths.empty() ? compare_mode::compare
         : !options.merge_paths.empty()   ? compare_mode::merge
         : dry_run                        ? compare_mode::dry_run
                                          : compare_mode::run;
}

}  // namespace

std::optional<int> parse_compare_options(int argc, char** argv, compare_options& options) {
  CLI::App app{"", "sum_compare"};
  describe(app);
  // A value given twice: the last one holds, as users expect of a command they extend.
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  option_texts texts;
  add_plan_options(app, options, texts);
  add_setting_options(app, options, texts);
  add_command_options(app, texts);
  add_saved_options(app, options, texts);
  add_output_options(app, options);
  for (const auto& [group, names] : kOptionGroups) {
    for (const char* name : names) {
      if (name != nullptr) app.get_option(name)->group(group);
    }
  }
  for (const format_description& format : kFormats) app.get_option(format.option)->group("Outputs");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    return status_of_writing(
        help_text(app, {"Options", "Plan", "Settings and builds", "Saved runs", "Outputs"}, kHelpWidth));
  } catch (const CLI::CallForVersion&) {
    return status_of_writing(std::string("sum_compare ") + kSuiteVersion + "\n");
  } catch (const CLI::ParseError& error) {
    return refused(terminal_line(error.what()));
  }

  options.mode = mode_of(options, texts.dry_run);
  if (const char* unused = unused_option(app, options.mode))
    return refused(std::string(unused) + " is not used by " + mode_name(options.mode));
  const bool explicit_plan = app.count("--size") + app.count("--repeat") + app.count("--threads") > 0;
  options.plan.budget_seconds = explicit_plan ? 0 : texts.budget;
  if (std::string problem = adopt_texts(texts, options); !problem.empty()) return refused(problem);
  // Commands alone unless --programs asks for programs beside them.
  options.plan.programs = in_catalog_order(
      app.count("--programs") == 0 && options.plan.commands.empty() ? compared_programs() : options.plan.programs);
  std::sort(options.plan.threads.begin(), options.plan.threads.end());
  options.plan.threads.erase(std::unique(options.plan.threads.begin(), options.plan.threads.end()),
                             options.plan.threads.end());
  return std::nullopt;
}

}  // namespace omp_sums
