#include "tools/compare_runs.hpp"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "tools/machine_facts.hpp"
#include "tools/program_output.hpp"
#include "tools/ratios.hpp"

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

std::vector<std::string> setting_labels(const run_plan& plan) {
  std::vector<std::string> labels;
  for (const setting& under : plan.settings) labels.push_back("[" + setting_label(under) + "]");
  return labels;
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
  differ("compiler", base.facts.compiler, now.facts.compiler);
  differ("build", base.facts.profiles, now.facts.profiles);
  differ("programs", base.facts.bin, now.facts.bin);
  differ("runtime settings", joined(base.facts.runtime_settings), joined(now.facts.runtime_settings));
  differ("--env settings", joined(setting_labels(base.plan)), joined(setting_labels(now.plan)));
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
      if (other.c.program != c.c.program || other.c.threads != c.c.threads || label_of(now.plan, other.c.setting) != label) {
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
      if (other.kind != f.kind || other.threads != f.threads || label_of(now.plan, other.setting) != label) continue;
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

void print_comparison(const std::string& base_path, const std::string& new_path, const std::vector<std::string>& differences,
                      const std::vector<compared_figure>& compared) {
  std::printf("sum_compare: %s (new) against %s (base)\n", new_path.c_str(), base_path.c_str());
  std::printf("differences:%s\n", differences.empty() ? " none in machine, build, settings, size or repeats" : "");
  for (const std::string& difference : differences) std::printf("  %s\n", difference.c_str());
  std::printf("\n%-52s %12s %12s %9s %-18s %9s  %s\n", "case or floor", "base median", "new median", "new/base",
              "  95% interval", "p (U test)", "verdict");
  for (const compared_figure& figure : compared) {
    const bool has = std::isfinite(figure.ratio) && std::isfinite(figure.ci.low);
    std::printf("%-52s %12.6g %12.6g %9s %-18s %9.3g  %s\n", figure.name.c_str(), figure.base_median, figure.new_median,
                has ? printed("%.3fx", figure.ratio).c_str() : "-",
                has ? printed("[%.3f, %.3f]", figure.ci.low, figure.ci.high).c_str() : "-", figure.p_value,
                figure.verdict.c_str());
  }
  std::printf("(ratios of medians, new over base, with 95%% bootstrap intervals; a verdict needs both the interval "
              "and the\n Mann-Whitney U test, p < 0.05; floors are the calibration's, in their units)\n");
}

std::string comparison_json(const std::string& base_path, const std::string& new_path,
                            const std::vector<std::string>& differences, const std::vector<compared_figure>& compared) {
  using json = nlohmann::ordered_json;
  const auto number = [](double value) { return std::isfinite(value) ? json(value) : json(nullptr); };
  json out = {{"tool", "sum_compare"}, {"compare", {{"base", base_path}, {"new", new_path}}}, {"differences", differences}};
  out["compared"] = json::array();
  for (const compared_figure& figure : compared) {
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
  return out.dump(2) + "\n";
}
