// Runs a program (argv[2...]) with its address space limited to argv[1] bytes.
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const rlim_t bytes = std::strtoull(argv[1], nullptr, 10);
  const rlimit limit{bytes, bytes};
  if (setrlimit(RLIMIT_AS, &limit) != 0) {
    std::perror("setrlimit");
    return 126;
  }
  execv(argv[2], argv + 2);
  std::perror("execv");
  return 127;
}
