#include "tools/analysis/comparison.hpp"

#include <algorithm>

#include "tools/analysis/cache_levels.hpp"
#include "tools/analysis/ratios.hpp"
#include "tools/catalog/text.hpp"

namespace omp_sums {

namespace {

// The items a blank apart, or "none".
std::string listed(const std::vector<std::string>& items) { return items.empty() ? "none" : joined(items, " "); }

std::string numbers(const std::vector<int>& values) {
  std::string text;
  for (int value : values) text += (text.empty() ? "" : ",") + std::to_string(value);
  return text;
}

std::vector<std::string> env_labels(const run_plan& plan) {
  std::vector<std::string> labels;
  for (const setting& under : plan.settings) {
    const std::string label = "[" + setting_label({"", "", under.env}) + "]";
    if (std::find(labels.begin(), labels.end(), label) == labels.end()) labels.push_back(label);
  }
  return labels;
}

std::string build_text(const build_facts& build) {
  return (build.name.empty() ? "" : build.name + ": ") + build.compiler + "; " + build.profiles +
         "; OpenMP runtime: " + build.runtimes + "; in " + build.bin;
}

std::string builds_text(const run_facts& facts) {
  std::string text;
  for (const build_facts& build : facts.builds) text += (text.empty() ? "" : " | ") + build_text(build);
  return text;
}

// A case of the new run matches one of the base run when both ran under the same --env values
// at the size of the same name (the one size of each, where each has one) from corresponding
// builds: of the same name, or of the same programs' directory (so that a default run's build
// matches the --build that names its directory).
bool same_conditions(const run_plan& base, int base_setting, const run_plan& now, int now_setting) {
  const setting& a = base.settings[static_cast<std::size_t>(base_setting)];
  const setting& b = now.settings[static_cast<std::size_t>(now_setting)];
  return a.env == b.env && a.size == b.size &&
         (a.build == b.build || build_named(base, a.build).bin == build_named(now, b.build).bin);
}

// "L2 65536, DRAM 10000000", or the one size's count.
std::string sizes_with_elements(const run_plan& plan) {
  if (plan.sizes.size() == 1) return std::to_string(plan.sizes[0].elements);
  std::vector<std::string> sizes;
  for (const array_size& size : plan.sizes) sizes.push_back(size.name + " " + std::to_string(size.elements));
  return joined(sizes, ", ");
}

std::string label_of(const run_plan& plan, int setting) {
  return setting_label(plan.settings[static_cast<std::size_t>(setting)]);
}

std::string with_setting(const std::string& name, const std::string& label) {
  return label.empty() ? name : name + " under " + label;
}

// "the base", "the new run" or "both runs" for the sides marked, or "".
std::string sides(bool base, bool now) {
  return base && now ? "both runs" : base ? "the base" : now ? "the new run" : "";
}

// The verdict of a ratio of the new values over the base ones: the interval and the U test agree.
// A side the scheduler held (a floor marked !, a time-shared case) backs no verdict. MARKED says
// how such a side is marked.
compared_figure figure_of(std::string name, bool floor, const std::vector<double>& base, const std::vector<double>& now,
                          const std::string& marked) {
  const ratio_figure ratio = ratio_of(now, base);
  compared_figure figure{std::move(name), floor,    summarise(base).median,    summarise(now).median,
                         ratio.ratio,     ratio.ci, mann_whitney_p(now, base), "cannot tell"};
  const reading reads = read_against(ratio, 1);
  if (!marked.empty()) {
    figure.why = marked;
  } else if (reads == reading::above || reads == reading::below) {
    if (figure.p_value < kAlpha) {
      figure.verdict = reads == reading::above ? (floor ? "higher" : "slower") : (floor ? "lower" : "faster");
    } else {
      figure.why = printed("the interval and the U test (p = %.2g) disagree", figure.p_value);
    }
  } else if (reads == reading::level) {
    figure.verdict = "no measurable difference";
  } else if (reads == reading::too_small) {
    figure.verdict = "less than 1% apart";
  } else {
    figure.why = why_untold(ratio);
  }
  return figure;
}

}  // namespace

std::vector<std::string> run_differences(const report& base, const report& now) {
  std::vector<std::string> said;
  const auto differ = [&](const char* what, const std::string& a, const std::string& b) {
    if (a != b) said.push_back(std::string(what) + ": " + a + " -> " + b);
  };
  differ("processor", base.facts.processor, now.facts.processor);
  differ("processors online", std::to_string(base.facts.processors_online),
         std::to_string(now.facts.processors_online));
  differ("processors this process may use", processor_list(base.machine.allowed), processor_list(now.machine.allowed));
  differ("topology", topology_line(base.machine), topology_line(now.machine));
  differ("caches", caches_line(base.machine), caches_line(now.machine));
  differ("host", base.facts.host, now.facts.host);
  // What the sizes followed: a speed measured twice differs by noise alone.
  differ("caches the sizes follow", listed(refuted_lines(base.caches)), listed(refuted_lines(now.caches)));
  differ("builds", builds_text(base.facts), builds_text(now.facts));
  differ("runtime settings", listed(base.facts.runtime_settings), listed(now.facts.runtime_settings));
  differ("--env settings", listed(env_labels(base.plan)), listed(env_labels(now.plan)));
  differ(base.plan.sizes.size() == 1 && now.plan.sizes.size() == 1 ? "elements" : "sizes",
         sizes_with_elements(base.plan), sizes_with_elements(now.plan));
  const auto commands = [](const run_plan& plan) {
    std::vector<std::string> lines;
    if (plan.commands) {
      for (const command_program& command : *plan.commands)
        lines.push_back(command.wanted.name + "='" + command.wanted.line + "'" +
                        (command.wanted.shell ? " (--shell)" : ""));
    }
    return lines;
  };
  differ("commands", listed(commands(base.plan)), listed(commands(now.plan)));
  differ("measured runs per case", std::to_string(base.plan.rounds - 1), std::to_string(now.plan.rounds - 1));
  differ("threads", numbers(base.plan.threads), numbers(now.plan.threads));
  return said;
}

std::vector<compared_figure> compare_figures(const report& base, const report& now) {
  std::vector<compared_figure> compared;
  for (const case_stats& c : base.measured.cases) {
    const std::string label = label_of(base.plan, c.c.setting);
    for (const case_stats& other : now.measured.cases) {
      // By name: a command is the same case in two files when it has the same name.
      if (other.c.program->name != c.c.program->name || other.c.threads != c.c.threads ||
          !same_conditions(base.plan, c.c.setting, now.plan, other.c.setting)) {
        continue;
      }
      const std::string name = printed("%s on %d thread%s", std::string(c.c.program->name).c_str(), c.c.threads,
                                       c.c.threads == 1 ? "" : "s");
      const std::string held = sides(c.time_shared, other.time_shared);
      compared.push_back(figure_of(with_setting(name, label), false, c.walls, other.walls,
                                   held.empty() ? "" : "time-shared in " + held));
    }
  }
  for (const floor_stats& f : base.measured.floors) {
    const std::string label = label_of(base.plan, f.setting);
    for (const floor_stats& other : now.measured.floors) {
      if (other.kind != f.kind || other.threads != f.threads ||
          !same_conditions(base.plan, f.setting, now.plan, other.setting)) {
        continue;
      }
      const std::string name = printed("%s on %d thread%s", std::string(describe(f.kind).label).c_str(), f.threads,
                                       f.threads == 1 ? "" : "s");
      const std::string held = sides(f.scheduled, other.scheduled);
      compared.push_back(figure_of(with_setting(name, label), true, f.values, other.values,
                                   held.empty() ? "" : "marked ! in " + held + ": the scheduler's"));
    }
  }
  return compared;
}

// The regions that the same case recorded on both sides, by where they lie.
std::vector<compared_region> compare_region_figures(const report& base, const report& now) {
  std::vector<compared_region> compared;
  for (const case_regions& b : base.regions) {
    for (const case_regions& n : now.regions) {
      if (b.c.program->name != n.c.program->name || b.c.threads != n.c.threads ||
          !same_conditions(base.plan, b.c.setting, now.plan, n.c.setting)) {
        continue;
      }
      for (const region_figure& region : b.regions) {
        const bool in_both = std::any_of(n.regions.begin(), n.regions.end(),
                                         [&](const region_figure& other) { return other.where == region.where; });
        if (!in_both) continue;
        compared.push_back(compared_region_of(case_name(base.plan, b.c) + " at " + region.where,
                                              waiting_shares(base.region_runs, b.c, region.where),
                                              waiting_shares(now.region_runs, n.c, region.where)));
      }
    }
  }
  return compared;
}

bool called(const compared_figure& figure) {
  return figure.verdict == "faster" || figure.verdict == "slower" || figure.verdict == "higher" ||
         figure.verdict == "lower";
}

std::vector<const compared_figure*> slower_than(const std::vector<compared_figure>& compared, double fraction) {
  std::vector<const compared_figure*> slower;
  for (const compared_figure& figure : compared) {
    if (!figure.floor && figure.verdict == "slower" && figure.ci.low > 1 + fraction) slower.push_back(&figure);
  }
  return slower;
}

namespace {

// "the settings [OMP_PROC_BIND=close] [OMP_PROC_BIND=spread] from the default build (DIR)".
std::string settings_and_builds(const report& r) {
  const std::vector<std::string> labels = env_labels(r.plan);
  std::string text = labels.size() == 1 && labels[0] == "[]" ? "no --env setting" : "the settings " + listed(labels);
  std::string builds;
  for (const build_facts& build : r.facts.builds) {
    builds += (builds.empty() ? "" : ", ") +
              (build.name.empty() ? std::string("the default build") : "build " + build.name) + " (" + build.bin + ")";
  }
  return text + " from " + builds;
}

// "1000 elements", "sizes L2, DRAM".
std::string sizes_of(const run_plan& plan) { return (plan.sizes.size() > 1 ? "sizes " : "") + sizes_text(plan.sizes); }

// What two runs that share no case would have to share.
std::string how_to_pair(const report& base, const report& now) {
  std::vector<std::string> same;
  if (env_labels(base.plan) != env_labels(now.plan)) same.push_back("--env values");
  const bool threads_shared = std::any_of(base.plan.threads.begin(), base.plan.threads.end(), [&](int threads) {
    return std::find(now.plan.threads.begin(), now.plan.threads.end(), threads) != now.plan.threads.end();
  });
  if (!threads_shared) same.push_back("team size in --threads");
  if (sizes_of(base.plan) != sizes_of(now.plan)) same.push_back("--size");
  std::string text =
      "To pair them, run both with the same " + (same.empty() ? std::string("build") : joined(same, ", ")) + ".";
  if (env_labels(base.plan) != env_labels(now.plan)) {
    text += " To set settings side by side, give them all to one run (--env NAME=A,B): its headlines compare them.";
  }
  return text;
}

}  // namespace

comparison comparison_of(const std::string& base_path, const std::string& new_path, const report& base,
                         const report& now) {
  comparison result{
      base_path,    new_path,    run_differences(base, now), compare_figures(base, now), {}, base.facts, now.facts,
      base.machine, now.machine, base.plan.rounds - 1,       now.plan.rounds - 1};
  if (result.compared.empty()) {
    result.note =
        "No case or floor ran on the same team size under the same settings and build in both runs, so "
        "nothing can be compared: the base ran " +
        settings_and_builds(base) + " on threads " + numbers(base.plan.threads) + "; the new one ran " +
        settings_and_builds(now) + " on threads " + numbers(now.plan.threads) + ".";
    // Sizes match by name: one size matches one size, whatever its count.
    if (sizes_of(base.plan) != sizes_of(now.plan) && (base.plan.sizes.size() > 1 || now.plan.sizes.size() > 1)) {
      result.note += " The base ran at " + sizes_of(base.plan) + ", the new one at " + sizes_of(now.plan) +
                     ", and a case matches only at a size of the same name.";
    }
    result.note += " " + how_to_pair(base, now);
  }
  result.regions = compare_region_figures(base, now);
  // Each side's notes against all it measured travel with it: load, an emulator, failed runs.
  for (const auto& [side, r] : {std::pair{"The base run: ", &base}, {"The new run: ", &now}}) {
    for (const trust_note& note : r->judged.notes) {
      if (note.every) result.carried.push_back({side + lowered_first(note.text), {}, true});
    }
  }
  return result;
}

}  // namespace omp_sums
