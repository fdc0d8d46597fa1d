// Runs a program as a child process with an environment of its own and captures what it prints,
// within limits: a time limit, a cap on each output stream, and a stop when the caller is
// interrupted. Each child leads a process group of its own, which is stopped as a whole.
#pragma once

#include <csignal>
#include <cstddef>
#include <string>
#include <vector>

namespace omp_sums {

struct child_result {
  int exit_status = 0;           // the child's exit code, or 128 + signal number when a signal ended it
  std::string out;               // what it wrote to standard output (up to the cap)
  std::string err;               // what it wrote to standard error (up to the cap)
  std::string failure;           // why the run was stopped ("timed out after 5 s", ...); empty if it was not
  int signal_number = 0;         // the signal that ended it, or 0
  std::vector<int> left_behind;  // processes of its tree that escaped its group, then were stopped
  double cpu_seconds = 0;        // the user and system time of the child and the children it waited for
};

struct run_limits {
  int timeout_seconds = 0;          // 0: no time limit
  std::size_t output_cap = 0;       // bytes kept of each stream; 0: no cap; past it the run stops
  double exit_grace_seconds = 0.5;  // reading goes on this long after the child itself exited
  const volatile std::sig_atomic_t* interrupted = nullptr;  // set by a signal handler: stop now
};

// This process's environment.
std::vector<std::string> current_environment();

// This process's environment without the OpenMP runtimes' settings: every OMP_* variable and
// GCC's GOMP_* and LLVM's KMP_* ones.
std::vector<std::string> environment_without_runtime_settings();

// True for OMP_*, GOMP_* and KMP_* variables ("NAME=value" or "NAME").
bool is_runtime_setting(const std::string& variable);

// Sets name=value in env, replacing an earlier setting of the same name.
void set_variable(std::vector<std::string>& env, const std::string& name, const std::string& value);

// Where PATH finds NAME as a shell would, or NAME (with errno ENOENT) where it finds none.
std::string in_path(const std::string& name);

// Makes this process the reaper of its descendants' orphans, so that run_child can reap the
// whole of a child's process group, grandchildren included, before it returns.
void adopt_orphans();

// Runs path with args (argv[1...]) and env; a path without a slash is looked up in PATH.
// Failure to start (no pipe, no fork, no exec) is reported as status 127, with the reason, its
// errno's text, in failure. The child is the run's keeper: it leads the run's process group,
// starts the program and ends as it ends, with its status; it is the subreaper of everything the
// program starts, and when this process dies, even by SIGKILL (PR_SET_PDEATHSIG), it kills all
// of it. When a limit stops the run, its process group gets SIGTERM, then SIGKILL, and failure
// says why. Once the program has exited, whatever is left of its group is killed (and reaped,
// after adopt_orphans(); then what escaped the group is killed too and listed in left_behind).
// The program starts with no descriptor but the three streams, every signal at its default
// action and none blocked.
child_result run_child(const std::string& path, const std::vector<std::string>& args,
                       const std::vector<std::string>& env, const run_limits& limits = {});

}  // namespace omp_sums
