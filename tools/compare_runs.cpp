#include "tools/compare_runs.hpp"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "tools/machine_facts.hpp"
#include "tools/program_output.hpp"
#include "tools/ratios.hpp"
#include "tools/report_console.hpp"
#include "tools/report_json.hpp"
#include "tools/text_formats.hpp"

namespace {

std::string joined(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : " ") + item;
  return text.empty() ? "none" : text;
}

std::string numbers(const std::vector<int>& values) {
  std::string text;
  for (int value : values) text += (text.empty() ? "" : ",") + std::to_string(value);
  return text;
}

std::vector<std::string> env_labels(const run_plan& plan) {
  std::vector<std::string> labels;
  for (const setting& under : plan.settings) {
    const std::string label = "[" + setting_label({"", under.env}) + "]";
    if (std::find(labels.begin(), labels.end(), label) == labels.end()) labels.push_back(label);
  }
  return labels;
}

std::string build_text(const build_facts& build) {
  return (build.name.empty() ? "" : build.name + ": ") + build.compiler + "; " + build.profiles + "; OpenMP runtime: " +
         build.runtimes + "; in " + build.bin;
}

std::string builds_text(const run_facts& facts) {
  std::string text;
  for (const build_facts& build : facts.builds) text += (text.empty() ? "" : " | ") + build_text(build);
  return text;
}

// A case of the new run matches one of the base run when both ran under the same --env values
// from corresponding builds: of the same name, or of the same programs' directory (so that a
// default run's build matches the --build that names its directory).
bool same_conditions(const run_plan& base, int base_setting, const run_plan& now, int now_setting) {
  const setting& a = base.settings[static_cast<std::size_t>(base_setting)];
  const setting& b = now.settings[static_cast<std::size_t>(now_setting)];
  return a.env == b.env && (a.build == b.build || build_named(base, a.build).bin == build_named(now, b.build).bin);
}

std::string label_of(const run_plan& plan, int setting) {
  return setting_label(plan.settings[static_cast<std::size_t>(setting)]);
}

std::string with_setting(const std::string& name, const std::string& label) {
  return label.empty() ? name : name + " under " + label;
}

// The verdict of a ratio of the new values over the base ones: the interval and the U test agree.
compared_figure figure_of(std::string name, bool floor, const std::vector<double>& base, const std::vector<double>& now) {
  const ratio_figure ratio = ratio_of(now, base);
  compared_figure figure{std::move(name), floor, summarise(base).median, summarise(now).median, ratio.ratio, ratio.ci,
                         mann_whitney_p(now, base), "no measurable difference"};
  if (figure.p_value < 0.05 && above(ratio, 1)) figure.verdict = floor ? "higher" : "slower";
  if (figure.p_value < 0.05 && below(ratio, 1)) figure.verdict = floor ? "lower" : "faster";
  return figure;
}

}  // namespace

std::vector<std::string> run_differences(const report& base, const report& now) {
  std::vector<std::string> said;
  const auto differ = [&](const char* what, const std::string& a, const std::string& b) {
    if (a != b) said.push_back(std::string(what) + ": " + a + " -> " + b);
  };
  differ("processor", base.facts.processor, now.facts.processor);
  differ("processors online", std::to_string(base.facts.processors_online), std::to_string(now.facts.processors_online));
  differ("processors this process may use", processor_list(base.machine.allowed), processor_list(now.machine.allowed));
  differ("topology", topology_line(base.machine), topology_line(now.machine));
  differ("caches", caches_line(base.machine), caches_line(now.machine));
  differ("host", base.facts.host, now.facts.host);
  differ("builds", builds_text(base.facts), builds_text(now.facts));
  differ("runtime settings", joined(base.facts.runtime_settings), joined(now.facts.runtime_settings));
  differ("--env settings", joined(env_labels(base.plan)), joined(env_labels(now.plan)));
  differ("elements", std::to_string(base.plan.size), std::to_string(now.plan.size));
  differ("measured runs per case", std::to_string(base.plan.rounds - 1), std::to_string(now.plan.rounds - 1));
  differ("threads", numbers(base.plan.threads), numbers(now.plan.threads));
  return said;
}

