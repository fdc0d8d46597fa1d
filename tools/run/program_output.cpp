#include "tools/run/program_output.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace omp_sums {

std::string g_format(double value) { return printed("%g", value); }

std::string memory_message(long long n) { return printed(kMemoryMessage, static_cast<unsigned long>(n * 8)) + "\n"; }

namespace {

bool is_value_char(char conversion, char c) {
  const bool digit = std::isdigit(static_cast<unsigned char>(c)) != 0;
  switch (conversion) {
    case 'd':
    case 'u': return digit || c == '-';
    case 'g': return digit || std::strchr("-+.einfa", c) != nullptr;
    case 'p': return std::isxdigit(static_cast<unsigned char>(c)) != 0 || std::strchr("x()nil", c) != nullptr;
    default: return false;
  }
}

// True when the printf directive (e.g. "%2d", "%lld", "%g") writes exactly `text`.
bool written_by(const std::string& directive, char conversion, const std::string& text) {
  std::size_t start = 0;
  while (start < text.size() && text[start] == ' ') ++start;
  const char* digits = text.c_str() + start;
  char* end = nullptr;
  errno = 0;
  const std::string width = directive.substr(1, directive.find_first_not_of("0123456789", 1) - 1);
  std::string again;
  if (conversion == 'g') {
    const double value = std::strtod(digits, &end);
    again = printed("%g", value);
  } else if (conversion == 'p') {
    if (std::strcmp(digits, "(nil)") == 0) return text == printed("%p", static_cast<void*>(nullptr));
    if (std::strncmp(digits, "0x", 2) != 0) return false;
    const unsigned long long value = std::strtoull(digits + 2, &end, 16);
    again = printed("%p", reinterpret_cast<void*>(static_cast<std::uintptr_t>(value)));
  } else if (conversion == 'u' || directive.find("lu") != std::string::npos) {
    if (*digits == '-') return false;
    const unsigned long long value = std::strtoull(digits, &end, 10);
    if (directive == "%u" && value > UINT_MAX) return false;
    again = printed(("%" + width + "llu").c_str(), value);
  } else {
    const long long value = std::strtoll(digits, &end, 10);
    if (directive.find('l') == std::string::npos && directive.find('t') == std::string::npos &&
        (value < INT_MIN || value > INT_MAX)) {
      return false;
    }
    again = printed(("%" + width + "lld").c_str(), value);
  }
  return end != digits && *end == '\0' && errno == 0 && again == text;
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t newline = text.find('\n', at);
    if (newline == std::string::npos) break;
    lines.push_back(text.substr(at, newline - at));
    at = newline + 1;
  }
  return lines;
}

std::size_t line_count(const char* format) {
  return 1 + static_cast<std::size_t>(std::count(format, format + std::strlen(format), '\n'));
}

// The fields of lines[at, at + count of the format's lines) read with the format.
std::optional<std::vector<std::string>> match_block(const std::vector<std::string>& lines, std::size_t at,
                                                    const char* format) {
  const std::size_t count = line_count(format);
  if (at + count > lines.size()) return std::nullopt;
  std::string block = lines[at];
  for (std::size_t k = 1; k < count; ++k) block += "\n" + lines[at + k];
  return match_format(block, format);
}

bool finite_seconds(const std::string& text) {
  const double value = std::strtod(text.c_str(), nullptr);
  return std::isfinite(value) && value >= 0.0;
}

// The sum check of the programs whose data is known. For the index fill the sum is N(N-1)/2:
// exact while that is below 2^53, beyond it the in-order partial sums round, so the printed text
// may differ from the exact one in its last digit. N values drawn from [0, 1) sum to [0, N].
std::string check_sum(const program_description& program, long long n, const std::string& sum) {
  if (program.fill == array_fill::index) {
    const long long exact = n > 0 ? (n - 1) * n / 2 : 0;
    const std::string expected = g_format(static_cast<double>(exact));
    if (sum == expected) return {};
    const bool rounds = exact >= (1LL << 53);
    const double last_digit = std::pow(10.0, std::floor(std::log10(static_cast<double>(exact))) - 5);
    if (rounds &&
        std::fabs(std::strtod(sum.c_str(), nullptr) - std::strtod(expected.c_str(), nullptr)) <= 1.5 * last_digit) {
      return {};
    }
    return "sum " + sum + ", expected " + expected;
  }
  if (program.fill == array_fill::random) {
    const double value = std::strtod(sum.c_str(), nullptr);
    if (!(value >= 0.0 && value <= static_cast<double>(n > 0 ? n : 0))) {
      return "sum " + sum + " outside [0, N] for N values drawn from [0, 1)";
    }
  }
  return {};
}

