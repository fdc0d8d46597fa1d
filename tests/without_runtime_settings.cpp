// Runs a command without the caller's OpenMP settings: every OMP_*, GOMP_* and KMP_* variable
// is removed, then the NAME=VALUE words before the command are set, as env(1) sets them.
//   without_runtime_settings [NAME=VALUE...] COMMAND [ARGUMENT...]
// The runtimes read their variables when they load, before a test's main could unset them.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/run/child_process.hpp"

using namespace omp_sums;

int main(int argc, char** argv) {
  std::vector<std::string> env = environment_without_runtime_settings();
  int k = 1;
  for (; k < argc && std::strchr(argv[k], '=') != nullptr; ++k) {
    const std::string assignment = argv[k];
    const std::size_t equals = assignment.find('=');
    set_variable(env, assignment.substr(0, equals), assignment.substr(equals + 1));
  }
  if (k >= argc) {
    std::fprintf(stderr, "usage: without_runtime_settings [NAME=VALUE...] COMMAND [ARGUMENT...]\n");
    return 2;
  }
  std::vector<char*> envp;
  for (std::string& variable : env) envp.push_back(variable.data());
  envp.push_back(nullptr);
  execve(argv[k], argv + k, envp.data());
  std::perror(argv[k]);
  return 127;
}
