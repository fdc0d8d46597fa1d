#include "tools/analysis/cache_levels.hpp"

#include <algorithm>
#include <cmath>

#include "tools/catalog/floors.hpp"
#include "tools/catalog/text.hpp"

namespace omp_sums {

namespace {

double median_of(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The read speeds of AT[from, to), clipped to the sweep.
std::vector<double> speeds(const std::vector<sweep_point>& at, long from, long to) {
  std::vector<double> picked;
  for (long k = std::max(from, 0L); k < std::min(to, static_cast<long>(at.size())); ++k)
    picked.push_back(at[static_cast<std::size_t>(k)].gb_per_s);
  return picked;
}

// The speed of the largest working set of the sweep up to BYTES (its first where none is).
double speed_at(const std::vector<sweep_point>& at, long long bytes) {
  double speed = at.front().gb_per_s;
  for (const sweep_point& point : at) {
    if (point.bytes <= bytes) speed = point.gb_per_s;
  }
  return speed;
}

std::vector<sweep_point> points_of(const std::vector<sweep_point>& points, int threads) {
  std::vector<sweep_point> at;
  for (const sweep_point& point : points) {
    if (point.threads == threads) at.push_back(point);
  }
  std::sort(at.begin(), at.end(), [](const sweep_point& a, const sweep_point& b) { return a.bytes < b.bytes; });
  return at;
}

// Where the sweep steps down: each working set whose neighbours before read kStepDrop faster
// than those after (medians of three, so that one stray point makes no step); a run of them is
// one step, placed before its steepest fall.
std::vector<long long> steps_of(const std::vector<sweep_point>& at) {
  const long n = static_cast<long>(at.size());
  const auto falls_after = [&](long i) {
    return i >= 1 && i + 1 < n &&
           median_of(speeds(at, i - 2, i + 1)) >= kStepDrop * median_of(speeds(at, i + 1, i + 4));
  };
  const auto fall = [&](long i) {
    return at[static_cast<std::size_t>(i)].gb_per_s / at[static_cast<std::size_t>(i + 1)].gb_per_s;
  };
  std::vector<long long> steps;
  for (long i = 1; i + 1 < n; ++i) {
    if (!falls_after(i)) continue;
    long steepest = i;
    for (; falls_after(i + 1); ++i) {
      if (fall(i + 1) > fall(steepest)) steepest = i + 1;
    }
    steps.push_back(at[static_cast<std::size_t>(steepest)].bytes);
  }
  return steps;
}

std::string bytes_text(long long bytes) { return size_text(static_cast<unsigned long long>(bytes)); }

}  // namespace

sweep_reading read_sweep_of(const std::vector<sweep_point>& points, int threads) {
  sweep_reading reading;
  const std::vector<sweep_point> at = points_of(points, threads);
  if (at.empty()) return reading;
  reading.threads = threads;
  reading.largest = at.back().bytes;
  if (at.size() < 6) return reading;
  // Memory's speed: the last three within a fifth of their median, and the fastest reads at least
  // half as fast again.
  const std::vector<double> tail = speeds(at, static_cast<long>(at.size()) - 3, static_cast<long>(at.size()));
  const double memory = median_of(tail);
  const double fastest = std::max_element(at.begin(), at.end(), [](const sweep_point& a, const sweep_point& b) {
                           return a.gb_per_s < b.gb_per_s;
                         })->gb_per_s;
  const bool flat =
      std::all_of(tail.begin(), tail.end(), [&](double v) { return std::fabs(v - memory) <= 0.2 * memory; });
  if (!(memory > 0) || !flat || fastest < 1.5 * memory) {
    reading.steps = steps_of(at);
    return reading;
  }
  reading.memory_gb_per_s = memory;
  for (std::size_t k = 0; k + 1 < at.size(); ++k) {
    if (at[k].gb_per_s >= kCacheSpeedUp * memory) {
      reading.reach = at[k].bytes;
      reading.memory_from = at[k + 1].bytes;
    }
  }
  for (long long step : steps_of(at)) {
    if (step <= reading.reach) reading.steps.push_back(step);
  }
  return reading;
}

bool measured_caches::decides() const {
  return beyond_reported ||
         std::any_of(levels.begin(), levels.end(), [](const level_reading& level) { return level.refuted; });
}

measured_caches measure_caches(const machine_topology& machine, const read_sweep& sweep) {
  measured_caches caches;
  caches.one = read_sweep_of(sweep.points, 1);
  int team = 0;
  for (const sweep_point& point : sweep.points) team = std::max(team, point.threads);
  if (team > 1) caches.team = read_sweep_of(sweep.points, team);
  const std::vector<sweep_point> one = points_of(sweep.points, 1);
  // What the team reaches counts a cache it shares once; each thread's share is its part.
  const bool team_reads = caches.team.memory_gb_per_s > 0 && caches.team.reach > 0;
  const long long reach = team_reads ? caches.team.reach : caches.one.reach;
  unsigned long long below = 0;  // the share of the last level below that holds
  for (const auto& [level, share] : machine.share_per_processor) {
    level_reading reading{level, share};
    for (const cache_group& cache : machine.caches) {
      if (cache.level != level) continue;
      reading.reported_bytes = std::max(reading.reported_bytes, cache.bytes);
      reading.reported_count += cache.count;
    }
    if (level == machine.last_level) reading.reported_count = machine.last_level_count;
    const double memory = caches.one.memory_gb_per_s;
    reading.refuted = memory > 0 && speed_at(one, static_cast<long long>(share / 2)) < kCacheSpeedUp * memory;
    if (!reading.refuted) {
      below = share;
    } else if (level == machine.last_level) {
      caches.measured_total = static_cast<unsigned long long>(reach);
      // Without a team's sweep, the share is as small as it can be: one cache over every processor.
      const std::size_t sharing =
          team_reads ? static_cast<std::size_t>(team) : std::max<std::size_t>(machine.allowed.size(), 1);
      const unsigned long long measured = caches.measured_total / sharing;
      if (measured > below + below / 2) reading.measured_share = measured;
    }
    caches.levels.push_back(reading);
  }
  // Beyond every reported cache only where one thread and the team both read that far: a team's
  // noisy tail alone decides nothing.
  const unsigned long long reached = static_cast<unsigned long long>(reach);
  const bool both_beyond =
      static_cast<double>(std::min<long long>(caches.one.reach, reach)) >
          1.5 * static_cast<double>(machine.last_level_bytes);
  if (caches.measured_total == 0 && caches.one.memory_gb_per_s > 0 && both_beyond) {
    caches.measured_total = reached;
    caches.beyond_reported = true;
  }
  return caches;
}

machine_topology as_measured(const machine_topology& machine, const measured_caches& caches) {
  if (!caches.decides()) return machine;
  machine_topology sized = machine;
  for (const level_reading& level : caches.levels) {
    if (!level.refuted) continue;
    if (level.measured_share > 0) {
      sized.share_per_processor[level.level] = level.measured_share;
      sized.measured_levels.push_back(level.level);
    } else {
      sized.share_per_processor.erase(level.level);
      sized.absent_levels.push_back(level.level);
    }
  }
  if (caches.measured_total > 0) {
    // The last reported level that is there, reaching what the team was measured to reach.
    if (!caches.beyond_reported)
      sized.last_level = sized.share_per_processor.empty() ? 0 : sized.share_per_processor.rbegin()->first;
    sized.last_level_bytes = caches.measured_total;
    sized.last_level_count = 1;
    if (sized.last_level > 0 && std::find(sized.measured_levels.begin(), sized.measured_levels.end(),
                                          sized.last_level) == sized.measured_levels.end()) {
      sized.measured_levels.push_back(sized.last_level);
    }
  }
  return sized;
}

long long sweep_bytes(const machine_topology& machine, unsigned long long available) {
  const long long least = 256LL << 20;
  const long long most = 1LL << 30;
  long long bytes = std::clamp(static_cast<long long>(std::min(machine.last_level_bytes, 1ULL << 38) * 4), least, most);
  if (available > 0) bytes = std::min(bytes, static_cast<long long>(available / 4));
  return std::max(bytes, 64 * kSweepFirstBytes);
}

std::string measured_line(const measured_caches& caches) {
  const sweep_reading& one = caches.one;
  if (one.threads == 0) return {};
  std::vector<std::string> steps;
  for (long long step : one.steps) steps.push_back(bytes_text(step));
  std::string line = steps.empty() ? "reads show no step" : "reads step down past about " + joined(steps, ", ");
  if (steps.size() > 1) line.replace(line.rfind(", "), 2, " and ");
  if (one.memory_gb_per_s <= 0) {
    return line + "; up to " + bytes_text(one.largest) +
           ", the largest working set read, they tell no cache from memory, so the reported sizes stand";
  }
  line += printed("; memory speed (%.0f GB/s on 1 thread", one.memory_gb_per_s);
  if (caches.team.memory_gb_per_s > 0)
    line += printed(", %.0f GB/s on %d threads", caches.team.memory_gb_per_s, caches.team.threads);
  return line + ") from about " + bytes_text(one.memory_from) + " on";
}

std::vector<std::string> refuted_lines(const measured_caches& caches) {
  std::vector<std::string> lines;
  for (const level_reading& level : caches.levels) {
    if (!level.refuted) continue;
    std::string line = printed("L%d: reported %s x%d; measured: ", level.level, size_text(level.reported_bytes).c_str(),
                               level.reported_count);
    if (level.measured_share > 0) {
      line += "reads fall to memory speed beyond about " + bytes_text(caches.one.reach) + " on 1 thread" +
              (caches.team.reach > 0
                   ? printed(", %s on %d threads", bytes_text(caches.team.reach).c_str(), caches.team.threads)
                   : std::string()) +
              "; sizes follow the measurement";
    } else {
      line += "reads of " + size_text(level.reported_share / 2) + " already go at memory speed; no --size L" +
              std::to_string(level.level) + " here";
    }
    lines.push_back(line);
  }
  if (caches.beyond_reported) {
    lines.push_back("caches: reads go faster than memory up to about " + size_text(caches.measured_total) +
                    ", beyond every cache the machine reports; the array beyond the caches follows the measurement");
  }
  return lines;
}

std::string joined_lines(const measured_caches& caches) {
  std::vector<std::string> lines = refuted_lines(caches);
  const std::string measured = measured_line(caches);
  if (!measured.empty()) lines.insert(lines.begin(), measured);
  return joined(lines, "; ");
}

}  // namespace omp_sums
