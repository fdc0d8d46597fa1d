#include "tools/run/command_output.hpp"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <re2/re2.h>

#include "tools/catalog/text.hpp"

namespace omp_sums {

namespace {

// A whole decimal number in TEXT, within [0, most]; -1 where it is none.
long long whole_number(const std::string& text, long long most) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return -1;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  return errno == 0 && value <= most ? value : -1;
}

// A number of seconds in TEXT, written in decimal (no sign, hexadecimal or "inf") and at most
// MOST; -1 where it is none.
double seconds_in(const std::string& text, double most) {
  static const RE2 decimal(R"(([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?)");
  if (!RE2::FullMatch(text, decimal)) return -1;
  errno = 0;
  const double value = std::strtod(text.c_str(), nullptr);
  return errno == 0 && value <= most ? value : -1;
}

// The text after "NAME=" on the first line that starts with it, or "" with FOUND false.
std::string value_of(const std::vector<std::string>& lines, const std::string& name, bool& found) {
  for (const std::string& line : lines) {
    if (line.rfind(name + "=", 0) == 0) {
      found = true;
      return line.substr(name.size() + 1);
    }
  }
  found = false;
  return {};
}

// Why the run is not valid by its exit, or "".
std::string exit_problem(const command_wanted& command, const child_result& run) {
  if (!run.failure.empty()) return run.failure;
  if (run.signal_number != 0) {
    const char* name = sigabbrev_np(run.signal_number);
    return name != nullptr ? "killed by SIG" + std::string(name)
                           : "killed by signal " + std::to_string(run.signal_number);
  }
  if (run.exit_status != command.expect_exit) {
    return printed("exit status %d (a valid run exits with %d)", run.exit_status, command.expect_exit);
  }
  return {};
}

}  // namespace

std::vector<int> processors_of_place(std::string_view place, int processors) {
  std::vector<int> listed;
  std::vector<bool> seen(static_cast<std::size_t>(std::max(processors, 0)));
  const std::string text(place);
  for (std::size_t at = 0; at <= text.size();) {
    const std::size_t end = std::min(text.find(',', at), text.size());
    const std::string range = text.substr(at, end - at);
    const std::size_t dash = range.find('-');
    const long long first = whole_number(range.substr(0, dash), processors - 1LL);
    const long long last = dash == std::string::npos ? first : whole_number(range.substr(dash + 1), processors - 1LL);
    // A processor the machine lacks, or one listed twice, makes the place no place: the list
    // then never outgrows the machine.
    if (first < 0 || last < first) return {};
    for (long long processor = first; processor <= last; ++processor) {
      if (seen[static_cast<std::size_t>(processor)]) return {};
      seen[static_cast<std::size_t>(processor)] = true;
      listed.push_back(static_cast<int>(processor));
    }
    at = end + 1;
  }
  std::sort(listed.begin(), listed.end());
  return listed;
}

std::string without_affinity_lines(const std::string& text, std::map<int, std::vector<int>>& places, int threads,
                                   int processors) {
  std::string kept;
  const std::string tag = kAffinityTag;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    const std::string_view line(text.data() + at, end - at);
    if (line.rfind(tag, 0) == 0) {
      const std::string rest(line.substr(tag.size()));
      const std::size_t blank = rest.find(' ');
      const long long thread = whole_number(rest.substr(0, blank), threads - 1LL);
      const std::vector<int> place =
          thread < 0 || blank == std::string::npos ? std::vector<int>{}
                                                   : processors_of_place(rest.substr(blank + 1), processors);
      if (!place.empty()) places.emplace(static_cast<int>(thread), place);
    } else {
      kept.append(text, at, end + 1 - at);
    }
    at = end + 1;
  }
  return kept;
}

program_run read_command_run(const command_wanted& command, int threads, const child_result& child,
                             double wall_seconds, const output_bounds& bounds) {
  const int processors = bounds.processors;
  program_run run;
  run.problem = exit_problem(command, child);
  if (!run.problem.empty()) return run;
  std::map<int, std::vector<int>> places;
  const std::vector<std::string> lines = lines_of(without_affinity_lines(child.out, places, threads, processors));
  without_affinity_lines(child.err, places, threads, processors);
  // RE2 takes time linear in the line, whatever the pattern: no line can crash or hang the reading.
  if (!command.expect.empty()) {
    const RE2 expected(command.expect, RE2::Quiet);
    if (std::none_of(lines.begin(), lines.end(),
                     [&](const std::string& line) { return RE2::PartialMatch(line, expected); })) {
      run.problem = "no line of its output matches --expect " + command.expect;
      return run;
    }
  }
  run.seconds = wall_seconds;
  if (!command.time_regex.empty()) {
    const RE2 timed(command.time_regex, RE2::Quiet);
    std::string group;
    const auto line = std::find_if(lines.begin(), lines.end(), [&](const std::string& text) {
      return timed.NumberOfCapturingGroups() > 0 ? RE2::PartialMatch(text, timed, &group)
                                                 : RE2::PartialMatch(text, timed);
    });
    if (line == lines.end()) {
      run.problem = "no line of its output matches --time-regex " + command.time_regex;
      return run;
    }
    run.seconds = timed.NumberOfCapturingGroups() > 0 ? seconds_in(group, bounds.most_seconds) : -1;
    if (run.seconds < 0) {
      run.problem = "--time-regex's first group in \"" + *line + "\" is no number of seconds up to its time limit";
      return run;
    }
  } else {
    bool found = false;
    const std::string seconds = value_of(lines, "seconds", found);
    if (found && (run.seconds = seconds_in(seconds, bounds.most_seconds)) < 0) {
      run.problem = "its seconds= line holds no number of seconds up to its time limit: \"" + seconds + "\"";
      return run;
    }
  }
  bool found = false;
  const std::string elements = value_of(lines, "elements", found);
  if (found && (run.elements = whole_number(elements, LLONG_MAX)) <= 0) {
    run.problem = "its elements= line holds no positive whole number: \"" + elements + "\"";
    return run;
  }
  run.thread_seconds = threads > 0 ? child.cpu_seconds / threads : -1;
  run.team_size = static_cast<int>(places.size());
  bool one_each = !places.empty();
  for (const auto& [thread, place] : places) one_each = one_each && place.size() == 1;
  for (const auto& [thread, place] : places) {
    if (one_each) run.threads[thread].processor = place.front();
  }
  if (!one_each && !places.empty()) run.place_size = static_cast<int>(places.begin()->second.size());
  return run;
}

}  // namespace omp_sums
