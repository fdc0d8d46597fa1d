// A minimal program of the libomp profile: its link and its runtime are what the tests check.
#include <omp.h>

#include <cstdio>

int main() {
  int team_size = 0;
#pragma omp parallel default(none) shared(team_size)
  {
#pragma omp single
    team_size = omp_get_num_threads();
  }
  std::printf("team of %d\n", team_size);
  return 0;
}
