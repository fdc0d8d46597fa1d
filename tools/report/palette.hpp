// The colours and markers of every chart: one per program of the catalog, so that a program
// looks the same in each chart and output; a floor or reference is drawn in its program's
// colour, dashed, with the open form of its marker.
#pragma once

#include <cstddef>
#include <iterator>
#include <string>

#include "tools/catalog/text.hpp"

namespace omp_sums {

inline constexpr const char* kColours[] = {"#4e79a7", "#f28e2b", "#e15759", "#76b7b2", "#59a14f",
                                           "#edc948", "#b07aa1", "#ff9da7", "#9c755f", "#bab0ac"};
// gnuplot's point types: filled square, circle, triangle up and down, diamond, pentagon; each
// open one is the filled one less 1.
inline constexpr int kMarkers[] = {5, 7, 9, 11, 13, 15};

inline const char* colour_of(std::size_t program) { return kColours[program % std::size(kColours)]; }
inline int marker_of(std::size_t program) { return kMarkers[program % std::size(kMarkers)]; }

// gnuplot's commands that make linetype k + 1 the colour and marker of the catalog's program k.
inline std::string gnuplot_linetypes(std::size_t programs) {
  std::string commands;
  for (std::size_t k = 0; k < programs; ++k)
    commands += printed("set linetype %zu lc rgb '%s' pt %d; ", k + 1, colour_of(k), marker_of(k));
  return commands;
}

}  // namespace omp_sums
