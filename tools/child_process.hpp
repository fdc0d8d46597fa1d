// Runs a program as a child process with an environment of its own and captures what it prints.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct child_result {
  int exit_status;   // the child's exit code, or 128 + signal number when a signal ended it
  std::string out;   // everything it wrote to standard output
  std::string err;   // everything it wrote to standard error
};

// This process's environment.
std::vector<std::string> current_environment();

// This process's environment without the OpenMP runtimes' settings: every OMP_* variable and
// GCC's GOMP_* and LLVM's KMP_* ones.
std::vector<std::string> environment_without_runtime_settings();

// Sets name=value in env, replacing an earlier setting of the same name.
void set_variable(std::vector<std::string>& env, const std::string& name, const std::string& value);

// The value of name in env, or an empty string.
std::string get_variable(const std::vector<std::string>& env, const std::string& name);

// Runs path with args (argv[1...]) and env; a path without a slash is looked up in PATH.
// Failure to start is reported as status 127, with the reason in err.
child_result run_child(const std::string& path, const std::vector<std::string>& args,
                       const std::vector<std::string>& env);
