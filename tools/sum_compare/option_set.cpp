#include "tools/sum_compare/option_set.hpp"

#include "tools/catalog/programs.hpp"
#include "tools/report/formats.hpp"
#include "tools/sum_compare/option_values.hpp"

namespace omp_sums {

namespace {

// An option taking a whole decimal number from 1 to `most`, its default shown in the help.
CLI::Option* add_whole_number(CLI::App& app, const char* name, int& value, const char* type, const char* help,
                              int most) {
  return app.add_option(name, value, help)
      ->type_name(type)
      ->capture_default_str()
      ->transform(kDecimal)
      ->check(CLI::Range(1, most).description(""));
}

}  // namespace

std::vector<std::string> compared_programs() {
  std::vector<std::string> names;
  for (const program_description& program : kPrograms) {
    if (program.compared) names.emplace_back(program.name);
  }
  return names;
}

void add_plan_options(CLI::App& app, compare_options& options, option_texts& texts) {
  app.add_option("--programs", options.plan.programs, "programs to run (default: all)")
      ->delimiter(',')
      ->type_name("NAME,...")
      ->check(CLI::IsMember(compared_programs()).description(""));
  CLI::Option* threads =
      app.add_option("--threads", options.plan.threads,
                     "team sizes as OMP_NUM_THREADS (default: 1,2,4,... up to the usable processors, and their "
                     "count); one thread is added where it is missing, for the serial reference and each "
                     "command's speed-up")
          ->delimiter(',')
          ->type_name("T,...")
          ->transform(kDecimal)
          ->check(CLI::Range(1, 4096).description(""));
  CLI::Option* size =
      app.add_option("--size", texts.sizes,
                     "the array's sizes, each a dimension of the plan like a setting: counts of elements, or L1, "
                     "L2 and L3 (half of that cache's share per usable processor) and DRAM (four times the last "
                     "level, 10000000 elements at least; the default)")
          ->delimiter(',')
          ->type_name("N|L1|L2|L3|DRAM,...")
          ->check(kSize);
  add_whole_number(app, "--repeat", options.plan.repeat, "R", "measured runs per case, after one discarded warm-up",
                   1000);
  // An explicit plan is run as asked: the budget cuts only what was left to sum_compare.
  add_whole_number(app, "--budget", texts.budget, "SECONDS",
                   "with --size, --repeat and --threads left to sum_compare: cut the plan until its estimate fits, "
                   "first team sizes between 1 and all, then the array (still beyond the caches), then runs (6 at "
                   "least); the header says what was cut",
                   86400)
      ->excludes(size)
      ->excludes(threads)
      ->excludes(app.get_option("--repeat"));
  add_whole_number(app, "--timeout", options.plan.timeout_seconds, "SECONDS",
                   "time limit of each run; past it the run is stopped and fails", 86400);
  CLI::Option* precision =
      app.add_option("--precision", texts.precision,
                     "keep adding measured rounds until every case's median interval lies within P of its median, "
                     "or --max-time is spent; --repeat stays the least")
          ->type_name("P%")
          ->check(kPercent);
  add_whole_number(app, "--max-time", options.plan.max_seconds, "SECONDS",
                   "how long the runs may take in all while --precision adds rounds", 86400)
      ->needs(precision);
  CLI::Option* dry_run = app.add_flag(
      "--dry-run", texts.dry_run,
      "print the header and the plan with an estimate of its time from a probe run of each program, and stop");
  app.add_flag("--regions", options.regions,
               "after the timed runs, run each case --repeat times more on LLVM's OpenMP runtime with the suite's "
               "region tool loaded: where each parallel region's time goes (work, barrier and lock waiting, "
               "overhead), per thread, with intervals")
      ->excludes(dry_run);
}

void add_setting_options(CLI::App& app, compare_options& options, option_texts& texts) {
  CLI::Option* bin =
      app.add_option("--bin", options.plan.bin_dir, "where the programs are (default: beside sum_compare)")
          ->type_name("DIR")
          ->check(kNonEmpty);
  app.add_option("--build", texts.builds,
                 "run every case, the calibration included, from the programs in DIR too, as build NAME "
                 "(repeatable: the builds side by side)")
      ->type_name("NAME=DIR")
      ->check(kBuild)
      ->excludes(bin)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  app.add_option("--env", texts.dimensions, "run every case under each value of NAME (repeatable: every combination)")
      ->type_name("NAME=v1,v2")
      ->check(kDimension)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

void add_command_options(CLI::App& app, option_texts& texts) {
  CLI::Option* command =
      app.add_option("--command", texts.commands,
                     "run CMD as a case named NAME on every team size, setting and build, beside the programs "
                     "(repeatable; without --programs, instead of them); its time is the process's wall time, or "
                     "what a line seconds=<number> says, and a line elements=<count> gives ns per element")
          ->type_name("NAME='CMD ARGS'")
          ->check(kCommand)
          ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  app.add_flag("--shell", texts.shell, "run each --command through /bin/sh -c rather than split into words")
      ->needs(command);
  app.add_option("--time-regex", texts.time_regex,
                 "a command's time is the number that the first group of REGEX matches on a line of its output")
      ->type_name("REGEX")
      ->check(kTimeRegex)
      ->needs(command);
  app.add_option("--expect", texts.expect, "a command's run is valid only when a line of its output matches REGEX")
      ->type_name("REGEX")
      ->check(kRegex)
      ->needs(command);
  app.add_option("--expect-exit", texts.expect_exit, "the exit status of a command's valid run")
      ->type_name("N")
      ->capture_default_str()
      ->transform(kDecimal)
      ->check(CLI::Range(0, 255).description(""))
      ->needs(command);
}

void add_saved_options(CLI::App& app, compare_options& options, option_texts& texts) {
  CLI::Option* compare =
      app.add_option("--compare", options.compare_paths,
                     "compare two saved runs (--json files), NEW against BASE: differences, ratios with intervals, "
                     "U tests and verdicts; runs nothing")
          ->type_name("BASE.json NEW.json")
          ->expected(2);
  CLI::Option* merge =
      app.add_option("--merge", options.merge_paths,
                     "saved runs of several machines (--json files) side by side: one column per machine for every "
                     "floor and case, and the machines slower than all the others; runs nothing")
          ->type_name("A.json B.json ...")
          ->expected(2, 1000)
          ->excludes(compare);
  app.add_option("--fail-if-slower", texts.slower,
                 "with --compare: exit 1 when a case is slower by more than P and its interval says so")
      ->type_name("P%")
      ->check(kPercent);
  CLI::Option* dry_run = app.get_option("--dry-run");
  app.add_option("--from", options.from_path,
                 "report the runs that an earlier --json saved, again: run nothing; the plan is the file's")
      ->type_name("FILE.json")
      ->check(kNonEmpty)
      ->excludes(compare)
      ->excludes(merge)
      ->excludes(dry_run)
      ->excludes(app.get_option("--regions"));
  dry_run->excludes(compare)->excludes(merge);
  app.get_option("--regions")->excludes(compare)->excludes(merge);
}

void add_output_options(CLI::App& app, compare_options& options) {
  for (const format_description& format : kFormats) {
    app.add_option(format.option, options.outputs.of(format.format), format.help)
        ->type_name(format.value_name)
        ->check(format.format == output_format::chart ? kChartFile : kNonEmpty);
  }
}

}  // namespace omp_sums
