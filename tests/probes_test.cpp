// The placement probes, called in this process.
#include <gtest/gtest.h>
#include <omp.h>
#include <sched.h>
#include <sys/mman.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/pages.hpp"
#include "common/probes.hpp"
#include "tools/catalog/programs.hpp"
#include "tools/run/program_output.hpp"

using namespace omp_sums;

namespace {

// Only pages that were touched count as placed: the untouched half of a mapping lies nowhere.
// On one NUMA node every touched page is beside this thread; a node that does not exist has none.
TEST(PagesOn, CountsTheTouchedPagesOnTheReadersNode) {
  const long page = sysconf(_SC_PAGESIZE);
  constexpr long kPages = 64;
  void* mapped = mmap(nullptr, kPages * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(mapped, MAP_FAILED);
  madvise(mapped, kPages * page, MADV_NOHUGEPAGE);
  double* array = static_cast<double*>(mapped);
  const long per_page = page / static_cast<long>(sizeof(double));
  for (long i = 0; i < kPages / 2 * per_page; ++i) array[i] = 1.0;

  const int node = node_of_this_thread();
  ASSERT_GE(node, 0);
  const double touched = percent_of_pages_on(array, array + kPages / 2 * per_page, node);
  const double half = percent_of_pages_on(array, array + kPages * per_page, node);
  EXPECT_EQ(percent_of_pages_on(array, array + kPages * per_page, 1 << 20), 0.0);
  EXPECT_EQ(percent_of_pages_on(array + 5, array + 5, node), 100.0);  // an empty block hides nothing
  int nodes = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/sys/devices/system/node")) {
    nodes += entry.path().filename().string().rfind("node", 0) == 0 ? 1 : 0;
  }
  if (nodes == 1) {
    EXPECT_EQ(touched, 100.0);
    EXPECT_EQ(half, 50.0);
  } else {
    EXPECT_GE(touched, 0.0);
    EXPECT_LE(half, 50.0);
  }
  munmap(mapped, kPages * page);
}

TEST(GetCpuId, ReportsTheProcessorTheThreadIsPinnedTo) {
  cpu_set_t original;
  ASSERT_EQ(sched_getaffinity(0, sizeof original, &original), 0);
  int pinned = 0;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (!CPU_ISSET(cpu, &original)) continue;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    EXPECT_EQ(get_cpu_id(), cpu);
    ++pinned;
  }
  ASSERT_EQ(sched_setaffinity(0, sizeof original, &original), 0);
  EXPECT_GT(pinned, 0);
}

int fields_in_stat_line() {
  std::ifstream file("/proc/self/stat");
  std::string line;
  std::getline(file, line);
  std::istringstream words(line);
  return static_cast<int>(
      std::distance(std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()));
}

int field_value(int field, int& status) {
  int value = 42;  // must be overwritten on every call
  status = read_proc__self_stat(field, &value);
  return value;
}

TEST(ReadProcSelfStat, ReadsNumericFieldsAndZeroForWords) {
  int status = -2;
  EXPECT_EQ(field_value(1, status), getpid());
  EXPECT_EQ(status, 0);
  EXPECT_EQ(field_value(4, status), getppid());
  EXPECT_EQ(status, 0);
  EXPECT_EQ(field_value(2, status), 0);  // "(frame_test...)": not a number
  EXPECT_EQ(status, 0);
  EXPECT_EQ(field_value(3, status), 0);  // the state letter
  EXPECT_EQ(status, 0);
  EXPECT_EQ(field_value(5, status), getpgrp());
  EXPECT_EQ(status, 0);
}

TEST(ReadProcSelfStat, FieldsOutsideTheLineFailWithZero) {
  // The command name of this test binary has no blank, so words and fields agree.
  const int last = fields_in_stat_line();
  ASSERT_GT(last, 40);
  int status = -2;
  field_value(last, status);
  EXPECT_EQ(status, 0);
  for (int field : {last + 1, last + 100, 0, -1, -2147483647 - 1, 2147483647}) {
    EXPECT_EQ(field_value(field, status), 0) << field;
    EXPECT_EQ(status, -1) << field;
  }
}

TEST(PlacementLine, OneWholeLinePerThreadWithTwoCharacterFields) {
  for (int threads : {1, 5, 12}) {
    testing::internal::CaptureStdout();
#pragma omp parallel num_threads(threads)
    print_placement_line(omp_get_thread_num());
    const std::string out = testing::internal::GetCapturedStdout();

    std::istringstream lines(out);
    std::string line;
    std::set<int> seen;
    int count = 0;
    while (std::getline(lines, line)) {
      ++count;
      const std::optional<std::vector<std::string>> fields = match_format(line, kPlacementLine);
      ASSERT_TRUE(fields) << line;
      const int core = std::stoi(fields->at(1));
      EXPECT_GE(core, 0);
      EXPECT_LT(core, CPU_SETSIZE);
      seen.insert(std::stoi(fields->at(0)));
    }
    EXPECT_EQ(count, threads) << out;
    EXPECT_EQ(static_cast<int>(seen.size()), threads);
    EXPECT_EQ(*seen.begin(), 0);
    EXPECT_EQ(*seen.rbegin(), threads - 1);
  }
}

}  // namespace