// The calibration's figures: positive numbers (a share from 0 to 1), but for those of a team too
// small for them (the line transfer on one thread has no second thread to hand the line to),
// which are nan; and beside each, the share of its processors its phase had, from 0 to 1.
std::string check_calibration(const program_run& run) {
  for (const floor_description& floor : kFloors) {
    if (share_field(floor.kind) >= run.result_fields.size()) break;
    const std::string& field = run.result_fields[value_field(floor.kind)];
    const double value = std::strtod(field.c_str(), nullptr);
    if (run.team_size < floor.fewest_threads) {
      if (!std::isnan(value)) return "calibration figure " + field + " for a team of " + std::to_string(run.team_size);
    } else if (floor.share ? !(value >= 0 && value <= 1) : !(std::isfinite(value) && value > 0)) {
      return "calibration figure " + field + (floor.share ? " is not a share" : " is not a positive number");
    }
    const std::string& share = run.result_fields[share_field(floor.kind)];
    const double had = std::strtod(share.c_str(), nullptr);
    if (!(had >= 0 && had <= 1))
      return "calibration share " + share + " of " + std::string(floor.line) + " is not a share";
  }
  return {};
}

// Reads the blocks before the result line and checks the team they describe.
std::string read_blocks(const program_description& program, int threads, const std::vector<std::string>& lines,
                        std::size_t result_at, program_run& run) {
  bool first_seen = false;
  for (std::size_t at = 0; at < result_at;) {
    std::optional<std::vector<std::string>> fields;
    if (!first_seen && program.first_block != nullptr && (fields = match_block(lines, at, program.first_block))) {
      first_seen = true;
      run.first_fields = *fields;
      run.block_order.push_back(-1);
      at += line_count(program.first_block);
    } else if (program.thread_block != nullptr && (fields = match_block(lines, at, program.thread_block))) {
      const int thread = std::atoi(fields->front().c_str());
      if (!run.thread_fields.emplace(thread, *fields).second) {
        return "thread " + std::to_string(thread) + " printed its line twice";
      }
      run.block_order.push_back(thread);
      at += line_count(program.thread_block);
    } else {
      return "unexpected line \"" + lines[at] + "\"";
    }
  }
  if (program.first_block != nullptr && !first_seen) {
    return "no line \"" + std::string(program.first_block) + "\"";
  }

  if (!program.on_team) {
    run.team_size = 1;
  } else if (program.first_block == kTeamLine) {
    run.team_size = std::atoi(run.first_fields.front().c_str());
  } else if (program.thread_block != nullptr) {
    run.team_size = static_cast<int>(run.thread_fields.size());
  }
  if (threads > 0 && run.team_size != 0 && program.on_team && run.team_size != threads) {
    return "the runtime formed a team of " + std::to_string(run.team_size) + ", not " + std::to_string(threads);
  }
  if (program.thread_block != nullptr && threads > 0) {
    for (int t = 0; t < threads; ++t) {
      if (run.thread_fields.count(t) == 0) return "thread " + std::to_string(t) + " printed no line";
    }
    if (static_cast<int>(run.thread_fields.size()) != threads) return "lines from threads outside the team";
  }
  return {};
}

}  // namespace

