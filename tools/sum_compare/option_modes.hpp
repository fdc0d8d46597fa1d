// Which modes use each option (any other refuses it), and the groups --help lists them in.
#pragma once

#include <CLI/CLI.hpp>

#include <array>
#include <utility>

namespace omp_sums {

// What sum_compare is asked to do: run the plan, only print it, or report saved runs.
enum class compare_mode { run, dry_run, from, compare, merge };

// The help's groups, each option in one; the formats' options are the outputs.
inline constexpr std::pair<const char*, std::array<const char*, 9>> kOptionGroups[] = {
    {"Plan",
     {"--programs", "--threads", "--size", "--repeat", "--budget", "--timeout", "--precision", "--max-time",
      "--dry-run"}},
    {"Settings and builds", {"--env", "--build", "--bin"}},
    {"Your own program", {"--command", "--shell", "--time-regex", "--expect", "--expect-exit"}},
    {"Saved runs", {"--from", "--compare", "--merge", "--fail-if-slower"}},
};

// A mode as a refusal names it: "a run", "--from".
const char* mode_name(compare_mode mode);

// The option given that the mode does not use, or nullptr.
const char* unused_option(const CLI::App& app, compare_mode mode);

}  // namespace omp_sums
