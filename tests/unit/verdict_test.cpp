// The verdict block and the screen it ends: what it claims and what it warns of, on fixed runs;
// every line of the console within an 80-column terminal; the estimate and the progress line
// from fixed figures.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/unit/fixed_report.hpp"
#include "tools/analysis/comparison.hpp"
#include "tools/analysis/judged.hpp"
#include "tools/analysis/verdict.hpp"
#include "tools/report/console.hpp"
#include "tools/run/planning.hpp"
#include "tools/run/runner.hpp"

using namespace omp_sums;

namespace {

// Seven measured runs a case, nothing on standard error, a quiet machine.
report clean_report(double padded_factor = 1.0,
                    std::vector<std::string> programs = {"sum_walltime", "sum_slots_padded"}) {
  report r = fixed_report(8, padded_factor, std::move(programs));
  for (run_record& record : r.records) record.standard_error.clear();
  r.conditions.steal_percent = 0.2;
  analyse(r);
  return r;
}

const trust_note* note_with(const verdict& said, const std::string& text) {
  const auto found = std::find_if(said.notes.begin(), said.notes.end(),
                                  [&](const trust_note& note) { return note.text.find(text) != std::string::npos; });
  return found == said.notes.end() ? nullptr : &*found;
}

std::string longest_line(const std::string& text) {
  std::string longest;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    if (end - at > longest.size()) longest = text.substr(at, end - at);
    at = end + 1;
  }
  return longest;
}

}  // namespace

TEST(Verdict, OfACleanRunClaimsItsFindingsWithNothingAgainstThem) {
  const report r = clean_report();
  const verdict said = verdict_of(r);
  ASSERT_FALSE(said.findings.empty());
  EXPECT_TRUE(said.notes.empty()) << said.notes.front().text;
  const std::string text = verdict_text(said, 80);
  EXPECT_NE(text.find("Trust: nothing in the run's conditions touches these findings"), std::string::npos) << text;
  // The console ends with it.
  const std::string console = as_console(r, 80);
  EXPECT_EQ(console.substr(console.size() - text.size()), text);
}

// An emulated processor's times are the emulator's: a note against every finding. Its header
// names the kernel's page settings once the host has two nodes.
TEST(Verdict, OfAnEmulatedProcessorDoubtsEveryTime) {
  report r = clean_report();
  r.facts.processor = "QEMU TCG CPU version 2.5+";
  r.facts.transparent_huge_pages = "never";
  r.facts.numa_balancing = 0;
  const verdict said = verdict_of(r);
  const trust_note* emulated = note_with(said, "The processor is QEMU's emulation");
  ASSERT_NE(emulated, nullptr);
  EXPECT_TRUE(emulated->every);
  EXPECT_EQ(console_header(r, 80).find("pages:"), std::string::npos);  // one node
  r.machine.numa_nodes = 2;
  EXPECT_NE(console_header(r, 80).find("pages:       transparent huge pages never; automatic NUMA balancing off\n"),
            std::string::npos);
}

TEST(Verdict, OfALoadedRunWithARejectedSettingSaysWhatEachTouches) {
  report r = clean_report();
  r.conditions.load_before = 2.5;  // on 2 processors
  for (run_record& record : r.records) {
    if (r.plan.settings[static_cast<std::size_t>(record.c.setting)].env.at(0).second == "spread")
      record.standard_error = "libgomp: Invalid value for environment variable OMP_PROC_BIND\n";
  }
  analyse(r);
  const verdict said = verdict_of(r);
  const trust_note* load = note_with(said, "The load was 2.50 before the run, on 2 usable processors");
  ASSERT_NE(load, nullptr);
  EXPECT_TRUE(load->every);
  const trust_note* rejected = note_with(said, "refused OMP_PROC_BIND=spread");
  ASSERT_NE(rejected, nullptr);
  ASSERT_FALSE(rejected->touches.empty());
  for (const std::string& about : rejected->touches) EXPECT_NE(about.find("OMP_PROC_BIND=spread"), std::string::npos);
  // Not told as the programs' own output as well.
  EXPECT_EQ(note_with(said, "wrote to standard error"), nullptr);
  const std::string text = verdict_text(said, 80);
  EXPECT_NE(text.find("Touches every finding."), std::string::npos) << text;
}

