// sum_compare: runs the array-sum programs side by side over a range of team sizes, repeats
// every case, validates every run, and reports medians, spread and speed-ups, with optional
// CSV, JSON and a gnuplot chart.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tools/child_process.hpp"
#include "tools/compare_runs.hpp"

extern char** environ;

namespace {

const char* const kUsage =
    "usage: sum_compare [options]\n"
    "Runs the array-sum programs interleaved, one warm-up and R measured runs per case, and\n"
    "prints median / min / max wall-clock seconds, spread, thread time, ns per element per thread\n"
    "and the speed-up over one thread. Every OMP_* variable but OMP_NUM_THREADS passes through.\n"
    "\n"
    "  --programs a,b,...  programs to run (default: all of sum_baseline_serial, sum_baseline,\n"
    "                      sum_walltime, sum_slots_packed, sum_slots_padded, sum_first_touch)\n"
    "  --threads 1,2,4     team sizes, each set as OMP_NUM_THREADS (default: 1 to the processors)\n"
    "  --size N            elements per run (default 20000000)\n"
    "  --repeat R          measured runs per case, after one discarded warm-up (default 7)\n"
    "  --csv FILE          one row per measured run\n"
    "  --json FILE         runs and aggregates\n"
    "  --plot FILE         wall time against team size, FILE ending in .svg or .png (gnuplot)\n"
    "  --bin DIR           where the programs are (default: beside sum_compare)\n"
    "  --help              this text\n"
    "Exit status: 0, 1 when a run failed validation or an output could not be written, 2 for a\n"
    "bad option.\n";

struct run_record {
  std::string program;
  int threads;
  int run;  // 1..R; the warm-up is not recorded
  run_reading reading;
};

struct case_stats {
  std::string program;
  int threads;
  int valid_runs = 0;
  summary wall{0, 0, 0};
  double spread_percent = 0;   // (max - min) / median
  double thread_median = -1;   // -1: the program prints no thread time
  double ns_per_element_per_thread = 0;
  double speedup = -1;         // -1: no one-thread case of the same program
};

std::string own_directory() {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return ".";
  path[length] = '\0';
  char* slash = std::strrchr(path, '/');
  if (slash != nullptr) *slash = '\0';
  return path;
}

std::string processor_model() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
  }
  return "unknown processor";
}

// The caller's OMP_* settings, which every run inherits.
std::vector<std::string> omp_settings() {
  std::vector<std::string> settings;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string variable = *entry;
    if (variable.rfind("OMP_", 0) == 0 && variable.rfind("OMP_NUM_THREADS=", 0) != 0) settings.push_back(variable);
  }
  return settings;
}

std::string joined(const std::vector<std::string>& items, const std::string& separator) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : separator) + item;
  return text;
}

void print_header(const compare_options& options, const std::string& bin) {
  std::vector<std::string> teams;
  for (int t : options.threads) teams.push_back(std::to_string(t));
  const std::vector<std::string> settings = omp_settings();
  std::printf("sum_compare: %d elements, %d measured runs per case after one warm-up, threads %s\n",
              options.size, options.repeat, joined(teams, ",").c_str());
  std::printf("processor:   %s, %ld online\n", processor_model().c_str(), sysconf(_SC_NPROCESSORS_ONLN));
  std::printf("OMP_*:       %s\n", settings.empty() ? "none set besides OMP_NUM_THREADS" : joined(settings, " ").c_str());
  std::printf("build:       %s; optimised %s; serial %s\n", SUITE_COMPILER, SUITE_FLAGS_OPTIMISED, SUITE_FLAGS_SERIAL);
  std::printf("programs:    %s\n\n", bin.c_str());
}

// The team sizes a program is run with: the serial build ignores OMP_NUM_THREADS.
std::vector<int> teams_for(const std::string& program, const std::vector<int>& threads) {
  if (program == "sum_baseline_serial") return {1};
  return threads;
}

