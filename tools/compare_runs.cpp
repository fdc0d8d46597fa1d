#include "tools/compare_runs.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "tools/line_shape.hpp"

const std::vector<std::string>& comparable_programs() {
  static const std::vector<std::string> programs = {"sum_baseline_serial", "sum_baseline",
                                                    "sum_walltime",        "sum_slots_packed",
                                                    "sum_slots_padded",    "sum_first_touch"};
  return programs;
}

bool sums_index_fill(const std::string& program) {
  return program == "sum_walltime" || program == "sum_slots_packed" ||
         program == "sum_slots_padded" || program == "sum_first_touch";
}

static bool prints_placement(const std::string& program) {
  return program == "sum_slots_packed" || program == "sum_slots_padded" || program == "sum_first_touch";
}

static std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  std::string line;
  while (std::getline(stream, line)) lines.push_back(line);
  return lines;
}

// Checks the result line and fills the reading; returns a problem or an empty string.
static std::string read_result_line(const std::string& program, const std::string& line,
                                    run_reading& reading) {
  std::string shape = "Sum is #, process took # of wall-clock time, <#> sec of thread-time ";
  if (program == "sum_baseline_serial") shape = "Sum is #, took # sec";
  if (program == "sum_slots_padded") {
    shape = "Sum is #, process took # sec of wall-clock time, <#> sec of thread-time ";
  }
  const line_shape got = shape_of(line);
  if (got.shape != shape) return "unexpected result line \"" + line + "\"";
  reading.sum = got.numbers[0];
  reading.seconds = std::strtod(got.numbers[1].c_str(), nullptr);
  if (got.numbers.size() > 2) reading.thread_seconds = std::strtod(got.numbers[2].c_str(), nullptr);
  return {};
}

// Checks the lines before the result line; returns a problem or an empty string.
static std::string check_leading_lines(const std::string& program, int threads,
                                       const std::vector<std::string>& lines) {
  if (program == "sum_baseline_serial") {
    if (lines.size() != 2 || lines[0] != "serial summation") return "expected \"serial summation\" and one result line";
    return {};
  }
  const std::size_t placement_lines = prints_placement(program) ? static_cast<std::size_t>(threads) : 0;
  if (lines.size() != placement_lines + 2) {
    return "expected " + std::to_string(placement_lines + 2) + " lines, got " + std::to_string(lines.size());
  }
  const std::string team_line = "omp summation with " + std::to_string(threads) + " threads";
  int team_lines = 0;
  std::map<int, int> placements;
  for (std::size_t k = 0; k + 1 < lines.size(); ++k) {
    if (lines[k] == team_line) {
      ++team_lines;
      continue;
    }
    const line_shape got = shape_of(lines[k]);
    const int thread = got.numbers.size() == 2 ? std::atoi(got.numbers[0].c_str()) : -1;
    char placement[96] = {};
    if (thread >= 0) {
      std::snprintf(placement, sizeof placement, "thread %2d is running on core %2d", thread,
                    std::atoi(got.numbers[1].c_str()));
    }
    if (lines[k] != placement) return "unexpected line \"" + lines[k] + "\"";
    ++placements[thread];
  }
  if (team_lines != 1) return "no \"" + team_line + "\" line: the runtime formed another team";
  for (int t = 0; t < static_cast<int>(placement_lines); ++t) {
    if (placements[t] != 1) return "thread " + std::to_string(t) + " did not report its placement once";
  }
  return {};
}

run_reading read_run(const std::string& program, long long n, int threads, const child_result& run) {
  run_reading reading;
  if (run.exit_status != 0) {
    reading.problem = "exit status " + std::to_string(run.exit_status);
    return reading;
  }
  if (run.out.empty() || run.out.back() != '\n') {
    reading.problem = "output does not end with a newline";
    return reading;
  }
  const std::vector<std::string> lines = split_lines(run.out);
  reading.problem = check_leading_lines(program, threads, lines);
  if (reading.problem.empty()) reading.problem = read_result_line(program, lines.back(), reading);
  if (!reading.problem.empty()) return reading;

  constexpr long long exact_limit = 1LL << 53;
  if (sums_index_fill(program) && n > 0 && (n - 1) * n / 2 < exact_limit) {
    const std::string expected = g_format(static_cast<double>((n - 1) * n / 2));
    if (reading.sum != expected) reading.problem = "sum " + reading.sum + ", expected " + expected;
  } else if (!sums_index_fill(program)) {
    const double sum = std::strtod(reading.sum.c_str(), nullptr);
    if (!(sum >= 0.0 && sum <= static_cast<double>(std::max(n, 0LL)))) {
      reading.problem = "sum " + reading.sum + " outside [0, N] for N values drawn from [0, 1)";
    }
  }
  if (reading.problem.empty() && !(reading.seconds >= 0.0)) reading.problem = "negative time " + g_format(reading.seconds);
  return reading;
}

