#include "tools/merge_runs.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "tools/program_output.hpp"
#include "tools/ratios.hpp"
#include "tools/report_console.hpp"
#include "tools/report_json.hpp"
#include "tools/text_formats.hpp"

namespace {

std::string on_team(const std::string& what, int threads, const run_plan& plan, int setting) {
  const std::string label = setting_label(plan.settings[static_cast<std::size_t>(setting)]);
  return printed("%s on %d thread%s", what.c_str(), threads, threads == 1 ? "" : "s") + (label.empty() ? "" : " under " + label);
}

// Machine m's cell is slow where it is slower than every other machine that measured the figure,
// as a comparison of the two would say: more time, or less bandwidth.
void mark_slow(merged_figure& figure, bool higher_is_faster) {
  for (std::size_t m = 0; m < figure.cells.size(); ++m) {
    merged_cell& cell = figure.cells[m];
    if (!cell.measured) continue;
    int others = 0;
    bool slower_than_all = true;
    for (std::size_t o = 0; o < figure.cells.size(); ++o) {
      const merged_cell& other = figure.cells[o];
      if (o == m || !other.measured) continue;
      ++others;
      const ratio_figure ratio = ratio_of(cell.values, other.values);
      const bool slower = higher_is_faster ? below(ratio, 1) : above(ratio, 1);
      slower_than_all = slower_than_all && slower && mann_whitney_p(cell.values, other.values) < 0.05;
    }
    cell.slow = others > 0 && slower_than_all;
  }
}

}  // namespace

std::string merge_refusal(const std::vector<std::string>& paths, const std::vector<report>& runs) {
  for (std::size_t k = 1; k < runs.size(); ++k) {
    if (runs[k].plan.size != runs[0].plan.size) {
      return printed("%s ran %d elements, %s %d: a merge sets side by side runs of one size (give each machine the "
                     "same --size)", paths[0].c_str(), runs[0].plan.size, paths[k].c_str(), runs[k].plan.size);
    }
  }
  return {};
}

namespace {

// A column's name for each machine, no two alike: its host; where hosts repeat, the file's stem;
// where stems repeat too, the file's folder and stem; else a number added.
std::vector<std::string> machine_names(const std::vector<std::string>& paths, const std::vector<report>& runs) {
  std::vector<std::string> names;
  for (const report& r : runs) names.push_back(r.facts.host);
  const auto repeated = [&](std::size_t k) {
    return names[k].empty() || std::count(names.begin(), names.end(), names[k]) > 1;
  };
  const auto rename = [&](auto name_of) {
    std::vector<bool> clash(names.size());
    for (std::size_t k = 0; k < names.size(); ++k) clash[k] = repeated(k);
    for (std::size_t k = 0; k < names.size(); ++k) {
      if (clash[k]) names[k] = name_of(std::filesystem::path(paths[k]).lexically_normal());
    }
  };
  rename([](const std::filesystem::path& path) { return path.stem().string(); });
  rename([](const std::filesystem::path& path) { return (path.parent_path().filename() / path.stem()).string(); });
  rename([](const std::filesystem::path& path) { return (path.parent_path() / path.stem()).string(); });
  // The first of a name keeps it; each later one is numbered.
  for (std::size_t k = 0; k < names.size(); ++k) {
    const std::string base = names[k].empty() ? "machine" : names[k];
    const auto taken = [&] { return names[k].empty() || std::count(names.begin(), names.begin() + k, names[k]) > 0; };
    for (int n = 2; taken(); ++n) names[k] = base + " (" + std::to_string(n) + ")";
  }
  return names;
}

}  // namespace