std::vector<run_record> run_all(const compare_options& options, const std::string& bin, int& failures) {
  int total = 0;
  for (const std::string& program : options.programs) total += static_cast<int>(teams_for(program, options.threads).size());
  total *= options.repeat + 1;
  const bool progress = isatty(STDERR_FILENO) != 0;
  std::vector<std::string> env = current_environment();
  std::vector<run_record> records;
  int done = 0;
  // Repeats on the outside: every case runs once before any runs again, so drift hits all alike.
  for (int run = 0; run <= options.repeat; ++run) {
    for (int threads : options.threads) {
      for (const std::string& program : options.programs) {
        const std::vector<int> teams = teams_for(program, options.threads);
        if (std::find(teams.begin(), teams.end(), threads) == teams.end()) continue;
        ++done;
        if (progress) std::fprintf(stderr, "\rcase %d of %d: %s on %d threads   ", done, total, program.c_str(), threads);
        set_variable(env, "OMP_NUM_THREADS", std::to_string(threads));
        const child_result result = run_child(bin + "/" + program, {std::to_string(options.size)}, env);
        run_reading reading = read_run(program, options.size, threads, result);
        if (!reading.problem.empty()) {
          ++failures;
          if (progress) std::fputc('\n', stderr);
          std::fprintf(stderr, "FAILED: %s on %d threads (run %d): %s\n--- its output ---\n%s--- its standard error ---\n%s---\n",
                       program.c_str(), threads, run, reading.problem.c_str(), result.out.c_str(), result.err.c_str());
        }
        if (run > 0) records.push_back({program, threads, run, reading});
      }
    }
  }
  if (progress) std::fprintf(stderr, "\r%*s\r", 60, "");
  return records;
}

std::vector<case_stats> aggregate(const compare_options& options, const std::vector<run_record>& records) {
  std::vector<case_stats> cases;
  std::map<std::string, double> one_thread_median;
  for (int threads : options.threads) {
    for (const std::string& program : options.programs) {
      std::vector<double> walls;
      std::vector<double> thread_times;
      for (const run_record& r : records) {
        if (r.program != program || r.threads != threads || !r.reading.problem.empty()) continue;
        walls.push_back(r.reading.seconds);
        if (r.reading.thread_seconds >= 0) thread_times.push_back(r.reading.thread_seconds);
      }
      if (walls.empty()) continue;
      case_stats c;
      c.program = program;
      c.threads = threads;
      c.valid_runs = static_cast<int>(walls.size());
      c.wall = summarise(walls);
      c.spread_percent = c.wall.median > 0 ? 100.0 * (c.wall.max - c.wall.min) / c.wall.median : 0.0;
      if (!thread_times.empty()) c.thread_median = summarise(thread_times).median;
      c.ns_per_element_per_thread = c.wall.median * threads / options.size * 1e9;
      if (threads == 1) one_thread_median[program] = c.wall.median;
      if (one_thread_median.count(program) != 0 && c.wall.median > 0) {
        c.speedup = one_thread_median[program] / c.wall.median;
      }
      cases.push_back(c);
    }
  }
  return cases;
}

void print_table(const std::vector<case_stats>& cases) {
  std::printf("%-20s %7s %11s %11s %11s %7s %11s %9s %8s\n", "program", "threads", "median s", "min s",
              "max s", "spread", "thread s", "ns/elem", "speed-up");
  for (const case_stats& c : cases) {
    char thread_time[32] = "-";
    if (c.thread_median >= 0) std::snprintf(thread_time, sizeof thread_time, "%.6f", c.thread_median);
    char speedup[32] = "-";
    if (c.speedup >= 0) std::snprintf(speedup, sizeof speedup, "%.2fx", c.speedup);
    std::printf("%-20s %7d %11.6f %11.6f %11.6f %6.1f%% %11s %9.3f %8s\n", c.program.c_str(), c.threads,
                c.wall.median, c.wall.min, c.wall.max, c.spread_percent, thread_time,
                c.ns_per_element_per_thread, speedup);
  }
  std::printf("(seconds are medians of the measured runs; the serial build reports process CPU time;\n"
              " ns/elem is the median time per element a thread handles; speed-up is over the same\n"
              " program on one thread)\n\n");
}

const case_stats* find_case(const std::vector<case_stats>& cases, const std::string& program, int threads) {
  for (const case_stats& c : cases) {
    if (c.program == program && c.threads == threads) return &c;
  }
  return nullptr;
}

