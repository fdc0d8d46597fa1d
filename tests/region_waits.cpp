// Regions that each wait in one way, for the region tool's tests:
//   region_waits critical   thread 0 holds a critical section for 50 ms while thread 1 waits to enter
//   region_waits tiny N     N empty regions on 2 threads: their fork and join are all there is
#include <omp.h>

#include <cstdlib>
#include <cstring>

static void spin_for(double seconds) {
  const double end = omp_get_wtime() + seconds;
  while (omp_get_wtime() < end) {
  }
}

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "critical") == 0) {
#pragma omp parallel num_threads(2)
    {
      if (omp_get_thread_num() == 1) spin_for(0.005);  // thread 0 enters first
#pragma omp critical
      if (omp_get_thread_num() == 0) spin_for(0.05);
    }
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "tiny") == 0) {
    const int regions = std::atoi(argv[2]);
    for (int k = 0; k < regions; ++k) {
#pragma omp parallel num_threads(2)
      {}
    }
    return 0;
  }
  return 2;
}
