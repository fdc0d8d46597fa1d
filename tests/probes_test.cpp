// The placement probes, called in this process.
#include <gtest/gtest.h>
#include <omp.h>
#include <sched.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/probes.hpp"
#include "tools/catalog/programs.hpp"
#include "tools/run/program_output.hpp"

namespace {

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
