#include "tools/run/child_process.hpp"

#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
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

namespace omp_sums {

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

std::string in_path(const std::string& name) {
  const char* path = std::getenv("PATH");
  const std::string directories = path != nullptr ? path : "/usr/bin:/bin";
  for (std::size_t at = 0; at <= directories.size();) {
    const std::size_t end = std::min(directories.find(':', at), directories.size());
    const std::string candidate = (end == at ? std::string(".") : directories.substr(at, end - at)) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    at = end + 1;
  }
  errno = ENOENT;
  return name;
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

namespace {

// In the program's process between fork and exec: a fresh process's state, then the program.
// Only calls that are safe after fork. Where exec fails, its errno goes to report_fd and the
// process exits 127.
[[noreturn]] void become_program(const char* path, char* const* argv, char* const* envp, int out_fd, int err_fd,
                                 int report_fd, pid_t keeper) {
  // Killed with its keeper, even by SIGKILL; and at once if the keeper is gone already.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != keeper) _exit(127);
  // The dispositions and mask of a fresh process: sum_compare ignores SIGPIPE, catches the stop
  // signals and may have inherited ignored ones, which survive exec; the keeper blocks some.
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) sigaction(signal_number, &default_action, nullptr);
  sigset_t no_signals;
  sigemptyset(&no_signals);
  sigprocmask(SIG_SETMASK, &no_signals, nullptr);
  const int input = open("/dev/null", O_RDONLY);
  if (input < 0 || dup2(input, STDIN_FILENO) < 0 || dup2(out_fd, STDOUT_FILENO) < 0 ||
      dup2(err_fd, STDERR_FILENO) < 0) {
    const int error = errno;
    [[maybe_unused]] const ssize_t reported = write(report_fd, &error, sizeof error);
    _exit(127);
  }
  // Nothing of this process's beyond the three streams, whoever opened it without close-on-exec.
  if (close_range(STDERR_FILENO + 1, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
    const long most = sysconf(_SC_OPEN_MAX);
    for (int fd = STDERR_FILENO + 1; fd < (most > 0 ? most : 65536); ++fd) fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  // As execvp: a name without a slash is looked up in PATH.
  if (std::strchr(path, '/') == nullptr) {
    execvpe(path, argv, envp);
  } else {
    execve(path, argv, envp);
  }
  const int error = errno;
  [[maybe_unused]] const ssize_t reported = write(report_fd, &error, sizeof error);
  _exit(127);
}

// The keeper's children, read as a forked process may: no allocation. Returns how many.
int keeper_children(pid_t keeper, pid_t (&children)[256]) {
  char path[64] = "/proc/self/task/";
  char digits[16];
  int length = 0;
  for (pid_t left = keeper; left > 0; left /= 10) digits[length++] = static_cast<char>('0' + left % 10);
  std::size_t at = std::strlen(path);
  while (length > 0) path[at++] = digits[--length];
  std::memcpy(path + at, "/children", sizeof "/children");
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char text[4096];
  const ssize_t got = read(fd, text, sizeof text - 1);
  close(fd);
  int count = 0;
  pid_t pid = 0;
  for (ssize_t k = 0; k < got && count < 256; ++k) {
    if (text[k] >= '0' && text[k] <= '9') {
      pid = pid * 10 + (text[k] - '0');
    } else if (pid > 0) {
      children[count++] = pid;
      pid = 0;
    }
  }
  return count;
}

// Every descendant of the keeper, killed and reaped. As the keeper is their subreaper, a process
// whose parent dies is handed to it, so killing its children until none is left reaches them all.
void kill_descendants(pid_t keeper) {
  pid_t children[256];
  for (int count; (count = keeper_children(keeper, children)) > 0;) {
    for (int k = 0; k < count; ++k) kill(children[k], SIGKILL);
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
    poll(nullptr, 0, 1);
  }
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
}

// The child sum_compare forks: the keeper of one run. It leads the run's process group, starts
// the program as its own child and exits as the program exits, with its status. It reaps the
// program's orphans, so that while the run lasts every process of it is the keeper's
// descendant; if sum_compare dies, however it dies, the keeper is told (PR_SET_PDEATHSIG) and
// kills them all, a --shell command's grandchildren and processes in sessions of their own too.
[[noreturn]] void keep_run(const char* path, char* const* argv, char* const* envp, int out_fd, int err_fd,
                           int report_fd, pid_t parent) {
  setpgid(0, 0);  // a process group of its own, which a stop reaches whole
  sigset_t waited;
  sigemptyset(&waited);
  sigaddset(&waited, SIGCHLD);
  sigaddset(&waited, SIGUSR1);
  // The stop signals sum_compare sends the group are the program's: the keeper waits for its end.
  sigset_t blocked = waited;
  for (int stop : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) sigaddset(&blocked, stop);
  sigprocmask(SIG_BLOCK, &blocked, nullptr);
  prctl(PR_SET_PDEATHSIG, SIGUSR1);
  if (getppid() != parent) _exit(127);
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  const pid_t keeper = getpid();
  const pid_t program = fork();
  if (program == 0) become_program(path, argv, envp, out_fd, err_fd, report_fd, keeper);
  if (program < 0) {
    const int error = errno;
    [[maybe_unused]] const ssize_t reported = write(report_fd, &error, sizeof error);
    _exit(127);
  }
  // No stream of the run's and no file of sum_compare's stays open in the keeper.
  close_range(0, ~0U, 0);
  for (;;) {
    siginfo_t info{};
    if (sigwaitinfo(&waited, &info) < 0) continue;
    if (info.si_signo == SIGUSR1 && getppid() != parent) {
      kill_descendants(keeper);
      _exit(128 + SIGKILL);
    }
    int status = 0;
    for (pid_t done; (done = waitpid(-1, &status, WNOHANG)) > 0;) {
      if (done != program) continue;
      if (WIFEXITED(status)) _exit(WEXITSTATUS(status));
      // Ended by a signal: the keeper ends by it too, without a second core dump.
      const int signal_number = WTERMSIG(status);
      const rlimit no_core{0, 0};
      setrlimit(RLIMIT_CORE, &no_core);
      struct sigaction ignore {};
      ignore.sa_handler = SIG_IGN;
      for (int stop : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) sigaction(stop, &ignore, nullptr);  // drops pending ones
      struct sigaction default_action {};
      default_action.sa_handler = SIG_DFL;
      sigaction(signal_number, &default_action, nullptr);
      sigset_t only;
      sigemptyset(&only);
      sigaddset(&only, signal_number);
      sigprocmask(SIG_UNBLOCK, &only, nullptr);
      kill(keeper, signal_number);
      _exit(128 + signal_number);
    }
  }
}

void close_both(int (&fds)[2]) {
  for (int fd : fds) {
    if (fd >= 0) close(fd);
  }
}

}  // namespace

child_result run_child(const std::string& path, const std::vector<std::string>& args,
                       const std::vector<std::string>& env, const run_limits& limits) {
  child_result result;
  result.exit_status = 127;
  const auto cannot_start = [&](const char* step, int error) {
    result.failure = "cannot start " + path + ": " + step + std::strerror(error);
    return result;
  };
  int out_pipe[2] = {-1, -1};
  int err_pipe[2] = {-1, -1};
  int report_pipe[2] = {-1, -1};  // the child's errno where exec fails; closed by a successful exec
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0 || pipe2(report_pipe, O_CLOEXEC) != 0) {
    const int error = errno;
    close_both(out_pipe);
    close_both(err_pipe);
    close_both(report_pipe);
    return cannot_start("cannot make its pipes: ", error);
  }

  std::vector<std::string> argv_strings{path};
  argv_strings.insert(argv_strings.end(), args.begin(), args.end());
  std::vector<std::string> env_strings = env;
  std::vector<char*> argv = c_strings(argv_strings);
  std::vector<char*> envp = c_strings(env_strings);

  const std::vector<int> children_before = adopted_children();
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) keep_run(path.c_str(), argv.data(), envp.data(), out_pipe[1], err_pipe[1], report_pipe[1], parent);
  const int fork_error = errno;
  if (pid > 0) setpgid(pid, pid);  // as the child does itself, so that a stop right away finds the group
  close(out_pipe[1]);
  close(err_pipe[1]);
  close(report_pipe[1]);
  if (pid < 0) {
    close(out_pipe[0]);
    close(err_pipe[0]);
    close(report_pipe[0]);
    return cannot_start("", fork_error);
  }
  int exec_error = 0;
  ssize_t got = 0;
  while ((got = read(report_pipe[0], &exec_error, sizeof exec_error)) < 0 && errno == EINTR) {
  }
  close(report_pipe[0]);
  if (got == static_cast<ssize_t>(sizeof exec_error)) {
    close(out_pipe[0]);
    close(err_pipe[0]);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return cannot_start("", exec_error);
  }

  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  result.failure = read_within_limits(pid, fds, result, limits);
  for (const pollfd& left : fds) {
    if (left.fd >= 0) close(left.fd);
  }
  kill(-pid, SIGKILL);  // whatever is left of its group; the unreaped child keeps the group's id
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  result.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
  // In a subreaper, the group's orphans are this process's children: reap them, so that none
  // outlives the run. Each exit hands its children over before it can be reaped itself.
  while (waitpid(-pid, nullptr, 0) > 0 || errno == EINTR) {
  }
  // What escaped the group (a new session, another group) and was handed to this process when
  // the keeper ended: named, then stopped, with whatever it started, so that nothing of the run
  // runs beside the next one.
  for (std::vector<int> escaped;;) {
    escaped.clear();
    for (int child : adopted_children()) {
      if (std::find(children_before.begin(), children_before.end(), child) == children_before.end())
        escaped.push_back(child);
    }
    if (escaped.empty()) break;
    for (int child : escaped) {
      if (waitpid(child, nullptr, WNOHANG) != 0) continue;  // reaped: it had ended
      if (std::find(result.left_behind.begin(), result.left_behind.end(), child) == result.left_behind.end())
        result.left_behind.push_back(child);
      kill(child, SIGKILL);
      while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
      }
    }
  }
  if (WIFEXITED(status)) {
    result.exit_status = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.exit_status = 128 + WTERMSIG(status);
    result.signal_number = WTERMSIG(status);
  }
  return result;
}

}  // namespace omp_sums
