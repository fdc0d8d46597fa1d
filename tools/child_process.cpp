#include "tools/child_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>

extern char** environ;

std::vector<std::string> current_environment() {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) env.emplace_back(*entry);
  return env;
}

bool is_runtime_setting(const std::string& variable) {
  return variable.rfind("OMP_", 0) == 0 || variable.rfind("GOMP_", 0) == 0 || variable.rfind("KMP_", 0) == 0;
}

std::vector<std::string> environment_without_runtime_settings() {
  std::vector<std::string> env = current_environment();
  std::erase_if(env, is_runtime_setting);
  return env;
}

void set_variable(std::vector<std::string>& env, const std::string& name, const std::string& value) {
  const std::string prefix = name + "=";
  for (std::string& variable : env) {
    if (variable.rfind(prefix, 0) == 0) {
      variable = prefix + value;
      return;
    }
  }
  env.push_back(prefix + value);
}

namespace {

using clock_type = std::chrono::steady_clock;

std::vector<char*> c_strings(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

// True once the child has exited; it is left unreaped, so that its process group id stays its own.
bool has_exited(pid_t pid) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
}

// SIGTERM to the child's group, and up to two seconds for the child to go.
void stop_group(pid_t pid) {
  kill(-pid, SIGTERM);
  const auto give_up = clock_type::now() + std::chrono::seconds(2);
  while (!has_exited(pid) && clock_type::now() < give_up) poll(nullptr, 0, 10);
}

std::string stream_name(int k) { return k == 0 ? "standard output" : "standard error"; }

// Reads both pipes until the child has exited and they are drained (or the grace after its exit
// is over), or until a limit stops it; returns why it stopped the child, or "". Closes each
// pipe it drains (setting its fd to -1); the caller closes what is left open.
std::string read_within_limits(pid_t pid, pollfd (&pipes)[2], child_result& result, const run_limits& limits) {
  std::string* sinks[2] = {&result.out, &result.err};
  // The pidfd turns readable when the child exits, so that poll wakes for that at once too.
  const int exit_fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));  // -1 before Linux 5.3: poll skips it
  pollfd fds[3] = {pipes[0], pipes[1], {exit_fd, POLLIN, 0}};
  const clock_type::time_point never = clock_type::time_point::max();
  const clock_type::time_point deadline =
      limits.timeout_seconds > 0 ? clock_type::now() + std::chrono::seconds(limits.timeout_seconds) : never;
  clock_type::time_point grace_over = never;
  std::string failure;
  char buffer[65536];
  while (failure.empty()) {
    if (limits.interrupted != nullptr && *limits.interrupted != 0) {
      failure = "interrupted";
      break;
    }
    const clock_type::time_point now = clock_type::now();
    if (grace_over == never && has_exited(pid)) {
      grace_over = now + std::chrono::duration_cast<clock_type::duration>(
                             std::chrono::duration<double>(limits.exit_grace_seconds));
      if (fds[2].fd >= 0) close(fds[2].fd);
      fds[2].fd = -1;
    }
    const bool drained = fds[0].fd < 0 && fds[1].fd < 0;
    if (grace_over != never && (drained || now >= grace_over)) break;  // past the grace: a leftover holds the pipes
    if (grace_over == never && now >= deadline) {
      failure = "timed out after " + std::to_string(limits.timeout_seconds) + " s";
      break;
    }

    // Wake at least every 50 ms to see an interruption, or the exit where there is no pidfd.
    const clock_type::time_point wake = std::min({now + std::chrono::milliseconds(50), deadline, grace_over});
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(wake - now).count();
    if (poll(fds, 3, static_cast<int>(std::max<long long>(wait, 0))) <= 0) continue;
    for (int k = 0; k < 2 && failure.empty(); ++k) {
      if (fds[k].fd < 0 || fds[k].revents == 0) continue;
      const ssize_t got = read(fds[k].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[k]->append(buffer, static_cast<std::size_t>(got));
        if (limits.output_cap > 0 && sinks[k]->size() > limits.output_cap) {
          sinks[k]->resize(limits.output_cap);
          failure = "output too large: more than " + std::to_string(limits.output_cap) + " bytes on " + stream_name(k);
        }
      } else if (got == 0 || errno != EINTR) {
        close(fds[k].fd);
        fds[k].fd = -1;
      }
    }
  }
  if (!failure.empty()) stop_group(pid);
  if (fds[2].fd >= 0) close(fds[2].fd);
  pipes[0].fd = fds[0].fd;
  pipes[1].fd = fds[1].fd;
  return failure;
}

