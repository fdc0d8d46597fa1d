// Reads the numbers out of a program's output line: "Sum is 4950, took 1e-05 sec" has the
// shape "Sum is #, took # sec" and the numbers "4950" and "1e-05", kept as printed.
#pragma once

#include <string>
#include <vector>

struct line_shape {
  std::string shape;                 // the line with every number replaced by '#'
  std::vector<std::string> numbers;  // the numbers in order, as printed (%d or %g)
};

line_shape shape_of(const std::string& line);

// A value as printf's "%g" writes it, for comparing printed numbers.
std::string g_format(double value);
