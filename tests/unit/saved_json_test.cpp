// Saved runs read back only once they hold the schema: each crafted file of the fuzzer's
// regression inputs is refused at the place that is wrong, what a run of several sizes adds
// reads back as written, runs of earlier versions read as current ones, and the schema says what
// the catalog and the writer say.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "tests/unit/fixed_report.hpp"
#include "tools/analysis/identities.hpp"
#include "tools/analysis/judged.hpp"
#include "tools/catalog/programs.hpp"
#include "tools/report/json.hpp"
#include "tools/report/json_schema.hpp"
#include "tools/report/json_upgrade.hpp"
#include "tools/report/output_files.hpp"

using namespace omp_sums;

namespace {

std::string refusal_of(const std::string& regression) {
  std::string text;
  EXPECT_EQ(read_whole_file(std::string(SUITE_TEST_SOURCE_DIR) + "/fuzz/regressions/" + regression, text), "");
  report r;
  return report_from_json(text, r);
}

TEST(SavedJson, IsRefusedWhereItIsWrong) {
  EXPECT_EQ(refusal_of("a_small_run.json"), "");
  const std::pair<const char*, const char*> refused[] = {
      {"zero_caches.json", "breaks the schema at /topology/last_level_count: "},
      {"elements_past_int.json", "breaks the schema at /sizes/0/elements: "},
      {"negative_repeat.json", "breaks the schema at /repeat: "},
      {"line_break_in_a_setting.json", "breaks the schema at /env/OMP_PROC_BIND/0: holds a character it may not"},
      {"long_texts.json", "breaks the schema at /host: "},
      {"thread_number_too_long.json", "breaks the schema at /runs/1/placement: "},
      {"a_pair_cut_short.json", "breaks the schema at /topology/core_of_processor/0: "},
      {"ten_settings_of_ten.json", "at /env: the plan has more than 1000 settings"},
      {"a_build_twice.json", "at /builds/1/name: the default build (no name) twice"},
      {"run_outside_the_plan.json", "at /runs/0: a run of sum_walltime on 3 threads that is not in the file's plan"},
      {"cut_short.json", "is not JSON: at byte "},
      {"deep_nesting.json", "is not JSON: at byte 50001: "},
      {"not_utf8.json", "is not JSON: at byte "},
      {"number_past_double.json", "is not JSON: number overflow parsing '1.142e706'"},  // found by fuzzing
  };
  for (const auto& [file, reason] : refused)
    EXPECT_NE(refusal_of(file).find(reason), std::string::npos) << refusal_of(file);
}

// Two sizes, the clock the kernel showed, kinds of core, the read sweep and what --budget cut:
// each read back as it was written.
TEST(SavedJson, SizesTheClockAndCoreKindsReadBackAsWritten) {
  writing how;
  report sized = fixed_report(2, 1.0, {"sum_walltime"}, {counted_size(1000), {"L2", 2000, 2, 32000, 0}});
  sized.facts.clock = {{"powersave"}, 1, {400, 4700}, {800, 1200}, {3000, 3100}, "mains"};
  sized.machine.kinds = {{{1}, 0, {{"CoreType", "IntelAtom"}}}, {{0}, 1, {{"CoreType", "IntelCore"}}}};
  sized.sweep = {1 << 20, {{1, 16384, 90.5}, {1, 1 << 20, 40.25}, {2, 16384, 180}, {2, 1 << 20, 80.5}}, ""};
  sized.budget = {30, 52.5, {"the array from 20000000 to 10485760 elements"}, "--threads 1,2 --size DRAM --repeat 7"};
  analyse(sized);
  const std::string saved_sized = as_json(sized, how);
  report sized_again;
  ASSERT_EQ(report_from_json(saved_sized, sized_again), "");
  analyse(sized_again);
  EXPECT_EQ(as_json(sized_again, how), saved_sized);
  EXPECT_EQ(sized_again.plan.sizes, sized.plan.sizes);
  EXPECT_EQ(sized_again.plan.settings.size(), 4u);  // each --env value at each size
  EXPECT_EQ(sized_again.facts.clock, sized.facts.clock);
  EXPECT_EQ(sized_again.machine.kinds, sized.machine.kinds);
  EXPECT_EQ(sized_again.sweep, sized.sweep);
  EXPECT_EQ(sized_again.budget, sized.budget);
  // A sweep out of its own order is no sweep.
  std::string shuffled = saved_sized;
  const std::size_t second = shuffled.find("\"bytes\": 1048576");
  ASSERT_NE(second, std::string::npos);
  shuffled.replace(second, std::string("\"bytes\": 1048576").size(), "\"bytes\": 16384");
  report refused;
  EXPECT_NE(report_from_json(shuffled, refused).find("at /sweep/points/1: a working set out of the sweep's order"),
            std::string::npos)
      << report_from_json(shuffled, refused);
}

// Runs saved by earlier versions of the suite (tests/saved/schemaN.json, each written by the
// sum_compare of its version): read as the current schema holds them, what they did not measure
// absent, and written again as a current run that reads back the same.
TEST(SavedJson, RunsOfEveryEarlierVersionReadAsTheCurrentOne) {
  writing how;
  for (int version = kOldestReadSchemaVersion; version < kJsonSchemaVersion; ++version) {
    SCOPED_TRACE(version);
    const std::string path = std::string(SUITE_TEST_SOURCE_DIR) + printed("/saved/schema%d.json", version);
    report r;
    ASSERT_EQ(read_saved_report(path, r), "");
    analyse(r);
    EXPECT_FALSE(r.records.empty());
    EXPECT_FALSE(r.measured.cases.empty());
    for (const floor_stats& floor : r.measured.floors) {
      if (floor.kind == floor_kind::add_latency) {
        EXPECT_FALSE(floor.values.empty());
      }
      // No share, add CPU time or fill was measured before version 9.
      if (version < 9 && (floor.kind == floor_kind::add_cpu_time || floor.kind == floor_kind::fill)) {
        EXPECT_TRUE(floor.values.empty());
      }
      if (version < 9) {
        EXPECT_LT(floor.processor_share, 0);
      }
    }
    // The verdict is derived again, never read: it is the current one's.
    const std::string again = as_json(r, how);
    EXPECT_EQ(nlohmann::json::parse(again)["verdict"]["heading"], heading_text(r.judged));
    EXPECT_EQ(schema_violation(nlohmann::json::parse(again)), "");
    report read_again;
    ASSERT_EQ(report_from_json(again, read_again), "");
    analyse(read_again);
    EXPECT_EQ(as_json(read_again, how), again);
  }
  std::string text;
  ASSERT_EQ(read_whole_file(std::string(SUITE_TEST_SOURCE_DIR) + "/saved/schema6.json", text), "");
  const std::size_t at = text.find("\"schema_version\": 6");
  ASSERT_NE(at, std::string::npos);
  report refused;
  EXPECT_EQ(report_from_json(std::string(text).replace(at, 19, "\"schema_version\": 99"), refused),
            printed("has schema version 99; this sum_compare reads versions 6 to %d: a newer sum_compare wrote it",
                    kJsonSchemaVersion));
  EXPECT_EQ(report_from_json(std::string(text).replace(at, 19, "\"schema_version\": 5"), refused),
            printed("has schema version 5; this sum_compare reads versions 6 to %d", kJsonSchemaVersion));
}

// The schema is written by hand beside the code: its version, its programs, its effects and its
// warnings' kinds are the code's.
TEST(SavedJson, TheSchemaNamesTheCatalogsProgramsAndTheWritersVersion) {
  const nlohmann::json schema = nlohmann::json::parse(json_schema_text());
  std::vector<std::string> compared;
  for (const program_description& program : kPrograms) {
    if (program.compared) compared.emplace_back(program.name);
  }
  EXPECT_EQ(schema["definitions"]["program"]["enum"].get<std::vector<std::string>>(), compared);
  nlohmann::json effects = nlohmann::json::array();
  for (const auto& effect : kEffects) effects.push_back(effect.name == nullptr ? nlohmann::json() : effect.name);
  EXPECT_EQ(schema["definitions"]["headline"]["properties"]["effect"]["enum"], effects);
  nlohmann::json warning_kinds = nlohmann::json::array();
  for (const auto& kind : kWarningKinds) warning_kinds.push_back(kind.name);
  EXPECT_EQ(schema["definitions"]["warning"]["properties"]["kind"]["enum"], warning_kinds);
  for (const char* document : {"run", "comparison", "merge"}) {
    EXPECT_EQ(schema["definitions"][document]["properties"]["schema_version"]["const"], kJsonSchemaVersion) << document;
  }
}

}  // namespace
