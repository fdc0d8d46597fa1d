#include "tools/run/machine_sweep.hpp"

#include <cmath>
#include <cstdlib>

#include "tools/catalog/floors.hpp"
#include "tools/catalog/programs.hpp"
#include "tools/run/child_process.hpp"
#include "tools/run/program_output.hpp"

namespace omp_sums {

namespace {

// A line of calibrate's that is not what it should be, quoted, its first 200 bytes at most.
std::string unexpected(const std::string& line) {
  return "unexpected line \"" + line.substr(0, 200) + (line.size() > 200 ? "...\"" : "\"");
}

}  // namespace

std::string read_sweep_output(const std::string& out, int team, long long most_bytes,
                              std::vector<sweep_point>& points) {
  points.clear();
  std::size_t at = 0;
  const auto next_line = [&](std::string& line) {
    const std::size_t end = out.find('\n', at);
    if (end == std::string::npos) return false;
    line = out.substr(at, end - at);
    at = end + 1;
    return true;
  };
  std::string line;
  const std::optional<std::vector<std::string>> team_line =
      next_line(line) ? match_format(line, kTeamLine) : std::nullopt;
  if (!team_line || std::atoi(team_line->front().c_str()) != team)
    return "no line \"" + printed(kTeamLine, team) + "\"";
  while (next_line(line)) {
    const std::optional<std::vector<std::string>> fields = match_format(line, kSweepLine);
    if (!fields) return unexpected(line);
    const sweep_point point{std::atoi((*fields)[0].c_str()), std::atoll((*fields)[1].c_str()),
                            std::strtod((*fields)[2].c_str(), nullptr)};
    const bool in_order = points.empty() ||
                          (point.threads == points.back().threads && point.bytes > points.back().bytes) ||
                          (point.threads == team && points.back().threads == 1 && team > 1);
    if ((point.threads != 1 && point.threads != team) || point.bytes < kSweepFirstBytes || point.bytes > most_bytes ||
        !in_order || !(std::isfinite(point.gb_per_s) && point.gb_per_s > 0)) {
      return unexpected(line);
    }
    points.push_back(point);
  }
  if (at != out.size()) return "output does not end with a newline";
  return {};
}

read_sweep run_sweep(const std::string& calibrate, long long most_bytes, int processors,
                     const volatile std::sig_atomic_t* interrupted) {
  read_sweep sweep{most_bytes, {}, ""};
  std::vector<std::string> env = current_environment();
  set_variable(env, "OMP_NUM_THREADS", std::to_string(processors));
  const child_result run =
      run_child(calibrate, {"--sweep", std::to_string(most_bytes)}, env, {60, 1 << 20, 0.5, interrupted});
  if (!run.failure.empty()) {
    sweep.problem = run.failure;
  } else if (run.exit_status != 0) {
    sweep.problem = "exit status " + std::to_string(run.exit_status);
  } else {
    sweep.problem = read_sweep_output(run.out, processors, most_bytes, sweep.points);
  }
  if (!sweep.problem.empty()) sweep.points.clear();
  return sweep;
}

}  // namespace omp_sums
