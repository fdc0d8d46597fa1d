#include "tools/run/region_runs.hpp"

#include <elf.h>
#include <re2/re2.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "tools/catalog/suite_build.hpp"
#include "tools/catalog/text.hpp"
#include "tools/region_tool/region_record.hpp"
#include "tools/run/child_process.hpp"
#include "tools/run/command_output.hpp"
#include "tools/run/program_output.hpp"

namespace omp_sums {

namespace {

namespace fs = std::filesystem;

// Thread numbers past this are not a team of this machine's.
constexpr unsigned long kMostThreadNumber = 1 << 16;

bool seconds_in(const std::string& text, double& value) {
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end != text.c_str() && *end == '\0' && std::isfinite(value) && value >= 0;
}

// A place as the report shows it: no control character, and bounded (a template's name may run
// to pages).
std::string shown_place(std::string text) {
  constexpr std::size_t kLongestPlace = 400;
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  if (text.size() > kLongestPlace) text = valid_utf8(text.substr(0, kLongestPlace)) + "...";
  return text;
}

// Where each address of OBJECT lies, as addr2line reads its debug information: "file:line
// (function)", the function alone, or the object and offset where neither is known.
std::vector<std::string> places_in(const std::string& object, const std::vector<unsigned long long>& offsets) {
  const std::string name = fs::path(object).filename().string();
  std::vector<std::string> places;
  for (unsigned long long offset : offsets) places.push_back(printed("%s+0x%llx", name.c_str(), offset));
  std::vector<std::string> args{"-f", "-C", "-e", object};
  // The address a region returns to follows its call: the call's line is the byte before.
  for (unsigned long long offset : offsets) args.push_back(printed("0x%llx", offset > 0 ? offset - 1 : 0));
  const child_result found = run_child("/usr/bin/addr2line", args, current_environment(), {30, 1 << 20, 0.5, nullptr});
  if (found.exit_status != 0) return places;
  const std::vector<std::string> lines = lines_of(found.out);
  static const RE2 file_line(R"(^(?:.*/)?([^/]+):([0-9]+)(?: \(discriminator [0-9]+\))?$)");
  for (std::size_t k = 0; k < offsets.size() && 2 * k + 1 < lines.size(); ++k) {
    const std::string& function = lines[2 * k];
    std::string file;
    std::string line;
    if (RE2::FullMatch(lines[2 * k + 1], file_line, &file, &line) && line != "0") {
      places[k] = shown_place(file + ":" + line + (function == "??" ? "" : " (" + function + ")"));
    } else if (function != "??") {
      places[k] = shown_place(function + " in " + name);
    }
  }
  return places;
}

// True where PATH is an ELF program with no interpreter: linked statically, nothing can be loaded
// under it.
bool statically_linked(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  Elf64_Ehdr header{};
  if (!in.read(reinterpret_cast<char*>(&header), sizeof header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
      header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_phentsize != sizeof(Elf64_Phdr)) {
    return false;  // a script, or not a program this check knows
  }
  for (int k = 0; k < header.e_phnum; ++k) {
    Elf64_Phdr segment{};
    in.seekg(static_cast<std::streamoff>(header.e_phoff + k * sizeof segment));
    if (!in.read(reinterpret_cast<char*>(&segment), sizeof segment)) return false;
    if (segment.p_type == PT_INTERP) return false;
  }
  return header.e_type == ET_EXEC || header.e_type == ET_DYN;
}

std::string read_file(const std::string& path, bool& found) {
  std::ifstream in(path, std::ios::binary);
  found = static_cast<bool>(in);
  std::string text;
  // The record is a few lines per region; a bounded read keeps a runaway one from the memory.
  text.resize(kOutputCap);
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  return text;
}

}  // namespace

region_setup find_region_setup(const std::string& tool_dir) {
  region_setup setup;
  setup.tool = tool_dir + "/../" + std::string(kRegionToolFile);
  setup.runtime = std::string(kLibompRuntime);
  if (kRegionToolFile.empty() || access(setup.tool.c_str(), R_OK) != 0) {
    setup.problem = "this build has no region tool (it needs libomp-dev's omp-tools.h, and a build without sanitizers)";
  } else if (setup.runtime.empty() || access(setup.runtime.c_str(), R_OK) != 0) {
    setup.problem = "LLVM's OpenMP runtime, which the region tool needs, is not installed (apt-get install libomp-dev)";
  }
  return setup;
}

std::vector<std::string> region_environment(const std::vector<std::string>& case_env, const region_setup& setup,
                                            const std::string& record_path) {
  std::vector<std::string> env = case_env;
  std::string preload = setup.runtime;
  for (const std::string& variable : env) {
    if (variable.rfind("LD_PRELOAD=", 0) == 0 && variable.size() > 11) preload += ":" + variable.substr(11);
  }
  set_variable(env, "LD_PRELOAD", preload);
  set_variable(env, "OMP_TOOL", "enabled");
  set_variable(env, "OMP_TOOL_LIBRARIES", setup.tool);
  set_variable(env, regions::kRecordVariable, record_path);
  return env;
}

std::string read_region_record(const std::string& text, region_run& run, std::vector<std::string>& objects,
                               std::vector<unsigned long long>& offsets) {
  static const RE2 cost(R"(ns_per_event (\S+))");
  static const RE2 region(R"(region 0x([0-9a-f]{1,16}) ([0-9]+) ([0-9]+) (\S+) ([0-9]+) 0x([0-9a-f]+) (.*))");
  static const RE2 thread(R"(thread ([0-9]+) (\S+) (\S+) (\S+) (\S+))");
  const std::vector<std::string> lines = lines_of(text);
  run.regions.clear();
  objects.clear();
  offsets.clear();
  const auto refuse = [&](const std::string& why) {
    run.regions.clear();
    return "its region record " + why;
  };
  if (lines.empty() || lines[0] != regions::kRecordTag) return refuse("does not begin with its tag");
  std::string number;
  if (lines.size() < 2 || !RE2::FullMatch(lines[1], cost, &number) || !seconds_in(number, run.ns_per_event))
    return refuse("gives no cost per event");
  for (std::size_t k = 2; k < lines.size(); ++k) {
    long long instances = 0;
    int team = 0;
    long long events = 0;
    std::string wall;
    std::string object;
    std::string offset;
    unsigned long number_of_thread = 0;
    std::string parts[4];
    std::string address;
    if (RE2::FullMatch(lines[k], region, &address, &instances, &team, &wall, &events, &offset, &object)) {
      if (run.regions.size() > regions::kMostRegions) return refuse("holds more regions than the tool keeps");
      recorded_region added;
      added.instances = instances;
      added.team = team;
      added.events = events;
      if (!seconds_in(wall, added.wall) || instances <= 0 || team <= 0 || offset.size() > 16)
        return refuse("has a region line out of bounds: " + kept_line(lines[k], 200));
      run.regions.push_back(added);
      // The regions past the tool's bound have no place of their own.
      const bool together = std::strtoull(address.c_str(), nullptr, 16) == 0;
      objects.push_back(together ? "" : object);
      offsets.push_back(together ? 0 : std::strtoull(offset.c_str(), nullptr, 16));
    } else if (RE2::FullMatch(lines[k], thread, &number_of_thread, &parts[0], &parts[1], &parts[2], &parts[3])) {
      region_time time;
      if (run.regions.empty() || number_of_thread >= kMostThreadNumber || !seconds_in(parts[0], time.work) ||
          !seconds_in(parts[1], time.barrier) || !seconds_in(parts[2], time.lock) ||
          !seconds_in(parts[3], time.overhead)) {
        return refuse("has a thread line out of place or bounds: " + kept_line(lines[k], 200));
      }
      std::vector<region_time>& threads = run.regions.back().threads;
      if (threads.size() <= number_of_thread) threads.resize(number_of_thread + 1);
      threads[number_of_thread] = time;
    } else {
      return refuse("has a line it cannot read: " + kept_line(lines[k], 200));
    }
  }
  return {};
}

std::vector<region_run> run_region_rounds(const run_plan& plan, const region_setup& setup, int repeat,
                                          const runner_settings& settings) {
  std::vector<region_run> runs;
  const bool progress = isatty(STDERR_FILENO) != 0;
  std::string directory = (fs::temp_directory_path() / "sum_compare-regions-XXXXXX").string();
  if (mkdtemp(directory.data()) == nullptr) return runs;
  const std::vector<std::string> caller_env = current_environment();
  const run_limits limits{plan.timeout_seconds, kOutputCap, 0.5, settings.interrupted};
  const int processors = static_cast<int>(std::max(sysconf(_SC_NPROCESSORS_CONF), 1L));
  std::map<std::pair<std::string, unsigned long long>, std::string> places;
  std::vector<std::pair<std::vector<std::string>, std::vector<unsigned long long>>> addresses;
  int count = 0;
  for (int round = 1; round <= repeat && (settings.interrupted == nullptr || *settings.interrupted == 0); ++round) {
    for (const run_case& c : plan.cases) {
      if (c.program->role == program_role::calibration || c.program->role == program_role::serial_reference) continue;
      if (settings.interrupted != nullptr && *settings.interrupted != 0) break;
      if (progress) {
        std::fputs(("\r" + terminal_line(printed("region run %d: ", ++count) + case_name(plan, c)) + "\x1b[K").c_str(),
                   stderr);
      }
      region_run run{c, round, {}, -1, -1, {}};
      const command_wanted* command = command_of(plan, c);
      std::string path = program_path(plan, c);
      if (command != nullptr && path.find('/') == std::string::npos) path = in_path(path);
      if (statically_linked(path)) {
        run.problem = "it is linked statically, so LD_PRELOAD cannot put LLVM's runtime and the tool under it";
        runs.push_back(run);
        addresses.emplace_back();
        continue;
      }
      const std::string record = directory + printed("/run-%d", count);
      const std::vector<std::string> env = region_environment(case_environment(plan, c, caller_env), setup, record);
      const auto start = std::chrono::steady_clock::now();
      const child_result result = run_child(program_path(plan, c), program_arguments(plan, c), env, limits);
      if (result.failure == "interrupted") {
        unlink(record.c_str());
        break;
      }
      const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      const program_run reading = command != nullptr ? read_command_run(*command, c.threads, result, elapsed,
                                                                        {processors, 1.0 * plan.timeout_seconds})
                                                     : read_run(*c.program, elements_of(plan, c), c.threads, result);
      run.seconds = reading.seconds;
      bool found = false;
      const std::string text = read_file(record, found);
      unlink(record.c_str());
      std::vector<std::string> objects;
      std::vector<unsigned long long> offsets;
      if (!reading.problem.empty()) {
        run.problem = "the run under the tool failed: " + kept_line(reading.problem, 200);
      } else if (!found) {
        run.problem =
            "the region tool left no record: it started no OpenMP runtime that LLVM's could stand in for (another "
            "runtime, or none), or it ended before the runtime shut down";
      } else {
        run.problem = read_region_record(text, run, objects, offsets);
      }
      runs.push_back(run);
      addresses.emplace_back(objects, offsets);
    }
  }
  rmdir(directory.c_str());
  if (progress) std::fputs("\r\x1b[K", stderr);

  // Each object's addresses resolved by one addr2line.
  std::map<std::string, std::set<unsigned long long>> by_object;
  for (const auto& [objects, offsets] : addresses) {
    for (std::size_t k = 0; k < objects.size(); ++k) {
      if (!objects[k].empty()) by_object[objects[k]].insert(offsets[k]);
    }
  }
  places[{"", 0}] = kOtherRegionsPlace;
  for (const auto& [object, offset_set] : by_object) {
    const std::vector<unsigned long long> offsets(offset_set.begin(), offset_set.end());
    const std::vector<std::string> named = places_in(object, offsets);
    for (std::size_t k = 0; k < offsets.size(); ++k) places[{object, offsets[k]}] = named[k];
  }
  for (std::size_t r = 0; r < runs.size(); ++r) {
    const auto& [objects, offsets] = addresses[r];
    for (std::size_t k = 0; k < runs[r].regions.size(); ++k)
      runs[r].regions[k].where = places[{objects[k], offsets[k]}];
  }
  return runs;
}

}  // namespace omp_sums
