#include "tools/sum_compare/option_modes.hpp"

#include "tools/report/formats.hpp"

namespace omp_sums {

namespace {

// Which modes use each option; any other mode refuses it.
constexpr unsigned in(compare_mode mode) { return 1u << static_cast<unsigned>(mode); }
constexpr unsigned kPlanning = in(compare_mode::run) | in(compare_mode::dry_run);
constexpr unsigned kReporting = in(compare_mode::run) | in(compare_mode::from);
constexpr unsigned kSumming = kReporting | in(compare_mode::compare) | in(compare_mode::merge);

struct option_use {
  const char* name;
  unsigned modes;
};

// The outputs' modes are their formats' (tools/report/formats.hpp).
// clang-format off
constexpr option_use kOptionUses[] = {
    {"--programs", kPlanning},
    {"--threads", kPlanning},
    {"--size", kPlanning},
    {"--repeat", kPlanning},
    {"--budget", kPlanning},
    {"--timeout", kPlanning},
    {"--precision", kPlanning},
    {"--max-time", kPlanning},
    {"--env", kPlanning},
    {"--build", kPlanning},
    {"--bin", kPlanning},
    {"--fail-if-slower", in(compare_mode::compare)},
    {"--command", kPlanning},
    {"--shell", kPlanning},
    {"--time-regex", kPlanning},
    {"--expect", kPlanning},
    {"--expect-exit", kPlanning},
};
// clang-format on
}  // namespace

const char* mode_name(compare_mode mode) {
  switch (mode) {
    case compare_mode::run: return "a run";
    case compare_mode::dry_run: return "--dry-run, which writes no file";
    case compare_mode::from: return "--from";
    case compare_mode::compare: return "--compare";
    case compare_mode::merge: return "--merge";
  }
  return "";
}

const char* unused_option(const CLI::App& app, compare_mode mode) {
  for (const option_use& use : kOptionUses) {
    if (app.count(use.name) > 0 && (use.modes & in(mode)) == 0) return use.name;
  }
  for (const format_description& format : kFormats) {
    if (app.count(format.option) > 0 && ((format.of_summaries() ? kSumming : kReporting) & in(mode)) == 0)
      return format.option;
  }
  return nullptr;
}

}  // namespace omp_sums
