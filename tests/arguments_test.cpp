// Every program fed element counts at the edges of the conversion rules, and the programs with
// a data array run under an address-space limit too low for it.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/demo_checks.hpp"
#include "tests/program_harness.hpp"

using namespace omp_sums;

namespace {

struct argument_case {
  std::string argument;
  long long n;  // what base-10 strtol makes of it, cut to 32 bits
};

const std::vector<argument_case>& argument_cases() {
  // clang-format off
  static const std::vector<argument_case> cases = {
      {"", 0}, {" ", 0}, {"abc", 0}, {"-0", 0}, {"+0", 0}, {"+7", 7}, {"-1", -1}, {"-3", -3},
      {" 42", 42}, {"  12", 12}, {"\t12", 12}, {"\n 12", 12}, {"12 ", 12}, {"12\t7", 12}, {"12abc", 12},
      {"12.9", 12}, {"1,000", 1}, {"1e3", 1}, {"0012", 12}, {"0x10", 0}, {"+-3", 0}, {"--3", 0},
      {"- 3", 0}, {"\t-3", -3},
      {"2147483647x", 2147483647},  // counted by iteration_count; an array would need 16 GiB
      {"4294967296", 0}, {"4294967396", 100}, {"4294967297", 1}, {"4294968296", 1000}, {"-4294967295", 1},
      {"2147483648", -2147483648LL}, {"-2147483648", -2147483648LL}, {"-2147483649", 2147483647},
      {"9223372036854775807", -1}, {"9223372036854775808", -1}, {"18446744073709551616", -1},
      {"-9223372036854775808", 0}, {"-9223372036854775809", 0}, {"99999999999999999999", -1},
      {"\xd9\xa3", 0},            // ARABIC-INDIC DIGIT THREE
      {"\xef\xbc\x93", 0},        // FULLWIDTH DIGIT THREE
      {"7\xd9\xa3", 7}, {"\xc2\xa0" "5", 0},  // a no-break space is no blank to strtol
  };
  // clang-format on
  return cases;
}

#ifdef SUITE_SANITIZED
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Runs whose arrays the machine would really have to provide are left out: the limits are
// reached through the wrap to 32 bits, which maps them onto small or negative counts.
bool is_runnable(long long n) { return n <= 100000; }

// 2^31 - 1 iterations take seconds, and far longer under a sanitizer.
bool is_countable(long long n) { return n <= 100000 || !kSanitized; }

void check_array_program(const program_description& array_program, const argument_case& c) {
  const child_result run = run_with_threads(std::string(array_program.name), {c.argument, "5"}, 2);
  EXPECT_EQ(run.err, "");
  if (c.n < 0) {
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.out, memory_message(c.n));
    return;
  }
  EXPECT_EQ(read_run(array_program, c.n, array_program.on_team ? 2 : 1, run).problem, "") << run.out;
}

void check_iteration_count(const argument_case& c) {
  const child_result run = run_with_threads("iteration_count", {c.argument}, 2);
  const iteration_report report = read_counts(run, 2);
  const long long n = c.n;
  const long long positive = n > 0 ? n : 0;
  EXPECT_EQ(report.counts,
            (std::map<int, int>{{0, static_cast<int>((positive + 1) / 2)}, {1, static_cast<int>(positive / 2)}}));
  const std::uint32_t index_sum = static_cast<std::uint32_t>(static_cast<std::uint64_t>(positive * (positive - 1) / 2));
  const long long expected = (n - 1) * n / 2;
  EXPECT_EQ(report.index_sum, std::to_string(index_sum));
  EXPECT_EQ(report.expected, std::to_string(expected));
}

TEST(OddArguments, EveryProgramFollowsTheConversionRules) {
  for (const argument_case& c : argument_cases()) {
    SCOPED_TRACE("argument [" + c.argument + "] as " + std::to_string(c.n));
    if (is_runnable(c.n)) {
      for (const program_description& array_program : kPrograms) {
        SCOPED_TRACE(std::string(array_program.name));
        if (array_program.allocates) check_array_program(array_program, c);
      }
    }
    if (is_countable(c.n)) {
      SCOPED_TRACE("iteration_count");
      check_iteration_count(c);
    }
    if (kHaveLibomp) expect_stack_report(run_with_threads("thread_stacks", {c.argument}, 2), 2);
  }
}

TEST(ResourceFaults, AnArrayBeyondTheAddressLimitGivesTheMessageAlone) {
#ifdef SUITE_SANITIZED
  GTEST_SKIP() << "sanitizer runtimes reserve more address space than the limit allows";
#else
  for (const program_description& array_program : kPrograms) {
    if (!array_program.allocates) continue;
    const std::string name(array_program.name);
    SCOPED_TRACE(name);
    // 100000000 doubles (800 MB) fit this machine, but not 512 MiB of address space.
    const child_result run =
        run_child(helper_path("with_address_limit"), {"536870912", program_path(name), "100000000"},
                  environment_without_runtime_settings());
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.out, memory_message(100000000));
    EXPECT_EQ(run.err, "");
    // The same count under a limit that holds it runs normally.
    const child_result roomy =
        run_child(helper_path("with_address_limit"), {"4294967296", program_path(name), "1000000"},
                  environment_without_runtime_settings());
    EXPECT_EQ(roomy.exit_status, 0) << roomy.out << roomy.err;
  }
#endif
}

}  // namespace
