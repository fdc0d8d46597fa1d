// Prints read_proc__self_stat for each field number given: "<field> <status> <value>".
#include <cstdio>
#include <cstdlib>

#include "common/probes.hpp"

int main(int argc, char** argv) {
  for (int k = 1; k < argc; ++k) {
    const int field = std::atoi(argv[k]);
    int value = 42;
    const int status = read_proc__self_stat(field, &value);
    std::printf("%d %d %d\n", field, status, value);
  }
  return 0;
}