// The pids of this process's children, adopted ones included.
std::vector<int> adopted_children() {
  std::vector<int> children;
  std::error_code error;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
    std::ifstream list(task.path() / "children");
    for (int pid = 0; list >> pid;) children.push_back(pid);
  }
  return children;
}

}  // namespace

void adopt_orphans() { prctl(PR_SET_CHILD_SUBREAPER, 1); }

child_result run_child(const std::string& path, const std::vector<std::string>& args,
                       const std::vector<std::string>& env, const run_limits& limits) {
  child_result result;
  result.exit_status = 127;
  int out_pipe[2];
  int err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0) return result;
  if (pipe2(err_pipe, O_CLOEXEC) != 0) {
    close(out_pipe[0]);
    close(out_pipe[1]);
    return result;
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  // Nothing of this process's beyond the three streams, whoever opened it without close-on-exec.
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

  // A process group of its own, and the signal dispositions and mask of a fresh process (this
  // one ignores SIGPIPE, catches the stop signals, and may have inherited ignored ones).
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setpgroup(&attributes, 0);
  // Every bit set, not sigfillset: that leaves out the C library's own real-time signals, which
  // posix_spawn would then hand over ignored.
  sigset_t defaults;
  std::memset(&defaults, 0xff, sizeof defaults);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  sigset_t no_signals;
  sigemptyset(&no_signals);
  posix_spawnattr_setsigmask(&attributes, &no_signals);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  std::vector<std::string> argv_strings{path};
  argv_strings.insert(argv_strings.end(), args.begin(), args.end());
  std::vector<std::string> env_strings = env;
  std::vector<char*> argv = c_strings(argv_strings);
  std::vector<char*> envp = c_strings(env_strings);

  const std::vector<int> children_before = adopted_children();
  pid_t pid = 0;
  // As execvp: a name without a slash is looked up in PATH.
  const auto spawn = path.find('/') == std::string::npos ? posix_spawnp : posix_spawn;
  const int spawn_error = spawn(&pid, path.c_str(), &actions, &attributes, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (spawn_error != 0) {
    close(out_pipe[0]);
    close(err_pipe[0]);
    result.err = std::string("cannot start ") + path + ": " + std::strerror(spawn_error);
    return result;
  }

  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  result.failure = read_within_limits(pid, fds, result, limits);
  for (const pollfd& left : fds) {
    if (left.fd >= 0) close(left.fd);
  }
  kill(-pid, SIGKILL);  // whatever is left of its group; the unreaped child keeps the group's id
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  // In a subreaper, the group's orphans are this process's children: reap them, so that none
  // outlives the run. Each exit hands its children over before it can be reaped itself.
  while (waitpid(-pid, nullptr, 0) > 0 || errno == EINTR) {
  }
  // What escaped the group (a new session, another group) and was handed to this process.
  for (int child : adopted_children()) {
    if (std::find(children_before.begin(), children_before.end(), child) != children_before.end()) continue;
    if (waitpid(child, nullptr, WNOHANG) == 0) result.left_behind.push_back(child);  // reaped if it ended
  }
  if (WIFEXITED(status)) {
    result.exit_status = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.exit_status = 128 + WTERMSIG(status);
    result.signal_number = WTERMSIG(status);
  }
  return result;
}