// Two threads that had one processor's worth of time between them: the team cannot scale, the
// cases it ran rest no sentence, nor do the calibration's floors of the phases that had half
// their processors; one thread that had its processor keeps its findings.
TEST(Verdict, OfATimeSharedTeamSaysItCannotScaleAndClaimsNothingOfIt) {
  report r = clean_report();
  for (run_record& record : r.records) {  // runs of 10 ms, long enough for their CPU time to tell
    record.reading.seconds *= 10;
    record.reading.thread_seconds *= 10;
  }
  analyse(r);
  const verdict quiet = verdict_of(r);
  const auto claims = [](const verdict& said, const std::string& what) {
    return std::any_of(said.findings.begin(), said.findings.end(),
                       [&](const verdict_line& finding) { return finding.text.find(what) != std::string::npos; });
  };
  ASSERT_TRUE(claims(quiet, "sum_walltime on 2 threads"));
  for (run_record& record : r.records) {
    if (record.c.threads != 2) continue;
    record.reading.thread_seconds = record.reading.seconds * 0.5;
    if (record.c.program->role == program_role::calibration) {
      for (std::size_t k = 1; k < record.reading.result_fields.size(); k += 2) record.reading.result_fields[k] = "0.5";
    }
  }
  analyse(r);
  const verdict said = verdict_of(r);
  EXPECT_EQ(said.findings.front().text,
            "On 2 threads the team had 1.0 processors' worth of time: two threads cannot scale on this machine now");
  EXPECT_FALSE(claims(said, "sum_walltime on 2 threads"));
  EXPECT_TRUE(claims(said, "Padded slots on 1 thread"));
  const trust_note* cases = note_with(said, "Time-shared: on 2 threads the threads had less than 0.80 of their");
  ASSERT_NE(cases, nullptr);
  EXPECT_NE(cases->text.find("sum_walltime on 2 threads under OMP_PROC_BIND=close (0.50)"), std::string::npos)
      << cases->text;
  const trust_note* floors = note_with(said, "Time-shared: on 2 threads under OMP_PROC_BIND=spread the calibration's");
  ASSERT_NE(floors, nullptr);
  EXPECT_NE(floors->text.find("add latency (0.50), in-order streams (0.50)"), std::string::npos) << floors->text;
  EXPECT_EQ(floors->text.find("add CPU time"), std::string::npos) << floors->text;  // CPU time needs no processor
  EXPECT_NE(verdict_text(said, 80).find("  ! Time-shared: on 2 threads"), std::string::npos);
}

TEST(Console, EveryLineFitsAnEightyColumnTerminal) {
  std::vector<std::string> every_program;
  for (const program_description& program : kPrograms) {
    if (program.compared) every_program.emplace_back(program.name);
  }
  const report r = clean_report(1.0, every_program);
  EXPECT_LT(longest_line(console_header(r, 80) + as_console(r, 80)).size(), 80u)
      << longest_line(console_header(r, 80) + as_console(r, 80));
  const comparison compared =
      compare_reports("/home/someone/runs/before-the-change.json", "/home/someone/runs/after-the-change.json", r,
                      clean_report(1.5, every_program));
  EXPECT_LT(longest_line(as_console(compared, 80)).size(), 80u) << longest_line(as_console(compared, 80));
}

TEST(Progress, SaysTheTimeSoFarAndWhatIsLeftWithinTheWidth) {
  EXPECT_EQ(progress_line(3, 10, 20.0, "calibrate on 2 threads", 80),
            "run 3 of 10, 0:20, ETA 1:20: calibrate on 2 threads");
  EXPECT_EQ(progress_line(1, 10, 0.4, "calibrate on 1 thread", 80), "run 1 of 10, 0:00, ETA -: calibrate on 1 thread");
  EXPECT_EQ(progress_line(3, 10, 20.0, "calibrate on 2 threads", 30).size(), 29u);
}

