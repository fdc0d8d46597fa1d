// The console's header: the machine, the settings, the builds, the sizes and the plan, printed
// before the runs.
#include <algorithm>

#include "tools/analysis/cache_levels.hpp"
#include "tools/catalog/text.hpp"
#include "tools/report/console.hpp"

namespace omp_sums {

std::vector<std::string> command_lines(const run_plan& plan) {
  std::vector<std::string> lines;
  if (!plan.commands) return lines;
  for (const command_program& command : *plan.commands) {
    const command_wanted& wanted = command.wanted;
    lines.push_back(wanted.name + ": " + (wanted.shell ? "/bin/sh -c " : "") + wanted.line + "; its time " +
                    (wanted.time_regex.empty() ? "from a line seconds=, else the process's wall time"
                                               : "from what --time-regex '" + wanted.time_regex + "' matches") +
                    (wanted.expect.empty() ? "" : "; valid when a line matches --expect '" + wanted.expect + "'") +
                    (wanted.expect_exit != 0 ? printed("; valid when it exits with %d", wanted.expect_exit) : ""));
  }
  return lines;
}

std::string settings_text(const report& r) {
  std::vector<std::string> settings = r.facts.runtime_settings;
  for (std::string& setting : settings) {
    if (setting.rfind("OMP_NUM_THREADS=", 0) == 0) setting += " (replaced by each case's team size)";
  }
  // What --env sweeps, each variable with its values in the order given.
  std::vector<std::pair<std::string, std::vector<std::string>>> swept;
  for (const setting& under : r.plan.settings) {
    for (const auto& [name, value] : under.env) {
      auto known =
          std::find_if(swept.begin(), swept.end(), [&, name = name](const auto& s) { return s.first == name; });
      if (known == swept.end()) known = swept.insert(swept.end(), {name, {}});
      if (std::find(known->second.begin(), known->second.end(), value) == known->second.end())
        known->second.push_back(value);
    }
  }
  std::vector<std::string> by_env;
  for (const auto& [name, values] : swept) by_env.push_back(name + "=" + joined(values, ","));
  const std::string swept_text = by_env.empty() ? "" : "; by --env, each case under " + joined(by_env, " and ");
  if (!settings.empty()) return joined(settings, " ") + swept_text;
  return std::string("no OMP_*, GOMP_* or KMP_* variable set") + (by_env.empty() ? "" : " by the caller") + swept_text +
         "; OMP_NUM_THREADS is set per case";
}

// Both can move or coarsen what first touch placed.
std::string kernel_pages_line(const run_facts& facts) {
  const std::string huge_pages = facts.transparent_huge_pages.empty()
                                     ? "transparent huge pages not said by this kernel"
                                     : "transparent huge pages " + facts.transparent_huge_pages;
  const std::string balancing = facts.numa_balancing < 0    ? "automatic NUMA balancing not said by this kernel"
                                : facts.numa_balancing == 1 ? "automatic NUMA balancing on"
                                                            : "automatic NUMA balancing off";
  return huge_pages + "; " + balancing;
}

std::vector<std::string> measured_facts(const report& r) {
  if (r.sweep.most_bytes == 0) return {};
  if (!r.sweep.problem.empty()) {
    return {"the read sweep failed (" + r.sweep.problem + "), so the sizes follow the caches the machine reports"};
  }
  std::vector<std::string> lines = refuted_lines(r.caches);
  lines.insert(lines.begin(), measured_line(r.caches));
  return lines;
}

std::string budget_fact(const report& r) {
  const budget_cut& budget = r.budget;
  if (budget.seconds == 0) return {};
  if (budget.full_seconds < 0)
    return printed("--budget %d s could not bound the plan: a probe failed, so nothing estimates it", budget.seconds);
  if (budget.cuts.empty())
    return printed("within --budget %d s, which bounds a plan left to sum_compare", budget.seconds);
  std::string line =
      printed("the full plan takes about %.0f s, past --budget %d s, so it was cut: ", budget.full_seconds,
              budget.seconds) +
      joined(budget.cuts, "; ");
  if (r.conditions.estimated_seconds > budget.seconds)
    line += printed("; still about %.0f s, which is as far as it cuts", r.conditions.estimated_seconds);
  return line + "; the full plan: " + budget.full_plan + " (or a larger --budget)";
}

namespace {

// A build's compiler and flags, the OpenMP runtime of each program, and where they lie.
std::string build_lines(const build_facts& build, std::size_t width) {
  const std::string label = build.name.empty() ? "build:" : "build " + build.name + ":";
  const std::string indent(13, ' ');
  const std::string column = label.size() < 13 ? label + std::string(13 - label.size(), ' ') : label + " ";
  std::string text =
      wrapped(column + build.compiler + (build.profiles.empty() ? "" : "; " + build.profiles), width, 13);
  if (!build.runtimes.empty()) text += wrapped(indent + "OpenMP runtime: " + build.runtimes, width, 13);
  return text + wrapped((build.name.empty() ? "programs:    " : indent + "programs in ") + build.bin, width, 13);
}

// The read sweep's lines, each on lines of its own under "measured:".
std::string measured_lines(const report& r, std::size_t width) {
  std::string text;
  for (const std::string& line : measured_facts(r))
    text += wrapped((text.empty() ? "measured:    " : "             ") + line, width, 13);
  return text;
}

// The array's size, or each of the sizes, with how it was chosen.
std::string sizes_lines(const report& r, std::size_t width) {
  const run_plan& plan = r.plan;
  const machine_topology& machine = r.machine;
  const char* caveat =
      r.caches.decides() ? "the caches as measured, where the reported ones proved false"
      : r.sweep.most_bytes > 0 && r.sweep.problem.empty()
          ? "the caches as the machine reports them, which the read sweep bears out"
          : "as the machine reports its caches; a virtual machine may report sizes its host does not have";
  const array_size& first = plan.sizes[0];
  if (plan.sizes.size() == 1 && first.level == 0 && first.name != "DRAM")
    return wrapped("array:       " + array_line(8LL * first.elements, machine), width, 13);
  const bool caches = machine.last_level > 0 || r.caches.decides();
  if (plan.sizes.size() == 1)
    return wrapped("array:       " + size_line(first, machine) + (caches ? printed(" (%s)", caveat) : ""), width, 13);
  std::string text;
  for (const array_size& size : plan.sizes) {
    text += wrapped((text.empty() ? "sizes:       " : "             ") + size_line(size, machine), width, 13);
  }
  return caches ? text + wrapped(printed("             (%s)", caveat), width, 13) : text;
}

std::string budget_lines(const report& r, std::size_t width) {
  const std::string budget = budget_fact(r);
  if (budget.empty()) return {};
  return wrapped((r.budget.cuts.empty() ? "             " : "budget:      ") + budget, width, 13);
}

}  // namespace

std::string console_header(const report& r, std::size_t width) {
  const run_plan& plan = r.plan;
  std::vector<std::string> teams;
  for (int t : plan.threads) teams.push_back(std::to_string(t));
  std::string text = wrapped(printed("sum_compare: %s%s, %d measured runs per case after one warm-up, threads %s",
                                     plan.sizes.size() == 1 ? "" : "sizes ", sizes_text(plan.sizes).c_str(),
                                     plan.rounds - 1, joined(teams, ",").c_str()),
                             width, 13);
  text += wrapped("host:        " + r.facts.host, width, 13);
  text += wrapped(
      "processor:   " + r.facts.processor +
          printed(", %d online; this process may use %zu: ", r.facts.processors_online, r.machine.allowed.size()) +
          processor_list(r.machine.allowed),
      width, 13);
  text += wrapped("topology:    " + topology_line(r.machine) +
                      (r.machine.this_system ? "" : " (not this machine's: given to hwloc, e.g. by HWLOC_SYNTHETIC)"),
                  width, 13);
  if (const std::vector<std::string> kinds = usable_kinds(r.machine); !kinds.empty())
    text += wrapped("core kinds:  " + joined(kinds, "; "), width, 13);
  if (r.machine.numa_nodes >= 2) text += wrapped("pages:       " + kernel_pages_line(r.facts), width, 13);
  text += wrapped("caches:      " + caches_line(r.machine), width, 13);
  text += wrapped("clock:       " + (clock_line(r.facts.clock).empty()
                                         ? std::string("not shown by this kernel (no cpufreq); an add's CPU time "
                                                       "across team sizes stands in for it")
                                         : clock_line(r.facts.clock)),
                  width, 13);
  text += measured_lines(r, width);
  text += sizes_lines(r, width);
  text += wrapped("settings:    " + settings_text(r), width, 13);
  // A command of the caller's may read any setting.
  if (!plan.settings.empty() && (!plan.commands || plan.commands->empty())) {
    for (const auto& [name, value] : plan.settings[0].env) {
      const std::string_view why = why_unread(name);
      if (!why.empty())
        text += wrapped("             --env " + name + " cannot change them: " + std::string(why), width, 13);
    }
  }
  for (const build_facts& build : r.facts.builds) text += build_lines(build, width);
  for (const std::string& command : command_lines(plan)) text += wrapped("command:     " + command, width, 13);
  const std::string estimate =
      r.conditions.estimated_seconds >= 0
          ? printed("about %.0f s by an estimate from probe runs", r.conditions.estimated_seconds)
          : std::string(r.conditions.commands_unprobed ? "no estimate of its time (--dry-run runs no --command)"
                                                       : "no estimate of its time");
  text += wrapped(printed("plan:        %zu cases (the calibration on each team size among them), %lld runs, %s; each "
                          "run at most %d s",
                          plan.cases.size(), planned_runs(plan), estimate.c_str(), plan.timeout_seconds),
                  width, 13);
  text += budget_lines(r, width);
  if (std::any_of(plan.cases.begin(), plan.cases.end(), [](const run_case& c) { return !c.program->on_team; })) {
    text += wrapped("             sum_baseline_serial runs on one thread only, as the serial reference", width, 13);
  }
  if (plan.precision > 0) {
    text += wrapped(printed("             then rounds are added until every case's median interval lies within %g%% of "
                            "its median, for %d s at most",
                            plan.precision * 100, plan.max_seconds),
                    width, 13);
  }
  if (plan.settings.size() > 1) {
    std::string line = printed("             every case under each of %zu settings:", plan.settings.size());
    for (const setting& under : plan.settings) line += " [" + setting_label(under) + "]";
    text += wrapped(line, width, 13);
  }
  if (r.conditions.load_before >= 0) {
    text += wrapped(printed("load:        %.2f over the minute before the run, on %zu usable processors",
                            r.conditions.load_before, r.machine.allowed.size()),
                    width, 13);
  }
  return text + "\n";
}

}  // namespace omp_sums
