#include "tools/analysis/regions.hpp"

#include <algorithm>
#include <map>

#include "tools/analysis/statistics.hpp"
#include "tools/catalog/text.hpp"

namespace omp_sums {

namespace {

double median_of(const std::vector<double>& values) { return values.empty() ? -1 : summarise(values).median; }

// The runs' shares of one part: PART of each run's time over that run's whole.
template <typename Part>
std::vector<double> shares(const std::vector<region_time>& per_run, Part part) {
  std::vector<double> values;
  for (const region_time& time : per_run) {
    if (total(time) > 0) values.push_back(part(time) / total(time));
  }
  return values;
}

void set_shares(const std::vector<region_time>& per_run, share_figure& work, share_figure& barrier, share_figure& lock,
                share_figure& overhead) {
  work = share_of(shares(per_run, [](const region_time& t) { return t.work; }));
  barrier = share_of(shares(per_run, [](const region_time& t) { return t.barrier; }));
  lock = share_of(shares(per_run, [](const region_time& t) { return t.lock; }));
  overhead = share_of(shares(per_run, [](const region_time& t) { return t.overhead; }));
}

region_time plus(region_time a, const region_time& b) {
  a.work += b.work;
  a.barrier += b.barrier;
  a.lock += b.lock;
  a.overhead += b.overhead;
  return a;
}

// The slowest thread's work over the mean thread's.
double imbalance_of(const recorded_region& region) {
  double slowest = 0;
  double sum = 0;
  int team = 0;
  for (const region_time& thread : region.threads) {
    if (total(thread) <= 0) continue;
    slowest = std::max(slowest, thread.work);
    sum += thread.work;
    ++team;
  }
  return team > 0 && sum > 0 ? slowest / (sum / team) : -1;
}

std::string percent(double share) { return printed("%.0f%%", 100 * share); }

std::string bracketed(const share_figure& share) {
  return printed("%s [%.0f, %.0f]", percent(share.median).c_str(), 100 * share.low, 100 * share.high);
}

// One case's figures from its runs.
case_regions figures_of(const run_case& c, const std::vector<const region_run*>& runs) {
  case_regions out;
  out.c = c;
  out.runs = static_cast<int>(runs.size());
  std::vector<region_time> whole;                                       // per recorded run
  std::map<std::string, std::vector<const recorded_region*>> by_place;  // per region, one per run at most
  std::vector<double> seconds;
  std::vector<double> tool_shares;
  std::vector<double> costs;
  for (const region_run* run : runs) {
    if (!run->problem.empty()) {
      if (out.problem.empty()) out.problem = run->problem;
      continue;
    }
    ++out.recorded;
    if (run->seconds >= 0) seconds.push_back(run->seconds);
    region_time sum;
    long long events = 0;
    for (const recorded_region& region : run->regions) {
      sum = plus(sum, team_time(region));
      events += region.events;
      by_place[region.where].push_back(&region);
    }
    whole.push_back(sum);
    if (run->ns_per_event >= 0) costs.push_back(run->ns_per_event);
    if (total(sum) > 0 && run->ns_per_event >= 0) tool_shares.push_back(events * run->ns_per_event * 1e-9 / total(sum));
  }
  out.seconds_under_tool = median_of(seconds);
  out.tool_share = median_of(tool_shares);
  out.ns_per_event = median_of(costs);
  if (out.recorded == 0) return out;
  out.coverage = median_interval(std::vector<double>(static_cast<std::size_t>(out.recorded), 0.0)).coverage;
  set_shares(whole, out.work, out.barrier, out.lock, out.overhead);

  for (const auto& [where, seen] : by_place) {
    region_figure figure;
    figure.where = where;
    std::vector<region_time> per_run;
    std::vector<double> instances;
    std::vector<double> lost;
    std::vector<double> team_seconds;
    std::vector<double> imbalance;
    for (const recorded_region* region : seen) {
      const region_time time = team_time(*region);
      per_run.push_back(time);
      instances.push_back(static_cast<double>(region->instances));
      lost.push_back(total(time) - time.work);
      team_seconds.push_back(total(time));
      if (const double ratio = imbalance_of(*region); ratio > 0) imbalance.push_back(ratio);
      figure.team = std::max(figure.team, region->team);
      if (figure.threads.size() < region->threads.size()) figure.threads.resize(region->threads.size());
      for (std::size_t k = 0; k < region->threads.size(); ++k)
        figure.threads[k] = plus(figure.threads[k], region->threads[k]);
    }
    for (region_time& thread : figure.threads) {
      const double runs_seen = static_cast<double>(out.recorded);
      thread = {thread.work / runs_seen, thread.barrier / runs_seen, thread.lock / runs_seen,
                thread.overhead / runs_seen};
    }
    // A region absent from a run lost nothing in it.
    lost.resize(static_cast<std::size_t>(out.recorded), 0.0);
    set_shares(per_run, figure.work, figure.barrier, figure.lock, figure.overhead);
    figure.instances = static_cast<long long>(median_of(instances));
    figure.lost_seconds = median_of(lost);
    figure.team_seconds = median_of(team_seconds);
    figure.imbalance = median_of(imbalance);
    out.regions.push_back(figure);
  }
  std::stable_sort(out.regions.begin(), out.regions.end(),
                   [](const region_figure& a, const region_figure& b) { return a.lost_seconds > b.lost_seconds; });
  if (out.regions.size() > kShownRegions) out.regions.resize(kShownRegions);

  // The largest part lost in the region that loses the most, over each run's whole team time.
  const std::string& worst = out.regions.front().where;
  const std::pair<const char*, double region_time::*> parts[] = {
      {"barrier", &region_time::barrier}, {"lock", &region_time::lock}, {"overhead", &region_time::overhead}};
  for (const auto& [kind, member] : parts) {
    std::vector<double> values;
    for (const region_run* run : runs) {
      if (!run->problem.empty()) continue;
      double part = 0;
      double sum = 0;
      for (const recorded_region& region : run->regions) {
        const region_time time = team_time(region);
        sum += total(time);
        if (region.where == worst) part += time.*member;
      }
      if (sum > 0) values.push_back(part / sum);
    }
    const share_figure share = share_of(values);
    if (out.loss_kind.empty() || share.median > out.loss.median) {
      out.loss_kind = kind;
      out.loss = share;
    }
  }
  out.loss_where = worst;
  return out;
}

}  // namespace

std::string region_sentence(const run_plan& plan, const case_regions& figures) {
  const std::string name = case_name(plan, figures.c);
  if (figures.recorded == 0) return name + ": no region figures: " + figures.problem + ".";
  std::string text;
  if (figures.loss_kind.empty() || figures.loss.low < kNotableShare) {
    text = name + ": " + bracketed(figures.work) + " of the team's time is work; no region loses " +
           percent(kNotableShare) + " of it for certain";
  } else {
    const std::string what = figures.loss_kind == "barrier" ? "waits at the barriers of the region at "
                             : figures.loss_kind == "lock"  ? "waits for locks and critical sections in the region at "
                                                            : "goes to forking and joining the region at ";
    text = name + ": " + bracketed(figures.loss) + " of the team's time " + what + figures.loss_where;
  }
  // The imbalance of the region named, or where none is, of the one with the most team time.
  const auto heaviest =
      std::max_element(figures.regions.begin(), figures.regions.end(),
                       [](const region_figure& a, const region_figure& b) { return a.team_seconds < b.team_seconds; });
  const bool named = !figures.loss_kind.empty() && figures.loss.low >= kNotableShare;
  const auto described = named ? std::find_if(figures.regions.begin(), figures.regions.end(),
                                              [&](const region_figure& r) { return r.where == figures.loss_where; })
                               : heaviest;
  if (described != figures.regions.end() && described->imbalance > 0 && described->team > 1) {
    text += printed(named ? "; its slowest thread works %.2fx the mean"
                          : "; the heaviest region's slowest thread "
                            "works %.2fx the mean",
                    described->imbalance);
  }
  if (figures.tool_share >= kNotableShare)
    text += "; the tool's own events took about " + percent(figures.tool_share) + " of it";
  if (figures.coverage < kConfidence)
    text += printed(" (%d runs: the intervals cover %.0f%%, not 95%%)", figures.recorded, 100 * figures.coverage);
  return text + ".";
}

share_figure share_of(const std::vector<double>& values) {
  if (values.empty()) return {};
  const interval ci = median_interval(values);
  return {summarise(values).median, ci.low, ci.high};
}

std::vector<double> waiting_shares(const std::vector<region_run>& runs, const run_case& c, const std::string& where) {
  std::vector<double> values;
  for (const region_run& run : runs) {
    if (!same_case(run.c, c) || !run.problem.empty()) continue;
    region_time sum;
    for (const recorded_region& region : run.regions) {
      if (region.where == where) sum = plus(sum, team_time(region));
    }
    if (total(sum) > 0) values.push_back((sum.barrier + sum.lock) / total(sum));
  }
  return values;
}

compared_region compared_region_of(const std::string& name, const std::vector<double>& base,
                                   const std::vector<double>& now) {
  compared_region out{name, share_of(base), share_of(now), mann_whitney_p(now, base), "cannot tell", "", ""};
  const double coverage = std::min(median_interval(base).coverage, median_interval(now).coverage);
  if (base.empty() || now.empty()) {
    out.why = "a side has no recorded run";
  } else if (coverage < kConfidence) {
    out.why = printed("too few runs for 95%% intervals (%zu and %zu)", base.size(), now.size());
  } else if (out.p_value < kAlpha && (out.now.low > out.base.high || out.now.high < out.base.low)) {
    out.verdict = out.now.median > out.base.median ? "more waiting" : "less waiting";
  } else if (out.p_value < kAlpha) {
    out.why = printed("the intervals overlap though the U test (p = %.2g) sees a difference", out.p_value);
  } else {
    out.verdict = "no measurable difference";
  }
  out.sentence = name + ": waiting " + bracketed(out.base) + " in the base, " + bracketed(out.now) +
                 " in the new run: " + out.verdict + (out.why.empty() ? "" : " (" + out.why + ")") + ".";
  return out;
}

std::string runtime_of(const run_plan& plan, const run_facts& facts, const run_case& c) {
  const std::string& build = plan.settings[static_cast<std::size_t>(c.setting)].build;
  const std::string program(c.program->name);
  for (const build_facts& of : facts.builds) {
    if (of.name != build) continue;
    // "libgomp for calibrate sum_walltime; none for sum_baseline_serial"
    for (std::size_t begin = 0; begin < of.runtimes.size();) {
      const std::size_t end = std::min(of.runtimes.find("; ", begin), of.runtimes.size());
      const std::string part = of.runtimes.substr(begin, end - begin);
      const std::size_t at = part.find(" for ");
      if (at != std::string::npos && (part.substr(at + 4) + " ").find(" " + program + " ") != std::string::npos)
        return part.substr(0, at);
      begin = end + 2;
    }
  }
  return {};
}

std::vector<case_regions> region_figures(const run_plan& plan, const std::vector<region_run>& runs,
                                         const std::vector<case_stats>& timed, const run_facts& facts) {
  std::vector<case_regions> out;
  for (const run_case& c : plan.cases) {
    std::vector<const region_run*> of_case;
    for (const region_run& run : runs) {
      if (same_case(run.c, c)) of_case.push_back(&run);
    }
    if (of_case.empty()) continue;
    case_regions figures = figures_of(c, of_case);
    if (const case_stats* stats = find_case(timed, *c.program, c.threads, c.setting))
      figures.timed_seconds = stats->wall.median;
    figures.timed_runtime = runtime_of(plan, facts, c);
    figures.sentence = region_sentence(plan, figures);
    out.push_back(figures);
  }
  return out;
}

}  // namespace omp_sums
