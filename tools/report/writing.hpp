// What every writer of a file may need beyond the document it writes.
#pragma once

#include <csignal>
#include <string>

namespace omp_sums {

struct writing {
  std::string path;                                         // the file it writes (a chart's format is its ending)
  const volatile std::sig_atomic_t* interrupted = nullptr;  // set by a signal: stop drawing
  bool draw_charts = true;                                  // false: no gnuplot, as where it is missing
  std::string problem;                                      // set where the file cannot be written at all
};

}  // namespace omp_sums