void print_headlines(const compare_options& options, const std::vector<case_stats>& cases) {
  std::printf("What the run shows:\n");
  int said = 0;
  for (int threads : options.threads) {
    const case_stats* packed = find_case(cases, "sum_slots_packed", threads);
    const case_stats* padded = find_case(cases, "sum_slots_padded", threads);
    if (packed == nullptr || padded == nullptr || padded->wall.median <= 0) continue;
    std::printf("- On %d thread%s, packed slots take %.2fx the time of padded slots%s.\n", threads,
                threads == 1 ? "" : "s", packed->wall.median / padded->wall.median,
                threads == 1 ? " (one thread: no line is shared)" : " (the cost of false sharing)");
    ++said;
  }
  for (int threads : options.threads) {
    const case_stats* reduction = find_case(cases, "sum_walltime", threads);
    if (threads == 1 || reduction == nullptr || reduction->speedup < 0) continue;
    std::printf("- The reduction (sum_walltime) speeds up %.2fx from one thread to %d (ideal %d).\n",
                reduction->speedup, threads, threads);
    ++said;
  }
  const case_stats* single = find_case(cases, "sum_walltime", 1);
  if (single != nullptr) {
    std::printf("- One thread adds an element every %.3f ns: the in-order limit of one dependent\n"
                "  floating-point add per element on this machine.\n",
                single->ns_per_element_per_thread);
    if (options.size < 1000000) {
      std::printf("  (with only %d elements the times are mostly the regions' start-up, not the adds)\n",
                  options.size);
    }
    ++said;
  }
  if (said == 0) std::printf("- (run sum_walltime and both slot programs to get the headlines)\n");
  std::printf("\n");
}

std::string csv_field(const std::string& text) {
  if (text.find_first_of(",\"\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string json_string(const std::string& text) {
  std::string quoted = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      quoted += escape;
    } else {
      quoted += static_cast<char>(c);
    }
  }
  return quoted + "\"";
}

