#include "tools/analysis/merge.hpp"

#include <algorithm>
#include <filesystem>
#include <map>

#include "tools/analysis/ratios.hpp"
#include "tools/catalog/text.hpp"

namespace omp_sums {

namespace {

std::string on_team(const std::string& what, int threads, const run_plan& plan, int setting) {
  const std::string label = setting_label(plan.settings[static_cast<std::size_t>(setting)]);
  return printed("%s on %d thread%s", what.c_str(), threads, threads == 1 ? "" : "s") +
         (label.empty() ? "" : " under " + label);
}

// Machine m's cell is slow where it is slower than every other machine that measured the figure,
// as a comparison of the two would say: more time, or less bandwidth. Being slower than another
// takes a median beyond the other's, so only the one machine with the worst median can be slower
// than all: it alone is compared, and a merge stays linear in its files.
void mark_slow(merged_figure& figure, bool higher_is_faster) {
  const auto worse = [&](const merged_cell& a, const merged_cell& b) {
    return higher_is_faster ? a.median < b.median : a.median > b.median;
  };
  std::size_t worst = figure.cells.size();
  int others = -1;
  for (std::size_t m = 0; m < figure.cells.size(); ++m) {
    if (!figure.cells[m].measured || figure.cells[m].marked) continue;
    ++others;
    if (worst == figure.cells.size() || worse(figure.cells[m], figure.cells[worst])) worst = m;
  }
  if (others <= 0) return;
  merged_cell& cell = figure.cells[worst];
  bool slower_than_all = true;
  for (std::size_t o = 0; o < figure.cells.size() && slower_than_all; ++o) {
    const merged_cell& other = figure.cells[o];
    if (o == worst || !other.measured || other.marked) continue;
    const ratio_figure ratio = ratio_of(cell.values, other.values);
    const bool slower = higher_is_faster ? below(ratio, 1) : above(ratio, 1);
    slower_than_all = slower && mann_whitney_p(cell.values, other.values) < kAlpha;
  }
  cell.slow = slower_than_all;
}

}  // namespace

std::string merge_refusal(const std::vector<std::string>& paths, const std::vector<report>& runs) {
  // "1000 elements" for one size; "sizes L2 (65536), DRAM (10000000)" for several.
  const auto sizes_of = [](const run_plan& plan) {
    if (plan.sizes.size() == 1) return std::to_string(plan.sizes[0].elements) + " elements";
    std::vector<std::string> sizes;
    for (const array_size& size : plan.sizes) sizes.push_back(printed("%s (%d)", size.name.c_str(), size.elements));
    return "sizes " + joined(sizes, ", ");
  };
  for (std::size_t k = 1; k < runs.size(); ++k) {
    if (sizes_of(runs[k].plan) != sizes_of(runs[0].plan)) {
      return paths[0] + " ran " + sizes_of(runs[0].plan) + ", " + paths[k] + " " + sizes_of(runs[k].plan) +
             (runs[0].plan.sizes.size() == 1
                  ? ": a merge sets side by side runs of one size (give each machine the same --size)"
                  : ": a merge sets side by side runs of the same sizes (give each machine the "
                    "same --size, in counts where their caches differ)");
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

// What each run's own verdict holds against all its figures, what the runs differ in, and whether
// they are of one host at all.
void carry_notes(merged_runs& merged, const std::vector<report>& runs) {
  std::vector<std::string> hosts;
  for (const report& r : runs) {
    if (std::find(hosts.begin(), hosts.end(), r.facts.host) == hosts.end()) hosts.push_back(r.facts.host);
  }
  if (hosts.size() == 1 && runs.size() > 1) {
    merged.carried.push_back({printed("All %zu runs are of one host (%s): the merge sets runs side by side, not "
                                      "machines, and a run flagged slow was slow for what else held the host then.",
                                      runs.size(), hosts[0].c_str()),
                              {},
                              true});
  }
  const auto differ = [&](const char* what, auto of) {
    for (const report& r : runs) {
      if (of(r) != of(runs[0])) {
        std::vector<std::string> each;
        for (std::size_t k = 0; k < runs.size(); ++k) each.push_back(merged.machines[k].name + ": " + of(runs[k]));
        merged.carried.push_back({std::string("The runs differ in ") + what + " (" + joined(each, "; ") +
                                      "): a machine may be slow for that, not for what it is.",
                                  {},
                                  true});
        return;
      }
    }
  };
  differ("the runtime settings they ran under", [](const report& r) {
    return r.facts.runtime_settings.empty() ? std::string("none") : joined(r.facts.runtime_settings, " ");
  });
  differ("their --env settings", [](const report& r) {
    std::vector<std::string> labels;
    for (const setting& under : r.plan.settings) {
      if (!under.env.empty()) labels.push_back("[" + setting_label({"", "", under.env}) + "]");
    }
    return labels.empty() ? std::string("none") : joined(labels, " ");
  });
  for (std::size_t k = 0; k < runs.size(); ++k) {
    for (const trust_note& note : runs[k].judged.notes) {
      if (note.every) merged.carried.push_back({merged.machines[k].name + ": " + lowered_first(note.text), {}, true});
    }
  }
}

}  // namespace

merged_runs merge_of(const std::vector<std::string>& paths, const std::vector<report>& runs) {
  merged_runs merged;
  const std::vector<std::string> names = machine_names(paths, runs);
  for (std::size_t k = 0; k < runs.size(); ++k) {
    merged.machines.push_back({names[k], paths[k], runs[k].facts.host, runs[k].facts.processor, 0, 0, false,
                               runs[k].machine, joined_lines(runs[k].caches)});
  }
  std::map<std::string, std::size_t> row_of;
  std::vector<bool> higher_is_faster;
  const auto cell_of = [&](const std::string& name, bool floor, const char* format,
                           bool faster_up) -> std::vector<merged_cell>& {
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
      cell_of(on_team(std::string(c.c.program->name), c.c.threads, r.plan, c.c.setting), false, "%.6f", false)[k] = {
          true, c.walls, c.wall.median, false, c.time_shared};
    }
    for (const floor_stats& f : r.measured.floors) {
      if (describe(f.kind).share) continue;  // no speed: no machine is slower for it
      const floor_description& floor = describe(f.kind);
      cell_of(on_team(std::string(floor.label), f.threads, r.plan, f.setting), true, floor.format,
              floor.as_bandwidth)[k] = {true, f.values, f.median, false, f.scheduled};
    }
  }
  for (std::size_t row = 0; row < merged.figures.size(); ++row) {
    merged_figure& figure = merged.figures[row];
    mark_slow(figure, higher_is_faster[row]);
    const long measured =
        std::count_if(figure.cells.begin(), figure.cells.end(), [](const merged_cell& c) { return c.measured; });
    for (std::size_t k = 0; k < runs.size(); ++k) {
      if (!figure.cells[k].measured || figure.cells[k].marked || measured < 2) continue;
      ++merged.machines[k].compared_figures;
      merged.machines[k].slow_figures += figure.cells[k].slow ? 1 : 0;
    }
  }
  for (merged_machine& machine : merged.machines) {
    machine.flagged = machine.compared_figures > 0 && 4 * machine.slow_figures >= machine.compared_figures;
  }
  // Figures that two machines share with runs enough for a 95% interval on both sides.
  const bool can_flag = std::any_of(merged.figures.begin(), merged.figures.end(), [](const merged_figure& figure) {
    return std::count_if(figure.cells.begin(), figure.cells.end(),
                         [](const merged_cell& cell) { return cell.values.size() >= kFewestRunsToFlag; }) >= 2;
  });
  if (!can_flag) {
    merged.note = printed(
        "No machine can be flagged from these runs: no figure has %zu or more runs on two machines, "
        "and with fewer a side neither a 95%% interval of a median nor a U test at p < 0.05 can tell "
        "the machines apart (run each machine with --repeat %zu or more).",
        kFewestRunsToFlag, kFewestRunsToFlag);
  }
  std::map<std::string, std::size_t> region_row;
  for (std::size_t k = 0; k < runs.size(); ++k) {
    for (const case_regions& c : runs[k].regions) {
      for (const region_figure& region : c.regions) {
        const std::string name =
            on_team(std::string(c.c.program->name), c.c.threads, runs[k].plan, c.c.setting) + " at " + region.where;
        auto [at, added] = region_row.try_emplace(name, merged.regions.size());
        if (added) {
          merged.regions.push_back({name, std::vector<bool>(runs.size()), std::vector<share_figure>(runs.size())});
        }
        const std::vector<double> shares = waiting_shares(runs[k].region_runs, c.c, region.where);
        merged.regions[at->second].measured[k] = !shares.empty();
        merged.regions[at->second].waiting[k] = share_of(shares);
      }
    }
  }
  carry_notes(merged, runs);
  return merged;
}

std::string side_by_side(const merged_runs& merged) {
  std::vector<std::string> hosts;
  for (const merged_machine& machine : merged.machines) {
    if (std::find(hosts.begin(), hosts.end(), machine.host) == hosts.end()) hosts.push_back(machine.host);
  }
  if (hosts.size() == 1 && merged.machines.size() > 1)
    return printed("%zu runs of one host side by side", merged.machines.size());
  return printed("%zu machines side by side", merged.machines.size());
}

}  // namespace omp_sums
