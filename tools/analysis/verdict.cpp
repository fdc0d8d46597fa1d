#include "tools/analysis/verdict.hpp"

#include <algorithm>
#include <map>

#include "tools/analysis/ratios.hpp"
#include "tools/analysis/sentences.hpp"
#include "tools/catalog/text.hpp"

namespace omp_sums {

namespace {

// A note touching the run's findings that rest on a case `is` picks: whatever they say, an
// effect, its absence or that the run cannot tell.
template <typename Is>
trust_note touching_cases(const report& r, std::string text, Is is, std::optional<warning_kind> kind = {}) {
  trust_note note{std::move(text), {}};
  note.kind = kind;
  for (std::size_t at = 0; at < r.said.size(); ++at) {
    const headline& h = r.said[at];
    if (h.ratio < 0 || h.about.empty() || !std::any_of(h.cases.begin(), h.cases.end(), is)) continue;
    note.headlines.push_back(at);
    if (std::find(note.touches.begin(), note.touches.end(), h.about) == note.touches.end())
      note.touches.push_back(h.about);
  }
  return note;
}

// The same for the findings that rest on the case a warning is about, or on none where it names none.
trust_note touching_case_of(const report& r, std::string text, const warning& w) {
  return touching_cases(
      r, std::move(text), [&](const run_case& c) { return w.about && same_case(c, *w.about); }, w.kind);
}

double figure_of(const warning& w, const std::string& name) {
  for (const auto& [figure, value] : w.figures) {
    if (figure == name) return value;
  }
  return 0;
}

// The notes of the warnings: each about a case, a setting or the caller's environment.
void warning_notes(const report& r, std::vector<trust_note>& notes) {
  for (const warning& w : r.warnings) {
    if (w.kind == warning_kind::noise) {
      notes.push_back(touching_case_of(
          r, printed("Noisy: %s spreads %.0f%%.", w.subject.c_str(), figure_of(w, "spread_percent")), w));
    } else if (w.kind == warning_kind::placement && figure_of(w, "runs_sharing") > 0) {
      notes.push_back(
          touching_case_of(r,
                           printed("Placement: two threads of %s shared a processor or a core in %.0f of %.0f runs.",
                                   w.subject.c_str(), figure_of(w, "runs_sharing"), figure_of(w, "runs")),
                           w));
    } else if (w.kind == warning_kind::placement) {
      notes.push_back(touching_case_of(r, w.text, w));
    } else if (w.kind == warning_kind::core_kinds) {
      // Of the machine: it touches whatever rests on a team; of a case: that case's findings.
      const auto on_team = [](const run_case& c) { return c.threads > 1; };
      notes.push_back(w.about ? touching_case_of(r, w.text, w) : touching_cases(r, w.text, on_team, w.kind));
    } else if (w.kind == warning_kind::standard_error) {
      trust_note note =
          touching_case_of(r,
                           printed("%s wrote to standard error in %.0f of its %.0f valid runs.", w.subject.c_str(),
                                   figure_of(w, "runs_with_output"), figure_of(w, "valid_runs")),
                           w);
      note.kind.reset();
      notes.push_back(note);
    } else if (w.kind == warning_kind::runtime_setting) {
      const auto under = [&](const run_case& c) {
        return setting_label(r.plan.settings[static_cast<std::size_t>(c.setting)]) == w.subject;
      };
      trust_note note = touching_cases(r, w.text, under);
      note.every = w.subject.empty();
      notes.push_back(note);
    }
  }
}

// Each --env variable whose values cannot change the programs.
void unread_setting_notes(const report& r, std::vector<trust_note>& notes) {
  // A command of the caller's may read any setting.
  if (r.plan.settings.empty() || (r.plan.commands && !r.plan.commands->empty())) return;
  for (const auto& [name, value] : r.plan.settings[0].env) {
    const std::string_view why = why_unread(name);
    if (why.empty()) continue;
    const auto varied = [&, name = name](const run_case& c) {
      const setting& under = r.plan.settings[static_cast<std::size_t>(c.setting)];
      return c.setting != 0 && under.env != r.plan.settings[0].env &&
             std::any_of(under.env.begin(), under.env.end(), [&](const auto& pair) { return pair.first == name; });
    };
    notes.push_back(touching_cases(r,
                                   "--env " + name + " cannot change what the programs measure: " + std::string(why) +
                                       "; a difference across its values is noise or another setting's.",
                                   varied));
  }
}

// The team sizes whose calibration did not run its threads at once.
void scheduled_notes(const report& r, std::vector<trust_note>& notes) {
  std::map<std::pair<int, int>, double> waited;  // (setting, threads) -> the share of waited hand-overs
  for (const floor_stats& f : r.measured.floors) {
    // Floors time-shared alone have a note of their own.
    if (f.scheduled && f.kind == floor_kind::hand_over_waits && f.median > kScheduledShare)
      waited[{f.setting, f.threads}] = f.median;
  }
  for (const auto& [key, share] : waited) {
    const auto& [under, threads] = key;
    const std::string label = setting_label(r.plan.settings[static_cast<std::size_t>(under)]);
    // The runs are interleaved with the calibration's, so what held its processors held theirs.
    notes.push_back({printed("On %d threads%s the calibration's threads could not run at once (%.0f%% of its line "
                             "hand-overs waited): other work held the processors during the run, so any time may be "
                             "the scheduler's; no sentence rests on its floors there.",
                             threads, label.empty() ? "" : (" under " + label).c_str(), 100 * share),
                     {},
                     true});
  }
}

// "two" for 2 ... "ten", else the digits.
std::string number_word(int n) {
  static const char* const words[] = {"zero", "one",   "two",   "three", "four", "five",
                                      "six",  "seven", "eight", "nine",  "ten"};
  return n >= 0 && n <= 10 ? words[n] : std::to_string(n);
}

// The team sizes whose programs' threads had clearly less than their processors: what their
// cases may not say, and, where a team had about one processor's worth, that it cannot scale.
void time_shared_notes(const report& r, verdict& said) {
  const int processors = static_cast<int>(r.machine.allowed.size());
  std::map<int, std::vector<const case_stats*>> by_team;
  for (const case_stats& c : r.measured.cases) {
    if (c.processor_share >= 0) by_team[c.c.threads].push_back(&c);
  }
  for (const auto& [threads, cases] : by_team) {
    std::vector<double> shares;
    std::vector<std::string> held;
    for (const case_stats* c : cases) {
      shares.push_back(c->processor_share);
      if (c->time_shared) held.push_back(case_name(r.plan, c->c) + printed(" (%.2f)", c->processor_share));
    }
    if (held.empty()) continue;
    const int at_once = std::max(1, std::min(threads, processors));
    const double worth = summarise(shares).median * at_once;
    if (at_once >= 2 && worth < 1.25) {  // about one processor's worth, or less
      said.findings.insert(said.findings.begin(),
                           {printed("On %d threads the team had %.1f processors' worth of time: %s threads cannot "
                                    "scale on this machine now",
                                    threads, worth, number_word(threads).c_str())});
    }
    said.notes.push_back({printed("Time-shared: on %s the threads had less than %.2f of their processors' time in ",
                                  threads_text(threads).c_str(), kLeastProcessorShare) +
                              joined(held, ", ") +
                              ": other work held the processors, so no sentence rests on those cases.",
                          {},
                          false,
                          std::nullopt,  // of no warning
                          true});
  }
}

// The calibration's floors whose phase had clearly less than its processors.
void time_shared_floor_notes(const report& r, std::vector<trust_note>& notes) {
  std::map<std::pair<int, int>, std::vector<std::string>> held;  // (setting, threads) -> the floors
  for (const floor_stats& f : r.measured.floors) {
    if (f.processor_share >= 0 && f.processor_share < kLeastProcessorShare && !describe(f.kind).cpu_time)
      held[{f.setting, f.threads}].push_back(std::string(row_name(describe(f.kind))) +
                                             printed(" (%.2f)", f.processor_share));
  }
  for (const auto& [key, floors] : held) {
    const std::string label = setting_label(r.plan.settings[static_cast<std::size_t>(key.first)]);
    notes.push_back({printed("Time-shared: on %s%s the calibration's threads had less than %.2f of their processors' "
                             "time in ",
                             threads_text(key.second).c_str(), label.empty() ? "" : (" under " + label).c_str(),
                             kLeastProcessorShare) +
                         joined(floors, ", ") + ": no sentence rests on those floors.",
                     {},
                     false,
                     std::nullopt,  // of no warning
                     true});
  }
}

// The notes that touch a finding first, numbered in that order, and each finding marked with the
// numbers of those that touch it.
void link_notes(verdict& said, const std::vector<std::vector<std::size_t>>& headlines_of_line) {
  std::stable_partition(said.notes.begin(), said.notes.end(), touching);
  std::vector<verdict_line>* const lists[] = {&said.findings, &said.unmeasured, &said.untold};
  std::size_t list_line = 0;
  for (std::vector<verdict_line>* list : lists) {
    for (verdict_line& line : *list) {
      const std::vector<std::size_t> none;
      const std::vector<std::size_t>& rests_on =
          list_line < headlines_of_line.size() ? headlines_of_line[list_line] : none;
      ++list_line;
      // A note against every line is said once, in the heading.
      for (std::size_t n = 0; n < said.notes.size() && touching(said.notes[n]); ++n) {
        const trust_note& note = said.notes[n];
        const bool named = std::any_of(rests_on.begin(), rests_on.end(), [&](std::size_t at) {
          return std::find(note.headlines.begin(), note.headlines.end(), at) != note.headlines.end();
        });
        if (!note.every && named) line.weakened_by.push_back(static_cast<int>(n) + 1);
      }
    }
  }
  // What the run cannot tell, no note can weaken further.
  for (verdict_line& line : said.untold) line.weakened_by.clear();
  for (std::size_t n = 0; n < said.notes.size(); ++n) {
    if (said.notes[n].every) said.weakening_all.push_back(static_cast<int>(n) + 1);
  }
}

}  // namespace

verdict verdict_of(const report& r) {
  verdict said{"What this run shows", {}, {}, {}, {}, {}, {}};
  // The headlines each line rests on, findings first, then the unmeasured and the untold, by what
  // they are about: several headlines may be about one thing.
  std::vector<std::vector<std::size_t>> findings_on;
  std::vector<std::pair<std::string, std::vector<std::size_t>>> unmeasured;
  std::vector<std::pair<std::string, std::vector<std::size_t>>> untold;
  const auto add = [](auto& lines, const std::string& about, std::size_t at) {
    const auto known = std::find_if(lines.begin(), lines.end(), [&](const auto& line) { return line.first == about; });
    if (known == lines.end()) {
      lines.push_back({about, {at}});
    } else {
      known->second.push_back(at);
    }
  };
  for (std::size_t at = 0; at < r.said.size(); ++at) {
    const headline& h = r.said[at];
    if (h.supported) {
      said.findings.push_back({h.finding.empty() ? h.text : h.finding});
      findings_on.push_back({at});
    } else if (h.ratio >= 0 && !h.about.empty()) {
      if (h.reads == reading::level) add(unmeasured, h.about, at);
      if (h.reads == reading::too_small) add(unmeasured, h.about + " (less than 1% apart)", at);
      if (h.reads == reading::cannot_tell) add(untold, h.about + " (" + h.untold + ")", at);
    }
  }
  for (const auto& [about, at] : unmeasured) {
    said.unmeasured.push_back({about});
    findings_on.push_back(at);
  }
  for (const auto& [about, at] : untold) {
    said.untold.push_back({about});
    findings_on.push_back(at);
  }
  const int processors = static_cast<int>(r.machine.allowed.size());
  const int runs = r.plan.rounds - 1;
  const run_conditions& run = r.conditions;
  if (run.load_before >= 0 && run.load_before >= kBusyLoadShare * processors) {
    said.notes.push_back({printed("The load was %.2f before the run, on %d usable processors: the runs shared them "
                                  "with other work, so any time may be the scheduler's; quiet the machine.",
                                  run.load_before, processors),
                          {},
                          true});
  }
  if (run.steal_percent > kMostStealPercent) {
    said.notes.push_back({printed("The hypervisor took %.1f%% of the CPU time during the runs: the processors were not "
                                  "all the runs'.",
                                  run.steal_percent),
                          {},
                          true});
  }
  if (r.facts.clock.power.find("discharging") != std::string::npos) {
    said.notes.push_back({"The machine ran on its battery (" + r.facts.clock.power +
                              "): its clock may have been held down, so any time may be the power's; plug it in.",
                          {},
                          true});
  }
  // QEMU without KVM translates every instruction: its times are the translator's, not a processor's.
  if (r.facts.processor.find("QEMU TCG") != std::string::npos) {
    said.notes.push_back({"The processor is QEMU's emulation (" + r.facts.processor +
                              "): every time is the emulator's, so none says anything of real hardware; only the sums, "
                              "placement and pages are worth reading.",
                          {},
                          true});
  }
  if (runs < static_cast<int>(kFewestRunsToFlag)) {
    said.notes.push_back({printed("%d measured run%s a case: a 95%% interval needs %zu, so no effect can be claimed; "
                                  "raise --repeat.",
                                  runs, runs == 1 ? "" : "s", kFewestRunsToFlag),
                          {},
                          true});
  }
  if (!run.complete)
    said.notes.push_back({"The runs were interrupted: the figures are of those that finished.", {}, true});
  if (run.failures > 0) {
    said.notes.push_back(
        {printed("%d run%s failed: the figures are of the valid ones.", run.failures, run.failures == 1 ? "" : "s"),
         {},
         true});
  }
  const std::size_t findings_before = said.findings.size();
  time_shared_notes(r, said);  // may add a finding of its own before the others, resting on no headline
  findings_on.insert(findings_on.begin(), said.findings.size() - findings_before, {});
  time_shared_floor_notes(r, said.notes);
  warning_notes(r, said.notes);
  unread_setting_notes(r, said.notes);
  scheduled_notes(r, said.notes);
  said.conditions = printed("%d measured runs a case", runs);
  if (run.load_before >= 0)
    said.conditions += printed("; load %.2f before the run on %d processors", run.load_before, processors);
  if (run.steal_percent >= 0) said.conditions += printed("; the hypervisor took %.1f%%", run.steal_percent);
  link_notes(said, findings_on);
  return said;
}

// Up to six names, then how many more.
std::string some_of(const std::vector<std::string>& names) {
  constexpr std::size_t kShown = 6;
  if (names.size() <= kShown) return joined(names, ", ");
  return joined(std::vector<std::string>(names.begin(), names.begin() + kShown), ", ") +
         printed(" and %zu more", names.size() - kShown);
}

verdict verdict_of(const comparison& compared) {
  verdict said{"What the comparison shows", {}, {}, {}, {}, {}, {}};
  std::map<std::string, int> counted;
  std::vector<std::string> order;
  // What shows no difference, and what cannot be told, grouped by why: each kind's figures in one line.
  std::vector<std::pair<std::string, std::vector<std::string>>> level;
  std::vector<std::pair<std::string, std::vector<std::string>>> untold;
  for (const compared_figure& figure : compared.compared) {
    if (counted[figure.verdict]++ == 0) order.push_back(figure.verdict);
    if (called(figure)) {
      said.findings.push_back({figure.name + ": " +
                               printed("%.3fx [%.3f, %.3f] ", figure.ratio, figure.ci.low, figure.ci.high) +
                               figure.verdict});
    } else if (figure.verdict == "cannot tell") {
      auto group = std::find_if(untold.begin(), untold.end(), [&](const auto& g) { return g.first == figure.why; });
      if (group == untold.end()) group = untold.insert(untold.end(), {figure.why, {}});
      group->second.push_back(figure.name);
    } else {
      auto group = std::find_if(level.begin(), level.end(), [&](const auto& g) { return g.first == figure.verdict; });
      if (group == level.end()) group = level.insert(level.end(), {figure.verdict, {}});
      group->second.push_back(figure.name);
    }
  }
  for (const auto& [kind, names] : level)
    said.unmeasured.push_back({some_of(names) + (kind == "no measurable difference" ? "" : " (" + kind + ")")});
  for (const auto& [why, names] : untold) said.untold.push_back({some_of(names) + " (" + why + ")"});
  // Called differences first, then what shows none, then what cannot be told.
  const auto rank = [](const std::string& kind) {
    return kind == "cannot tell" ? 2 : kind == "no measurable difference" || kind == "less than 1% apart" ? 1 : 0;
  };
  std::stable_sort(order.begin(), order.end(),
                   [&](const std::string& a, const std::string& b) { return rank(a) < rank(b); });
  for (const std::string& kind : order)
    said.summary += (said.summary.empty() ? "" : ", ") + printed("%d %s", counted[kind], kind.c_str());
  if (compared.compared.empty()) said.summary = "nothing compared";
  if (!compared.note.empty()) said.notes.push_back({compared.note, {}, true});
  for (const trust_note& note : compared.carried) said.notes.push_back(note);
  if (std::min(compared.base_runs, compared.new_runs) < static_cast<int>(kFewestRunsToFlag)) {
    said.notes.push_back(
        {printed("Fewer than %zu runs a side (base %d, new %d): no verdict can be called; raise --repeat.",
                 kFewestRunsToFlag, compared.base_runs, compared.new_runs),
         {},
         true});
  }
  if (!compared.differences.empty()) {
    std::vector<std::string> what;
    for (const std::string& difference : compared.differences)
      what.push_back(difference.substr(0, difference.find(':')));
    said.notes.push_back({"The runs differ in " + joined(what, ", ") + ": a verdict may be owed to that.", {}, true});
  }
  said.conditions = printed(
      "base %d, new %d runs a case; a verdict needs a 95%% interval past 1, p < %.2f and %.0f%% "
      "at least",
      compared.base_runs, compared.new_runs, kAlpha, 100 * kSmallestDifference);
  link_notes(said, {});
  return said;
}

verdict verdict_of(const merged_runs& merged) {
  verdict said{"What the merge shows", {}, {}, {}, {}, {}, {}};
  std::vector<std::string> flagged;
  for (const merged_machine& machine : merged.machines) {
    if (!machine.flagged) continue;
    flagged.push_back(machine.name);
    said.findings.push_back({printed("%s is slower than every other machine on %d of the %d figures it shares",
                                     machine.name.c_str(), machine.slow_figures, machine.compared_figures)});
  }
  said.summary = flagged.empty() ? "no machine flagged"
                                 : printed("%zu machine%s flagged: ", flagged.size(), flagged.size() == 1 ? "" : "s") +
                                       joined(flagged, ", ");
  if (!merged.note.empty()) said.notes.push_back({merged.note, {}, true});
  for (const trust_note& note : merged.carried) said.notes.push_back(note);
  said.conditions = printed("%zu runs, %zu figures; a figure marked ! or time-shared in a run is compared with none",
                            merged.machines.size(), merged.figures.size());
  link_notes(said, {});
  return said;
}

}  // namespace omp_sums