// A JSON number, or null for the "not printed" marker.
std::string json_number(double value) {
  if (value < 0 || !std::isfinite(value)) return "null";
  char text[64];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

bool write_csv(const std::string& path, const compare_options& options, const std::vector<run_record>& records) {
  std::ofstream file(path);
  file << "program,threads,run,elements,wall_seconds,thread_seconds,sum,valid,problem\n";
  for (const run_record& r : records) {
    file << r.program << ',' << r.threads << ',' << r.run << ',' << options.size << ','
         << json_number(r.reading.seconds) << ','
         << (r.reading.thread_seconds >= 0 ? json_number(r.reading.thread_seconds) : "") << ','
         << csv_field(r.reading.sum) << ',' << (r.reading.problem.empty() ? 1 : 0) << ','
         << csv_field(r.reading.problem) << '\n';
  }
  return static_cast<bool>(file.flush());
}

bool write_json(const std::string& path, const compare_options& options, const std::vector<run_record>& records,
                const std::vector<case_stats>& cases) {
  std::ofstream file(path);
  file << "{\n  \"elements\": " << options.size << ",\n  \"repeat\": " << options.repeat
       << ",\n  \"processor\": " << json_string(processor_model())
       << ",\n  \"processors_online\": " << sysconf(_SC_NPROCESSORS_ONLN)
       << ",\n  \"compiler\": " << json_string(SUITE_COMPILER)
       << ",\n  \"omp_settings\": [";
  const std::vector<std::string> settings = omp_settings();
  for (std::size_t k = 0; k < settings.size(); ++k) file << (k ? ", " : "") << json_string(settings[k]);
  file << "],\n  \"runs\": [";
  for (std::size_t k = 0; k < records.size(); ++k) {
    const run_record& r = records[k];
    file << (k ? "," : "") << "\n    {\"program\": " << json_string(r.program) << ", \"threads\": " << r.threads
         << ", \"run\": " << r.run << ", \"wall_seconds\": " << json_number(r.reading.seconds)
         << ", \"thread_seconds\": " << json_number(r.reading.thread_seconds)
         << ", \"sum\": " << json_string(r.reading.sum) << ", \"valid\": " << (r.reading.problem.empty() ? "true" : "false")
         << ", \"problem\": " << json_string(r.reading.problem) << "}";
  }
  file << "\n  ],\n  \"aggregates\": [";
  for (std::size_t k = 0; k < cases.size(); ++k) {
    const case_stats& c = cases[k];
    file << (k ? "," : "") << "\n    {\"program\": " << json_string(c.program) << ", \"threads\": " << c.threads
         << ", \"valid_runs\": " << c.valid_runs << ", \"median_seconds\": " << json_number(c.wall.median)
         << ", \"min_seconds\": " << json_number(c.wall.min) << ", \"max_seconds\": " << json_number(c.wall.max)
         << ", \"spread_percent\": " << json_number(c.spread_percent)
         << ", \"median_thread_seconds\": " << json_number(c.thread_median)
         << ", \"ns_per_element_per_thread\": " << json_number(c.ns_per_element_per_thread)
         << ", \"speedup\": " << json_number(c.speedup) << "}";
  }
  file << "\n  ]\n}\n";
  return static_cast<bool>(file.flush());
}

std::string find_in_path(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream directories(path != nullptr ? path : "/usr/bin:/bin");
  std::string directory;
  while (std::getline(directories, directory, ':')) {
    const std::string candidate = (directory.empty() ? "." : directory) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

// Median wall time against team size, one line per program, drawn by gnuplot.
bool write_plot(const std::string& path, const compare_options& options, const std::vector<case_stats>& cases) {
  const std::string gnuplot = find_in_path("gnuplot");
  if (gnuplot.empty()) {
    std::fprintf(stderr, "sum_compare: --plot needs gnuplot, which is not installed here; "
                         "install it with: apt-get install gnuplot-nox\n");
    return false;
  }
  std::string script;
  const bool png = path.size() > 4 && path.compare(path.size() - 4, 4, ".png") == 0;
  script += png ? "set terminal png noenhanced size 900,560\n"
                 : "set terminal svg noenhanced size 900,560 dynamic\n";
  script += "set output '" + path + "'\n";
  script += "set title 'Median wall-clock time, " + std::to_string(options.size) + " elements'\n";
  script += "set xlabel 'threads'\nset ylabel 'seconds'\nset logscale y\nset key outside right\nset grid\n";
  script += "set xtics (";
  for (std::size_t k = 0; k < options.threads.size(); ++k) script += (k ? "," : "") + std::to_string(options.threads[k]);
  script += ")\nplot ";
  std::string data;
  bool first = true;
  for (const std::string& program : options.programs) {
    std::string points;
    for (const case_stats& c : cases) {
      if (c.program == program) points += std::to_string(c.threads) + " " + json_number(c.wall.median) + "\n";
    }
    if (points.empty()) continue;
    script += std::string(first ? "" : ", ") + "'-' using 1:2 with linespoints title '" + program + "'";
    data += points + "e\n";
    first = false;
  }
  if (first) return false;
  script += "\n" + data;

  char script_path[] = "/tmp/sum_compare_plot_XXXXXX";
  const int fd = mkstemp(script_path);
  if (fd < 0) return false;
  const bool written = write(fd, script.data(), script.size()) == static_cast<ssize_t>(script.size());
  close(fd);
  const child_result run = written ? run_child(gnuplot, {script_path}, current_environment()) : child_result{1, {}, {}};
  unlink(script_path);
  if (run.exit_status != 0) std::fprintf(stderr, "sum_compare: gnuplot failed: %s\n", run.err.c_str());
  return run.exit_status == 0;
}

}  // namespace

int main(int argc, char** argv) {
  compare_options options;
  const std::string problem = parse_compare_options(argc, argv, options);
  if (!problem.empty()) {
    std::fprintf(stderr, "sum_compare: %s\n(sum_compare --help lists the options)\n", problem.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (options.threads.empty()) {
    for (long t = 1; t <= sysconf(_SC_NPROCESSORS_ONLN); ++t) options.threads.push_back(static_cast<int>(t));
  }
  const std::string bin = options.bin_dir.empty() ? own_directory() : options.bin_dir;

  print_header(options, bin);
  std::fflush(stdout);
  int failures = 0;
  const std::vector<run_record> records = run_all(options, bin, failures);
  const std::vector<case_stats> cases = aggregate(options, records);
  print_table(cases);
  print_headlines(options, cases);

  bool outputs_ok = true;
  if (!options.csv_path.empty() && !write_csv(options.csv_path, options, records)) {
    std::fprintf(stderr, "sum_compare: cannot write %s\n", options.csv_path.c_str());
    outputs_ok = false;
  }
  if (!options.json_path.empty() && !write_json(options.json_path, options, records, cases)) {
    std::fprintf(stderr, "sum_compare: cannot write %s\n", options.json_path.c_str());
    outputs_ok = false;
  }
  if (!options.plot_path.empty() && !write_plot(options.plot_path, options, cases)) outputs_ok = false;
  if (failures > 0) std::printf("%d run%s failed validation: see standard error.\n", failures, failures == 1 ? "" : "s");
  return failures == 0 && outputs_ok ? 0 : 1;
}
