#include "tools/child_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

std::vector<std::string> current_environment() {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) env.emplace_back(*entry);
  return env;
}

std::vector<std::string> environment_without_runtime_settings() {
  std::vector<std::string> env = current_environment();
  std::erase_if(env, [](const std::string& variable) {
    return variable.rfind("OMP_", 0) == 0 || variable.rfind("GOMP_", 0) == 0 ||
           variable.rfind("KMP_", 0) == 0;
  });
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

std::string get_variable(const std::vector<std::string>& env, const std::string& name) {
  const std::string prefix = name + "=";
  for (const std::string& variable : env) {
    if (variable.rfind(prefix, 0) == 0) return variable.substr(prefix.size());
  }
  return {};
}

static std::vector<char*> c_strings(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Drains both pipes together, so that a child filling one of them never blocks.
static void read_both(int out_fd, int err_fd, std::string& out, std::string& err) {
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  std::string* sinks[2] = {&out, &err};
  int open_count = 2;
  char buffer[65536];
  while (open_count > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || fds[k].revents == 0) continue;
      const ssize_t got = read(fds[k].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[k]->append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        close(fds[k].fd);
        fds[k].fd = -1;
        --open_count;
      }
    }
  }
}

child_result run_child(const std::string& path, const std::vector<std::string>& args,
                       const std::vector<std::string>& env) {
  child_result result{127, {}, {}};
  int out_pipe[2];
  int err_pipe[2];
  if (pipe(out_pipe) != 0) return result;
  if (pipe(err_pipe) != 0) {
    close(out_pipe[0]);
    close(out_pipe[1]);
    return result;
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, out_pipe[0]);
  posix_spawn_file_actions_addclose(&actions, err_pipe[0]);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, out_pipe[1]);
  posix_spawn_file_actions_addclose(&actions, err_pipe[1]);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);

  std::vector<std::string> argv_strings{path};
  argv_strings.insert(argv_strings.end(), args.begin(), args.end());
  std::vector<std::string> env_strings = env;
  std::vector<char*> argv = c_strings(argv_strings);
  std::vector<char*> envp = c_strings(env_strings);

  pid_t pid = 0;
  // As execvp: a name without a slash is looked up in PATH.
  const auto spawn = path.find('/') == std::string::npos ? posix_spawnp : posix_spawn;
  const int spawn_error = spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (spawn_error != 0) {
    close(out_pipe[0]);
    close(err_pipe[0]);
    result.err = std::string("cannot start ") + path + ": " + std::strerror(spawn_error);
    return result;
  }

  read_both(out_pipe[0], err_pipe[0], result.out, result.err);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) {
    result.exit_status = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.exit_status = 128 + WTERMSIG(status);
  }
  return result;
}