merged_runs merge_runs(const std::vector<std::string>& paths, const std::vector<report>& runs) {
  merged_runs merged;
  const std::vector<std::string> names = machine_names(paths, runs);
  for (std::size_t k = 0; k < runs.size(); ++k) {
    merged.machines.push_back({names[k], paths[k], runs[k].facts.host, runs[k].facts.processor});
  }
  std::map<std::string, std::size_t> row_of;
  std::vector<bool> higher_is_faster;
  const auto cell_of = [&](const std::string& name, bool floor, const char* format, bool faster_up) -> std::vector<merged_cell>& {
    auto [at, added] = row_of.try_emplace(name, merged.figures.size());
    if (added) {
      merged.figures.push_back({name, floor, format, std::vector<merged_cell>(runs.size())});
      higher_is_faster.push_back(faster_up);
    }
    return merged.figures[at->second].cells;
  };
  for (std::size_t k = 0; k < runs.size(); ++k) {
    const report& r = runs[k];
    for (const case_stats& c : r.measured.cases) {
      cell_of(on_team(std::string(c.c.program->name), c.c.threads, r.plan, c.c.setting), false, "%.6f", false)[k] =
          {true, c.walls, c.wall.median, false};
    }
    for (const floor_stats& f : r.measured.floors) {
      const floor_description& floor = describe(f.kind);
      cell_of(on_team(std::string(floor.label), f.threads, r.plan, f.setting), true, floor.format, floor.as_bandwidth)[k] =
          {true, f.values, f.median, false};
    }
  }
  for (std::size_t row = 0; row < merged.figures.size(); ++row) {
    merged_figure& figure = merged.figures[row];
    mark_slow(figure, higher_is_faster[row]);
    const long measured = std::count_if(figure.cells.begin(), figure.cells.end(), [](const merged_cell& c) { return c.measured; });
    for (std::size_t k = 0; k < runs.size(); ++k) {
      if (!figure.cells[k].measured || measured < 2) continue;
      ++merged.machines[k].compared_figures;
      merged.machines[k].slow_figures += figure.cells[k].slow ? 1 : 0;
    }
  }
  for (merged_machine& machine : merged.machines) {
    machine.flagged = machine.compared_figures > 0 && 4 * machine.slow_figures >= machine.compared_figures;
  }
  // Figures that two machines share with runs enough for a 95% interval on both sides.
  const bool can_flag = std::any_of(merged.figures.begin(), merged.figures.end(), [](const merged_figure& figure) {
    return std::count_if(figure.cells.begin(), figure.cells.end(), [](const merged_cell& cell) {
             return cell.values.size() >= kFewestRunsToFlag;
           }) >= 2;
  });
  if (!can_flag) {
    merged.note = printed("No machine can be flagged from these runs: no figure has %zu or more runs on two machines, "
                          "and with fewer a side neither a 95%% interval of a median nor a U test at p < 0.05 can tell "
                          "the machines apart (run each machine with --repeat %zu or more).",
                          kFewestRunsToFlag, kFewestRunsToFlag);
  }
  return merged;
}

void print_merge(const merged_runs& merged) {
  std::printf("sum_compare: %zu machines side by side\n", merged.machines.size());
  for (const merged_machine& machine : merged.machines) {
    say(terminal_line(printed("  %-16s %s: %s, from %s", machine.name.c_str(), machine.host.c_str(),
                              machine.processor.c_str(), machine.path.c_str())) + "\n");
  }
  std::printf("\n%-58s", "case or floor (medians)");
  for (const merged_machine& machine : merged.machines) say(printed(" %14s", terminal_line(machine.name).substr(0, 14).c_str()));
  std::printf("\n");
  for (const merged_figure& figure : merged.figures) {
    say(printed("%-58s", terminal_line(figure.name).c_str()));
    for (const merged_cell& cell : figure.cells) {
      std::printf(" %14s", cell.measured ? (printed(figure.format, cell.median) + (cell.slow ? " !" : "  ")).c_str() : "-  ");
    }
    std::printf("\n");
  }
  std::printf("(! marks a machine slower than every other one: the ratio of medians has its 95%% bootstrap interval\n"
              " past 1, more time or less bandwidth, and the U test p < 0.05; cases in seconds, floors in their units)\n\n");
  bool any = false;
  for (const merged_machine& machine : merged.machines) {
    if (!machine.flagged) continue;
    any = true;
    print_wrapped(printed("Flagged: %s is slower than every other machine on %d of the %d figures it shares with them.",
                          machine.name.c_str(), machine.slow_figures, machine.compared_figures), 100, 2);
  }
  if (!merged.note.empty()) {
    print_wrapped(merged.note, 100, 0);
  } else if (!any) {
    std::printf("No machine is slower than all the others on a quarter of its figures or more.\n");
  }
}

std::string merge_json(const merged_runs& merged) {
  using json = nlohmann::ordered_json;
  json out = {{"tool", "sum_compare"}, {"schema_version", kJsonSchemaVersion}, {"machines", json::array()}, {"figures", json::array()}, {"flagged", json::array()}};
  for (const merged_machine& machine : merged.machines) {
    out["machines"].push_back({{"name", machine.name},
                               {"file", machine.path},
                               {"host", machine.host},
                               {"processor", machine.processor},
                               {"slow_figures", machine.slow_figures},
                               {"compared_figures", machine.compared_figures}});
    if (machine.flagged) out["flagged"].push_back(machine.name);
  }
  for (const merged_figure& figure : merged.figures) {
    json cells = json::object();
    for (std::size_t k = 0; k < figure.cells.size(); ++k) {
      const merged_cell& cell = figure.cells[k];
      cells[merged.machines[k].name] = cell.measured ? json{{"median", cell.median}, {"slow", cell.slow}} : json(nullptr);
    }
    out["figures"].push_back({{"name", figure.name}, {"floor", figure.floor}, {"machines", cells}});
  }
  return out.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}
