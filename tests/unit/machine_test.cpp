// The machine as hwloc and the kernel describe it, from fixed descriptions: sizes named after
// the caches of the usable processors, the kinds of core of a hybrid processor and what a team
// over them is warned of, and the clock the kernel's files show.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/unit/fixed_report.hpp"
#include "tools/analysis/judged.hpp"
#include "tools/report/console.hpp"
#include "tools/report/html_pieces.hpp"
#include "tools/run/clock_facts.hpp"
#include "tools/run/topology.hpp"

using namespace omp_sums;

namespace {

namespace fs = std::filesystem;

// A hybrid laptop: two fast cores of two hardware threads (processors 0-3), each with an L2 of
// 1.25 MiB and an L1d of 48 KiB; four efficient cores (4-7) sharing an L2 of 2 MiB, each with an
// L1d of 32 KiB; one L3 of 12 MiB over all; hwloc's two kinds of core.
machine_topology hybrid_laptop() {
  setenv("HWLOC_XMLFILE", SUITE_TEST_SOURCE_DIR "/unit/two_core_kinds.xml", 1);
  const machine_topology machine = read_topology();
  unsetenv("HWLOC_XMLFILE");
  return machine;
}

TEST(Sizes, NamesFollowTheSmallestShareOfEachCacheAProcessorHas) {
  const machine_topology machine = hybrid_laptop();
  ASSERT_EQ(machine.processors, 8);
  // L1: a fast core's 48 KiB over its two threads; L2: the efficient cores' 2 MiB over four;
  // L3: 12 MiB over eight; each halved. DRAM: 4 x 12 MiB is less than 10000000 elements.
  const std::pair<const char*, int> expected[] = {{"L1", 1536}, {"L2", 32768}, {"L3", 98304}, {"DRAM", 10000000}};
  for (const auto& [name, elements] : expected) {
    array_size size;
    ASSERT_EQ(resolve_size(name, machine, size), "") << name;
    EXPECT_EQ(size.elements, elements) << name;
  }
  array_size l2;
  resolve_size("L2", machine, l2);
  EXPECT_EQ(size_rule(l2, machine), "half of the 512 KiB of L2 cache per usable processor");

  // Past 10000000: four times the last level, then no more than a quarter of the memory.
  machine_topology server = machine;
  server.last_level_bytes = 64ULL << 20;
  array_size dram;
  resolve_size("DRAM", server, dram);
  EXPECT_EQ(dram.elements, 33554432);
  EXPECT_EQ(dram.memory_bytes, 0u);
  server.memory_bytes = 256ULL << 20;
  resolve_size("DRAM", server, dram);
  EXPECT_EQ(dram.elements, 8388608);
  EXPECT_NE(size_rule(dram, server).find("cut to a quarter of the 256 MiB of memory available"), std::string::npos)
      << size_rule(dram, server);

  // A machine that reports no cache: no L3 to name, and DRAM its least.
  const machine_topology bare;
  array_size refused;
  EXPECT_NE(resolve_size("L3", bare, refused), "");
  resolve_size("DRAM", bare, dram);
  EXPECT_EQ(dram.elements, 10000000);

  // What --size takes: a name in either case, or a count from 1 to 2147483647.
  std::string name;
  EXPECT_EQ(read_size_name("dram", name), "");
  EXPECT_EQ(name, "DRAM");
  EXPECT_EQ(read_size_name("0100", name), "");
  EXPECT_EQ(name, "100");
  for (const char* wrong : {"0", "2147483648", "L4", "", "-5", "1e6"})
    EXPECT_NE(read_size_name(wrong, name), "") << wrong;
}

TEST(CoreKinds, AreShownAndATeamOverThemIsWarnedOf) {
  const machine_topology machine = hybrid_laptop();
  ASSERT_EQ(machine.kinds.size(), 2u);
  EXPECT_EQ(machine.kinds[0].processors, (std::vector<int>{4, 5, 6, 7}));
  EXPECT_EQ(machine.kinds[1].efficiency, 1);

  // The padded slots' two threads on a fast and an efficient core in every run.
  report r = fixed_report(2, 1.0, {"sum_slots_padded"});
  r.machine = machine;
  for (run_record& record : r.records) {
    if (prints_placement(*record.c.program) && record.c.threads == 2) {
      record.reading.threads = {{0, {.processor = 0}}, {1, {.processor = 4}}};
    }
  }
  analyse(r);
  const std::string kinds =
      "4-7 (IntelAtom, efficiency 0, up to 3800 MHz); 0-3 (IntelCore, efficiency 1, up to 5000 MHz)";
  const std::string header = console_header(r, 200);
  EXPECT_NE(header.find("\ncore kinds:  " + kinds + "\n"), std::string::npos) << header;
  std::vector<std::string> warned;
  for (const warning& w : r.warnings) {
    if (w.kind == warning_kind::core_kinds) warned.push_back(w.text);
  }
  ASSERT_EQ(warned.size(), 3u);  // the machine's, then each setting's case on 2 threads
  EXPECT_NE(warned[0].find("teams of more than 4 threads span them"), std::string::npos) << warned[0];
  EXPECT_NE(warned[1].find("Core kinds: sum_slots_padded on 2 threads under OMP_PROC_BIND=close: its threads ran on "
                           "cores of more than one kind in 2 of 2 runs"),
            std::string::npos)
      << warned[1];
  // The page draws each kind in its colour, with a key.
  const std::string drawing = topology_svg(machine, {});
  EXPECT_NE(drawing.find("processor kind-0"), std::string::npos);
  EXPECT_NE(drawing.find("core kind 1: 0-3 (IntelCore, efficiency 1, up to 5000 MHz)"), std::string::npos);
}

// A folder shaped as the kernel's sysfs, with the files given (path -> content).
struct fake_sysfs {
  inline static int made = 0;
  fs::path root = fs::temp_directory_path() / ("sysfs_" + std::to_string(getpid()) + "_" + std::to_string(++made));
  explicit fake_sysfs(const std::vector<std::pair<std::string, std::string>>& files) {
    for (const auto& [path, content] : files) {
      fs::create_directories((root / path).parent_path());
      std::ofstream(root / path) << content << "\n";
    }
  }
  ~fake_sysfs() { fs::remove_all(root); }
};

TEST(ClockFacts, AreReadFromTheKernelsFilesWhereItShowsThem) {
  const std::string cpu = "sys/devices/system/cpu/";
  const fake_sysfs laptop({{cpu + "cpu0/cpufreq/scaling_governor", "powersave"},
                           {cpu + "cpu0/cpufreq/cpuinfo_min_freq", "400000"},
                           {cpu + "cpu0/cpufreq/cpuinfo_max_freq", "4700000"},
                           {cpu + "cpu0/cpufreq/scaling_cur_freq", "1200000"},
                           {cpu + "cpu1/cpufreq/scaling_governor", "performance"},
                           {cpu + "cpu1/cpufreq/cpuinfo_min_freq", "400000"},
                           {cpu + "cpu1/cpufreq/cpuinfo_max_freq", "3800000"},
                           {cpu + "cpu1/cpufreq/scaling_cur_freq", "3100000"},
                           {cpu + "intel_pstate/no_turbo", "1"},
                           {"sys/class/power_supply/AC/type", "Mains"},
                           {"sys/class/power_supply/AC/online", "0"},
                           {"sys/class/power_supply/BAT0/type", "Battery"},
                           {"sys/class/power_supply/BAT0/status", "Discharging"},
                           {"sys/class/power_supply/BAT0/capacity", "54"}});
  const clock_facts clock = read_clock_facts({0, 1}, laptop.root.string());
  EXPECT_EQ(clock_line(clock),
            "governors powersave, performance; boost off; 0.40-4.70 GHz the hardware's range; 1.20-3.10 GHz before "
            "the runs; on battery, discharging, 54%");
  // Nothing shown: nothing said.
  const fake_sysfs bare({{"sys/class/power_supply/ADP1/type", "Mains"}, {"sys/class/power_supply/ADP1/online", "1"}});
  EXPECT_EQ(clock_line(read_clock_facts({0, 1}, bare.root.string())), "on mains");
  EXPECT_EQ(frequency_text(current_frequencies({0, 1}, bare.root.string())), "");
}

}  // namespace