// A note is tied to the findings that rest on its case, by the case itself: whatever they say (an
// effect, its absence, that the run cannot tell), each is marked weakened by the note's number.
TEST(Verdict, TiesEachNoteToTheFindingsThatRestOnItsCase) {
  report r = clean_report(1.0, {"sum_walltime", "sum_slots_packed", "sum_slots_padded"});
  const auto about_false_sharing = std::find_if(r.said.begin(), r.said.end(), [](const headline& h) {
    return h.effect == effect_kind::false_sharing && h.cases.size() == 2 && h.cases[0].threads == 2;
  });
  ASSERT_NE(about_false_sharing, r.said.end());
  const headline sharing = *about_false_sharing;
  const run_case packed = sharing.cases[0];
  r.warnings.push_back({warning_kind::placement,
                        case_name(r.plan, packed),
                        "Placement: ...",
                        {},
                        {{"runs_sharing", 5}, {"runs", 7}},
                        packed});
  r.warnings.push_back({warning_kind::placement, "", "Placement unknown: of no case.", {}, {}});
  r.judged = verdict_of(r);
  // What rests on the packed case: false sharing on its team, and the settings set side by side.
  std::vector<std::string> resting;
  for (const headline& h : r.said) {
    if (h.ratio >= 0 && !h.about.empty() &&
        std::any_of(h.cases.begin(), h.cases.end(), [&](const run_case& c) { return same_case(c, packed); }))
      resting.push_back(h.supported ? h.finding : h.about);
  }
  ASSERT_GE(resting.size(), 2u);
  const trust_note* shared = note_with(r.judged, "Placement: two threads of " + case_name(r.plan, packed));
  ASSERT_NE(shared, nullptr);
  EXPECT_NE(std::find(shared->touches.begin(), shared->touches.end(), sharing.about), shared->touches.end());
  const int number = static_cast<int>(shared - r.judged.notes.data()) + 1;
  int weakened = 0;
  for (const auto* lines : {&r.judged.findings, &r.judged.unmeasured, &r.judged.untold}) {
    for (const verdict_line& line : *lines) {
      const bool on_it = std::any_of(resting.begin(), resting.end(),
                                     [&](const std::string& start) { return line.text.rfind(start, 0) == 0; });
      const bool marked = std::find(line.weakened_by.begin(), line.weakened_by.end(), number) != line.weakened_by.end();
      EXPECT_EQ(on_it, marked) << line.text;
      weakened += marked ? 1 : 0;
    }
  }
  EXPECT_EQ(weakened, static_cast<int>(resting.size()));
  const trust_note* of_none = note_with(r.judged, "Placement unknown: of no case.");
  ASSERT_NE(of_none, nullptr);
  EXPECT_TRUE(of_none->touches.empty());
  EXPECT_NE(verdict_text(r.judged, 200).find(printed("(weakened by note %d)", number)), std::string::npos);
}

// The console gives the noisy cases one paragraph and each kind's advice once, not under each.
TEST(Verdict, ConsoleGivesEachKindOfAdviceOnce) {
  report r = clean_report();
  for (const case_stats& c : r.measured.cases) {
    r.warnings.push_back({warning_kind::noise,
                          case_name(r.plan, c.c),
                          "Noisy: " + case_name(r.plan, c.c) + " spreads 40%.",
                          {},
                          {{"spread_percent", 40}},
                          c.c,
                          "For noisy cases: raise --repeat or quiet the machine."});
  }
  ASSERT_GE(r.warnings.size(), 2u);
  const std::string console = as_console(r, 80);
  const auto count = [&](const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = console.find(part); at != std::string::npos; at = console.find(part, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("For noisy cases:"), 1u) << console;
  EXPECT_EQ(count("Noisy, spreading over 20%"), 1u) << console;
  EXPECT_EQ(count("\nNoisy: "), 0u) << console;
}
