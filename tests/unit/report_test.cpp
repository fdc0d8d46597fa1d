// The report's writers on one fixed set of runs: the CSV's exact rows, and a JSON that reads back
// into the same report, so that a saved run is reported as when it ran; and what is refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "tests/unit/fixed_report.hpp"
#include "tests/unit/json_checks.hpp"
#include "tools/analysis/comparison.hpp"
#include "tools/analysis/judged.hpp"
#include "tools/analysis/merge.hpp"
#include "tools/analysis/report.hpp"
#include "tools/analysis/verdict.hpp"
#include "tools/catalog/suite_build.hpp"
#include "tools/report/chart.hpp"
#include "tools/report/chart_script.hpp"
#include "tools/report/console.hpp"
#include "tools/report/csv.hpp"
#include "tools/report/effect_charts.hpp"
#include "tools/report/html_pieces.hpp"
#include "tools/report/json.hpp"
#include "tools/report/markdown.hpp"

using namespace omp_sums;

namespace {

namespace fs = std::filesystem;

// Every figure the table derives, from runs of known times: a slip in a formula (a speed-up
// turned over, a team size left out) shows as a wrong number here.
TEST(Aggregate, DerivesEachFigureFromTheRuns) {
  plan_request options;
  options.programs = {"sum_walltime"};
  options.threads = {1, 2};
  options.repeat = 3;
  options.sizes = {counted_size(1000000)};
  const run_plan plan = make_plan(options, 2);
  const std::map<int, std::vector<double>> walls = {{1, {0.010, 0.012, 0.011}}, {2, {0.006, 0.005, 0.007}}};
  std::vector<run_record> records;
  for (int round = 1; round <= 3; ++round) {
    for (const run_case& c : plan.cases) {
      run_record record{c, round, {}, ""};
      if (c.program->role == program_role::calibration) {
        record.reading.result_fields = calibration_fields({"0.5", "0.5", c.threads == 1 ? "0.004" : "0.002", "0.002"});
      } else {
        record.reading.seconds = walls.at(c.threads)[static_cast<std::size_t>(round - 1)];
        record.reading.thread_seconds = record.reading.seconds / 2;
      }
      records.push_back(record);
    }
  }
  const figures measured = aggregate(plan, records, machine_topology{});
  struct expected_case {
    int threads;
    double median, thread_median, speedup, ns_per_element_per_thread, floor, of_floor, spread_percent, low, high;
  };
  for (const expected_case& want :
       {expected_case{1, 0.011, 0.0055, 1.0, 11.0, 0.004, 2.75, 100 * 0.002 / 0.011, 0.010, 0.012},
        expected_case{2, 0.006, 0.003, 0.011 / 0.006, 12.0, 0.002, 3.0, 100 * 0.002 / 0.006, 0.005, 0.007}}) {
    SCOPED_TRACE(want.threads);
    const case_stats* got = find_case(measured.cases, program_role::reduction, want.threads);
    ASSERT_NE(got, nullptr);
    EXPECT_DOUBLE_EQ(got->wall.median, want.median);
    EXPECT_DOUBLE_EQ(got->thread_median, want.thread_median);
    EXPECT_DOUBLE_EQ(got->speedup, want.speedup);
    EXPECT_DOUBLE_EQ(got->ns_per_element_per_thread, want.ns_per_element_per_thread);
    EXPECT_DOUBLE_EQ(got->floor_seconds, want.floor);
    EXPECT_DOUBLE_EQ(got->of_floor, want.of_floor);
    EXPECT_DOUBLE_EQ(got->spread_percent, want.spread_percent);
    EXPECT_DOUBLE_EQ(got->median_ci.low, want.low);  // 3 runs: the smallest and the largest, 75%
    EXPECT_DOUBLE_EQ(got->median_ci.high, want.high);
    EXPECT_DOUBLE_EQ(got->median_ci.coverage, 0.75);
  }
  const floor_stats* bandwidth = find_floor(measured.floors, floor_kind::read_bandwidth, 1);
  ASSERT_NE(bandwidth, nullptr);
  EXPECT_DOUBLE_EQ(bandwidth->median, 4.0);  // 8 MB read in 2 ms
}

TEST(Report, CsvRowsAreExact) {
  const report r = fixed_report();
  const std::string floors = csv_rows(r.plan, r.records[0]);  // no line transfer on one thread
  EXPECT_EQ(std::count(floors.begin(), floors.end(), '\n'),
            std::count_if(std::begin(kFloors), std::end(kFloors),
                          [](const floor_description& floor) { return floor.fewest_threads == 1; }));
  EXPECT_EQ(floors.substr(0, floors.find("floor:separate_line_sums")),
            "floor:add_latency,1,1,1000,5e-10,,,1,,OMP_PROC_BIND=close\n"
            "floor:add_cpu_time,1,1,1000,5e-10,,,1,,OMP_PROC_BIND=close\n"
            "floor:inorder_streams,1,1,1000,0.001,,,1,,OMP_PROC_BIND=close\n"
            "floor:read_bandwidth,1,1,1000,0.0004,,,1,,OMP_PROC_BIND=close\n"
            "floor:shared_line_sums,1,1,1000,0.003,,,1,,OMP_PROC_BIND=close\n");
  EXPECT_NE(floors.find("floor:fork_join,1,1,1000,2e-06,"), std::string::npos) << floors;
  EXPECT_EQ(csv_rows(r.plan, r.records[1]), "sum_walltime,1,1,1000,0.001,0.0009,499500,1,,OMP_PROC_BIND=close\n");
}

TEST(Report, ASavedRunReadsBackIntoTheSameReport) {
  writing how;
  const report pages = fixed_report(2, 1.0, {"sum_touch_main", "sum_touch_team"});
  const std::string saved_pages = as_json(pages, how);
  report pages_again;
  ASSERT_EQ(report_from_json(saved_pages, pages_again), "");
  analyse(pages_again);
  EXPECT_EQ(as_json(pages_again, how), saved_pages);
  ASSERT_EQ(pages_again.measured.cases.size(), pages.measured.cases.size());
  EXPECT_EQ(pages_again.measured.cases.back().local_pages_percent, 56.25);  // (100 + 12.5) / 2

  const report r = fixed_report();
  const std::string saved = as_json(r, how);
  written_json(saved);
  const fs::path file = fs::temp_directory_path() / ("report_test_" + std::to_string(getpid()) + ".json");
  std::ofstream(file) << saved;
  report again;
  ASSERT_EQ(read_saved_report(file.string(), again), "");
  analyse(again);
  EXPECT_EQ(as_json(again, how), saved);
  ASSERT_EQ(again.records.size(), r.records.size());
  for (std::size_t k = 0; k < r.records.size(); ++k) {
    EXPECT_EQ(csv_rows(again.plan, again.records[k]), csv_rows(r.plan, r.records[k])) << k;
  }
  ASSERT_FALSE(again.warnings.empty());  // the remarks on standard error, read back too
  EXPECT_EQ(again.warnings[0].kind, warning_kind::standard_error);

  // Cut short, of another schema, or not sum_compare's: each refused with why.
  const std::pair<std::string, std::string> refused[] = {
      {saved.substr(0, saved.size() / 2), printed("is not JSON: at byte %zu: ", saved.size() / 2 + 1)},
      {std::string(saved).replace(saved.find("\"schema_version\": " + std::to_string(kJsonSchemaVersion)), 19,
                                  "\"schema_version\": 2"),
       "has schema version 2"},
      {"{\"runs\": []}", "is not a JSON file that sum_compare wrote"},
      {std::string(saved).replace(saved.find("\"threads\": 1,"), 13, ""),
       "breaks the schema at /runs/0: Missing required property 'threads'"},
  };
  for (const auto& [text, reason] : refused) {
    std::ofstream(file) << text;
    report other;
    const std::string said = read_saved_report(file.string(), other);
    EXPECT_NE(said.find(reason), std::string::npos) << said;
  }
  fs::remove(file);
}

// Two saved runs compared: only what changed is called slower, and --fail-if-slower's threshold
// needs the whole interval past it.
TEST(Compare, CallsSlowerOnlyWhatTheIntervalAndTheUTestAgreeOn) {
  writing how;
  report base = fixed_report(7);
  report now = fixed_report(7, 1.5);  // the padded slots take half as long again
  now.facts.builds[0].compiler = "Clang 14.0.6";
  EXPECT_EQ(
      run_differences(base, now),
      std::vector<std::string>{"builds: GNU 12.2.0; optimised -O3; OpenMP runtime: libgomp for sum_walltime "
                               "sum_slots_padded; in /opt/bin -> Clang 14.0.6; optimised -O3; OpenMP runtime: libgomp "
                               "for sum_walltime sum_slots_padded; in /opt/bin"});
  const std::vector<compared_figure> compared = compare_figures(base, now);
  ASSERT_FALSE(compared.empty());
  for (const compared_figure& figure : compared) {
    const bool padded = figure.name.rfind("sum_slots_padded", 0) == 0;
    EXPECT_EQ(figure.verdict, padded               ? "slower"
                              : figure.why.empty() ? "no measurable difference"
                                                   : "cannot tell")
        << figure.name << ": " << figure.why;
    if (padded) {
      EXPECT_DOUBLE_EQ(figure.ratio, 1.5);
      EXPECT_LT(figure.p_value, 0.05);
    }
  }
  EXPECT_EQ(slower_than(compared, 0.2).size(), 4u);  // on 1 and 2 threads, under both settings
  EXPECT_TRUE(slower_than(compared, 0.48).empty());  // 1.5x, but its interval reaches down to 1.46x
  EXPECT_EQ(compare_reports("a.json", "b.json", base, now).note, "");

  // A floor the scheduler held (marked !) in either run is never a finding, however far it moved;
  // each run's load travels with it.
  report held = fixed_report(7);
  for (floor_stats& f : held.measured.floors) {
    if (f.kind != floor_kind::barrier) continue;
    f.scheduled = true;
    for (double& value : f.values) value *= 250;  // from 25 us to 6 ms
  }
  held.conditions.load_before = 6;
  held.judged = verdict_of(held);
  const comparison with_held = compare_reports("held.json", "b.json", held, base);
  for (const compared_figure& figure : with_held.compared) {
    if (figure.name.rfind("barrier", 0) != 0) continue;
    EXPECT_EQ(figure.verdict, "cannot tell") << figure.name;
    EXPECT_EQ(figure.why, "marked ! in the base: the scheduler's") << figure.name;
  }
  for (const verdict_line& finding : with_held.judged.findings)
    EXPECT_EQ(finding.text.find("barrier"), std::string::npos) << finding.text;
  EXPECT_NE(lines_text(with_held.judged.untold).find("(marked ! in the base: the scheduler's)"), std::string::npos);
  const std::string judged = verdict_text(with_held.judged, 200);
  EXPECT_NE(judged.find("The base run: the load was 6.00 before the run"), std::string::npos) << judged;
  written_json(as_json(compare_reports("a.json", "b.json", base, now), how));

  // A plain run against an --env sweep has no case in common: said, with what each side ran.
  report plain = fixed_report(7);
  for (setting& under : plain.plan.settings) under.env.clear();
  const comparison nothing = compare_reports("plain.json", "sweep.json", plain, base);
  EXPECT_TRUE(nothing.compared.empty());
  EXPECT_NE(
      nothing.note.find("nothing can be compared: the base ran no --env setting from the default build (/opt/bin) on "
                        "threads 1,2; the new one ran the settings [OMP_PROC_BIND=close] [OMP_PROC_BIND=spread]"),
      std::string::npos)
      << nothing.note;
}

// Machines side by side: the one whose every figure takes half as long again is flagged, and only
// it; runs of different sizes are not merged.
TEST(Merge, FlagsOnlyTheMachineSlowerThanAllTheOthers) {
  writing how;
  report first = fixed_report(7);
  report second = fixed_report(7);
  report slow = fixed_report(7);
  second.facts.host = "node-2";
  slow.facts.host = "node-3";
  for (run_record& record : slow.records) {
    record.reading.seconds *= 1.5;
    record.reading.thread_seconds *= 1.5;                                       // slower, not time-shared
    for (std::size_t k = 0; k < record.reading.result_fields.size(); k += 2) {  // the values, not their shares
      std::string& field = record.reading.result_fields[k];
      if (field != "nan") field = printed("%g", std::stod(field) * 1.5);
    }
  }
  analyse(slow);
  const merged_runs merged = merge_runs({"a.json", "b.json", "c.json"}, {first, second, slow});
  ASSERT_EQ(merged.machines.size(), 3u);
  EXPECT_EQ(merged.machines[0].name, "node-1");
  EXPECT_EQ(merged.machines[2].name, "node-3");
  // Every case and floor, but the shares, which measure no speed.
  const long shares = std::count_if(first.measured.floors.begin(), first.measured.floors.end(),
                                    [](const floor_stats& f) { return describe(f.kind).share; });
  EXPECT_EQ(merged.figures.size(), first.measured.cases.size() + first.measured.floors.size() - shares);
  // A floor marked ! is compared with no other machine's.
  const long marked = std::count_if(first.measured.floors.begin(), first.measured.floors.end(),
                                    [](const floor_stats& f) { return f.scheduled && !describe(f.kind).share; });
  for (const merged_machine& machine : merged.machines) {
    EXPECT_EQ(machine.compared_figures, static_cast<int>(merged.figures.size() - marked)) << machine.name;
    EXPECT_EQ(machine.slow_figures, machine.name == "node-3" ? machine.compared_figures : 0) << machine.name;
    EXPECT_EQ(machine.flagged, machine.name == "node-3") << machine.name;
  }
  EXPECT_EQ(written_json(as_json(merged, how))["flagged"], nlohmann::json::array({"node-3"}));

  // One host and one file stem twice: a column each, told apart by their folders.
  const merged_runs twins = merge_runs({"x/run.json", "y/run.json"}, {first, first});
  EXPECT_EQ(twins.machines[0].name, "x/run");
  EXPECT_EQ(twins.machines[1].name, "y/run");
  EXPECT_EQ(written_json(as_json(twins, how))["figures"][0]["machines"].size(), 2u);
  EXPECT_EQ(merge_runs({"run.json", "./run.json"}, {first, first}).machines[1].name, "run (2)");
  // Three runs a side: no interval or U test can flag a machine, and the merge says so.
  const report few = fixed_report(3);
  report few_slow = fixed_report(3, 3.0);
  few_slow.facts.host = "node-2";
  const merged_runs unflagged = merge_runs({"a.json", "b.json"}, {few, few_slow});
  EXPECT_NE(unflagged.note.find("No machine can be flagged from these runs"), std::string::npos) << unflagged.note;
  EXPECT_EQ(merged.note, "");

  second.plan.sizes = {counted_size(2000)};
  EXPECT_NE(merge_refusal({"a.json", "b.json"}, {first, second}).find("runs of one size"), std::string::npos);
  EXPECT_EQ(merge_refusal({"a.json", "c.json"}, {first, slow}), "");
}

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// The page's pieces: one chart per effect the figures hold, each with a panel per setting; the
// processors a case's threads reported, and only they, marked; text that cannot become markup.
TEST(Page, ChartsPerEffectWithAPanelPerSettingAndMarkedPlacement) {
  const report r = fixed_report(3);
  std::vector<std::string> effects;
  for (const effect_chart& chart : effect_charts(r.plan, r.measured, r.machine)) {
    effects.push_back(chart.effect);
    EXPECT_EQ(count_of(chart.script, "\nplot "), 2u) << chart.script;  // close and spread
    EXPECT_NE(chart.script.find("set title 'OMP_PROC_BIND=spread'"), std::string::npos) << chart.script;
  }
  // No packed slots or first touch ran: no chart of false sharing or first touch.
  EXPECT_EQ(effects, (std::vector<std::string>{"scaling", "time_per_element"}));

  machine_topology machine;
  machine.core_of = {{0, 0}, {1, 0}, {2, 1}, {3, 1}};
  machine.node_of = {{0, 0}, {1, 0}, {2, 1}, {3, 1}};
  machine.allowed = {0, 1, 2};
  const std::string drawing = topology_svg(machine, {{1, 2}, {3, 0}});
  EXPECT_EQ(count_of(drawing, "class=\"processor marked\""), 1u);
  EXPECT_NE(drawing.find("P1 x2"), std::string::npos);
  EXPECT_EQ(count_of(drawing, "NUMA node "), 2u);
  EXPECT_NE(drawing.find("processor 3 (not for this process)"), std::string::npos);
}

// Each panel's y range fits its own values, so that a panel of 20M elements is not flattened by
// one of 4K; a log axis within a power of two still gets three labelled ticks and more.
TEST(Page, ChartPanelsFitTheirOwnValuesWithThreeTicksAtLeast) {
  const panel small{"L1", {{"sum_walltime", "1 0.9\n2 1.1\n", false, 0}}};
  const panel large{"DRAM", {{"sum_walltime", "1 180\n2 205\n", false, 0}}};
  const std::string script = script_of("t", "ns per element (log scale)", y_axis::logarithmic, "", NAN, "",
                                       {small, large}, {"threads", "(1, 2)", false, ""});
  const std::size_t first = script.find("set yrange [");
  const std::size_t second = script.find("set yrange [", first + 1);
  ASSERT_NE(second, std::string::npos) << script;
  EXPECT_EQ(script.substr(first, script.find('\n', first) - first), "set yrange [0.782609:1.265]");
  EXPECT_EQ(script.substr(second, script.find('\n', second) - second), "set yrange [156.522:235.75]");
  for (const std::size_t at : {first, second}) {
    const std::size_t tics = script.find("set ytics (", at);
    ASSERT_NE(tics, std::string::npos) << script;
    const std::string list = script.substr(tics, script.find('\n', tics) - tics);
    EXPECT_GE(std::count(list.begin(), list.end(), ','), 2) << list;  // three ticks at least
  }
}

// The --plot chart's data: no packed-over-padded block where the packed slots did not run, so
// that the chart draws no empty panel for it.
TEST(Page, PlotDataHasNoBlockOfWhatDidNotRun) {
  const report r = fixed_report(3);  // sum_walltime and sum_slots_padded under two settings
  EXPECT_EQ(chart_data(r.plan, r.measured).rfind("\"blocks\"\n4 2 0 0 0\n", 0), 0u) << chart_data(r.plan, r.measured);
}

TEST(Report, MarkdownHasOneTableRowPerCaseAndTheHeadlines) {
  writing how;
  const report r = fixed_report();
  const std::string text = as_markdown(r, how);
  EXPECT_NE(text.find("| program | threads | setting | median s | 95% interval | spread | speed-up | x floor |\n"
                      "|---|---:|---|---:|---|---:|---:|---:|\n"
                      "| sum_walltime | 1 | OMP_PROC_BIND=close | 0.001005 | \\[0.001000, 0.001010\\]\\* | 1.0% | "
                      "1.00x | 1.01x |\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(count_of(text, "\n| sum_"), r.measured.cases.size());
  // The verdict before the table; the warnings and the run's conditions carried too.
  EXPECT_LT(text.find("**Trust**"), text.find("| program |"));
  ASSERT_FALSE(r.warnings.empty());
  for (const warning& w : r.warnings) EXPECT_NE(text.find(markdown_text(w.text)), std::string::npos) << w.text;
  EXPECT_NE(text.find("the load was 0.10 before them; the hypervisor took 3.0% of the CPU time"), std::string::npos);
}

#ifdef SUITE_HAVE_LIBOMP
constexpr bool kHaveLibomp = true;
#else
constexpr bool kHaveLibomp = false;
#endif

// Renaming or adding a program in CMake without the catalog would drop it from every check and
// headline in silence.
TEST(Catalog, NamesExactlyTheProgramsCMakeBuilds) {
  std::set<std::string_view> catalog{kCalibration.name};
  for (const program_description& described : kPrograms) catalog.insert(described.name);
  std::set<std::string_view> built;
  for (const built_program& program : kBuiltPrograms) built.insert(program.name);
  for (std::string_view name : built) EXPECT_EQ(catalog.count(name), 1u) << name << " is built but not described";
  std::size_t not_built = 0;
  for (std::string_view name : catalog) not_built += built.count(name) == 0 ? 1 : 0;
  EXPECT_EQ(not_built, kHaveLibomp ? 0u : 1u) << "only thread_stacks needs libomp";
}

}  // namespace