// A whole decimal number in [low, high], or false.
static bool parse_int(const std::string& text, long low, long high, int& value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  errno = 0;
  const long parsed = std::strtol(text.c_str(), nullptr, 10);
  if (errno != 0 || parsed < low || parsed > high) return false;
  value = static_cast<int>(parsed);
  return true;
}

static std::vector<std::string> split_list(const std::string& text) {
  std::vector<std::string> items;
  std::string item;
  std::istringstream stream(text);
  while (std::getline(stream, item, ',')) items.push_back(item);
  if (!text.empty() && text.back() == ',') items.push_back("");
  return items;
}

static std::string parse_option(const std::string& name, const std::string& value, compare_options& options) {
  if (name == "--programs") {
    options.programs.clear();
    for (const std::string& program : split_list(value)) {
      const auto& known = comparable_programs();
      if (std::find(known.begin(), known.end(), program) == known.end()) {
        return "unknown program '" + program + "' in --programs";
      }
      if (std::find(options.programs.begin(), options.programs.end(), program) == options.programs.end()) {
        options.programs.push_back(program);
      }
    }
    if (options.programs.empty()) return "--programs needs at least one program";
  } else if (name == "--threads") {
    options.threads.clear();
    for (const std::string& item : split_list(value)) {
      int threads = 0;
      if (!parse_int(item, 1, 4096, threads)) return "--threads takes team sizes from 1 to 4096, not '" + item + "'";
      if (std::find(options.threads.begin(), options.threads.end(), threads) == options.threads.end()) {
        options.threads.push_back(threads);
      }
    }
    if (options.threads.empty()) return "--threads needs at least one team size";
    std::sort(options.threads.begin(), options.threads.end());
  } else if (name == "--size") {
    if (!parse_int(value, 1, 2147483647, options.size)) return "--size takes an element count from 1 to 2147483647, not '" + value + "'";
  } else if (name == "--repeat") {
    if (!parse_int(value, 1, 1000, options.repeat)) return "--repeat takes a count from 1 to 1000, not '" + value + "'";
  } else if (name == "--csv") {
    options.csv_path = value;
  } else if (name == "--json") {
    options.json_path = value;
  } else if (name == "--plot") {
    const auto ends_with = [&](const char* suffix) {
      const std::string s = suffix;
      return value.size() > s.size() && value.compare(value.size() - s.size(), s.size(), s) == 0;
    };
    if (!ends_with(".svg") && !ends_with(".png")) return "--plot writes a .svg or .png file, not '" + value + "'";
    options.plot_path = value;
  } else if (name == "--bin") {
    options.bin_dir = value;
  } else {
    return "unknown option '" + name + "'";
  }
  return {};
}

std::string parse_compare_options(int argc, char** argv, compare_options& options) {
  for (int k = 1; k < argc; ++k) {
    std::string name = argv[k];
    if (name == "--help" || name == "-h") {
      options.help = true;
      continue;
    }
    if (name.rfind("--", 0) != 0) return "unexpected argument '" + name + "'";
    std::string value;
    const std::size_t equals = name.find('=');
    if (equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.resize(equals);
    } else if (name == "--programs" || name == "--threads" || name == "--size" || name == "--repeat" ||
               name == "--csv" || name == "--json" || name == "--plot" || name == "--bin") {
      if (k + 1 >= argc) return name + " needs a value";
      value = argv[++k];
    } else {
      return "unknown option '" + name + "'";
    }
    const std::string problem = parse_option(name, value, options);
    if (!problem.empty()) return problem;
  }
  return {};
}

summary summarise(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  const double median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
  return {median, values.front(), values.back()};
}