std::vector<compared_figure> compare_figures(const report& base, const report& now) {
  std::vector<compared_figure> compared;
  for (const case_stats& c : base.measured.cases) {
    const std::string label = label_of(base.plan, c.c.setting);
    for (const case_stats& other : now.measured.cases) {
      if (other.c.program != c.c.program || other.c.threads != c.c.threads ||
          !same_conditions(base.plan, c.c.setting, now.plan, other.c.setting)) {
        continue;
      }
      const std::string name = printed("%s on %d thread%s", std::string(c.c.program->name).c_str(), c.c.threads,
                                       c.c.threads == 1 ? "" : "s");
      compared.push_back(figure_of(with_setting(name, label), false, c.walls, other.walls));
    }
  }
  for (const floor_stats& f : base.measured.floors) {
    const std::string label = label_of(base.plan, f.setting);
    for (const floor_stats& other : now.measured.floors) {
      if (other.kind != f.kind || other.threads != f.threads || !same_conditions(base.plan, f.setting, now.plan, other.setting)) {
        continue;
      }
      const std::string name = printed("%s on %d thread%s", std::string(describe(f.kind).label).c_str(), f.threads,
                                       f.threads == 1 ? "" : "s");
      compared.push_back(figure_of(with_setting(name, label), true, f.values, other.values));
    }
  }
  return compared;
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
  std::string text = labels.size() == 1 && labels[0] == "[]" ? "no --env setting" : "the settings " + joined(labels);
  std::string builds;
  for (const build_facts& build : r.facts.builds) {
    builds += (builds.empty() ? "" : ", ") + (build.name.empty() ? std::string("the default build") : "build " + build.name) +
              " (" + build.bin + ")";
  }
  return text + " from " + builds;
}

}  // namespace

comparison compare_reports(const std::string& base_path, const std::string& new_path, const report& base,
                           const report& now) {
  comparison result{base_path, new_path, run_differences(base, now), compare_figures(base, now), {}};
  if (result.compared.empty()) {
    result.note = "No case or floor ran on the same team size under the same settings and build in both runs, so "
                  "nothing can be compared: the base ran " + settings_and_builds(base) + " on threads " +
                  numbers(base.plan.threads) + "; the new one ran " + settings_and_builds(now) + " on threads " +
                  numbers(now.plan.threads) + ".";
  }
  return result;
}

void print_comparison(const comparison& compared_runs) {
  const std::vector<std::string>& differences = compared_runs.differences;
  const std::vector<compared_figure>& compared = compared_runs.compared;
  say(terminal_line(printed("sum_compare: %s (new) against %s (base)", compared_runs.new_path.c_str(),
                            compared_runs.base_path.c_str())) + "\n");
  std::printf("differences:%s\n", differences.empty() ? " none in machine, build, settings, size or repeats" : "");
  for (const std::string& difference : differences) say("  " + terminal_line(difference) + "\n");
  std::printf("\n%-52s %12s %12s %9s %-18s %9s  %s\n", "case or floor", "base median", "new median", "new/base",
              "  95% interval", "p (U test)", "verdict");
  for (const compared_figure& figure : compared) {
    const bool has = std::isfinite(figure.ratio) && std::isfinite(figure.ci.low);
    say(printed("%-52s %12.6g %12.6g %9s %-18s %9.3g  %s\n", terminal_line(figure.name).c_str(), figure.base_median, figure.new_median,
                has ? printed("%.3fx", figure.ratio).c_str() : "-",
                has ? printed("[%.3f, %.3f]", figure.ci.low, figure.ci.high).c_str() : "-", figure.p_value,
                figure.verdict.c_str()));
  }
  std::printf("(ratios of medians, new over base, with 95%% bootstrap intervals; a verdict needs both the interval "
              "and the\n Mann-Whitney U test, p < 0.05; floors are the calibration's, in their units)\n");
  if (!compared_runs.note.empty()) {
    std::printf("\n");
    print_wrapped(compared_runs.note, 100, 0);
  }
}

std::string comparison_json(const comparison& compared_runs) {
  using json = nlohmann::ordered_json;
  const auto number = [](double value) { return std::isfinite(value) ? json(value) : json(nullptr); };
  json out = {{"tool", "sum_compare"},
              {"schema_version", kJsonSchemaVersion},
              {"compare", {{"base", compared_runs.base_path}, {"new", compared_runs.new_path}}},
              {"differences", compared_runs.differences}};
  out["compared"] = json::array();
  for (const compared_figure& figure : compared_runs.compared) {
    out["compared"].push_back({{"name", figure.name},
                               {"floor", figure.floor},
                               {"base_median", figure.base_median},
                               {"new_median", figure.new_median},
                               {"ratio", number(figure.ratio)},
                               {"ci_low", number(figure.ci.low)},
                               {"ci_high", number(figure.ci.high)},
                               {"p_value", figure.p_value},
                               {"verdict", figure.verdict}});
  }
  return out.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}
