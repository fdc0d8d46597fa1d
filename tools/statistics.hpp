// Order statistics of repeated measurements.
#pragma once

#include <vector>

struct summary {
  double median;
  double min;
  double max;
};

// Median, smallest and largest of a non-empty list.
summary summarise(std::vector<double> values);