std::optional<std::vector<std::string>> match_format(std::string_view text, std::string_view format) {
  std::vector<std::string> fields;
  std::size_t at = 0;
  for (std::size_t f = 0; f < format.size(); ++f) {
    const bool percent_sign = format[f] == '%' && f + 1 < format.size() && format[f + 1] == '%';
    if (format[f] != '%' || percent_sign) {
      if (at >= text.size() || text[at] != format[f]) return std::nullopt;
      ++at;
      f += percent_sign ? 1 : 0;
      continue;
    }
    std::size_t end = f + 1;
    while (end < format.size() && std::strchr("0123456789lt", format[end]) != nullptr) ++end;
    if (end >= format.size()) return std::nullopt;
    const std::string directive(format.substr(f, end - f + 1));
    const char conversion = format[end];
    f = end;

    std::size_t stop = at;
    while (stop < text.size() && text[stop] == ' ') ++stop;  // a field width's blanks
    while (stop < text.size() && is_value_char(conversion, text[stop])) ++stop;
    const std::string written(text.substr(at, stop - at));
    if (!written_by(directive, conversion, written)) return std::nullopt;
    fields.push_back(written.substr(written.find_first_not_of(' ')));
    at = stop;
  }
  if (at != text.size()) return std::nullopt;
  return fields;
}

program_run read_run(const program_description& program, long long n, int threads, const child_result& child) {
  program_run run;
  if (!child.failure.empty()) {
    run.problem = child.failure;
    return run;
  }
  if (child.signal_number != 0) {
    const char* name = sigabbrev_np(child.signal_number);
    run.problem = name != nullptr ? "killed by SIG" + std::string(name)
                                  : "killed by signal " + std::to_string(child.signal_number);
    return run;
  }
  if (child.exit_status != 0) {
    run.problem = "exit status " + std::to_string(child.exit_status);
    return run;
  }
  if (child.out.empty() || child.out.back() != '\n') {
    run.problem = "output does not end with a newline";
    return run;
  }
  const std::vector<std::string> lines = split_lines(child.out);
  const std::size_t result_lines = line_count(program.result_block);
  if (lines.size() < result_lines) {
    run.problem = "no result line";
    return run;
  }
  const std::size_t result_at = lines.size() - result_lines;
  const std::optional<std::vector<std::string>> result = match_block(lines, result_at, program.result_block);
  if (!result) {
    run.problem = "unexpected result line \"" + lines[result_at] + "\"";
    return run;
  }
  run.result_fields = *result;
  run.problem = read_blocks(program, threads, lines, result_at, run);
  if (!run.problem.empty()) return run;

  const result_fields& at = program.fields;
  for (int field : {at.seconds, at.thread_seconds}) {
    if (field >= 0 && !finite_seconds(run.result_fields[static_cast<std::size_t>(field)])) {
      run.problem = "time " + run.result_fields[static_cast<std::size_t>(field)] + " is not a number of seconds";
      return run;
    }
  }
  if (at.seconds >= 0)
    run.seconds = std::strtod(run.result_fields[static_cast<std::size_t>(at.seconds)].c_str(), nullptr);
  if (at.thread_seconds >= 0) {
    run.thread_seconds = std::strtod(run.result_fields[static_cast<std::size_t>(at.thread_seconds)].c_str(), nullptr);
  }
  if (at.sum >= 0) {
    run.sum = run.result_fields[static_cast<std::size_t>(at.sum)];
    run.problem = check_sum(program, n, run.sum);
  }
  if (program.role == program_role::calibration) run.problem = check_calibration(run);
  // A page share is a percentage, or -1 where the kernel could not say.
  for (const auto& [thread, fields] : run.thread_fields) {
    if (!run.problem.empty() || !prints_pages(program)) break;
    const double share = std::strtod(fields.at(2).c_str(), nullptr);
    if (!(share == -1 || (share >= 0 && share <= 100)))
      run.problem = "page share " + fields.at(2) + "% of thread " + fields.at(0);
  }
  for (const auto& [thread, fields] : run.thread_fields) {
    if (!run.problem.empty()) break;
    if (prints_placement(program)) run.threads[thread].processor = std::atoi(fields.at(1).c_str());
    if (prints_pages(program))
      run.threads[thread] = {-1, std::atoi(fields.at(1).c_str()), std::strtod(fields.at(2).c_str(), nullptr)};
  }
  return run;
}

}  // namespace omp_sums
