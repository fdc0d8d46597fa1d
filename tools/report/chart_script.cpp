#include "tools/report/chart_script.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tools/catalog/text.hpp"
#include "tools/report/palette.hpp"
#include "tools/report/text_formats.hpp"

namespace omp_sums {

namespace {

// The lowest and highest positive value of a panel, and `also` unless NaN.
std::pair<double, double> extent(const panel& p, double also) {
  double low = std::isnan(also) ? INFINITY : also;
  double high = std::isnan(also) ? 0 : also;
  {
    for (const series& line : p.lines) {
      for (std::size_t at = 0; at < line.rows.size();) {
        const std::size_t end = line.rows.find('\n', at);
        double x = 0;
        double values[3] = {0, 0, 0};
        const int read = std::sscanf(line.rows.substr(at, end - at).c_str(), "%lf %lf %lf %lf", &x, &values[0],
                                     &values[1], &values[2]);
        for (int k = 0; k + 1 < read; ++k) {
          if (std::isfinite(values[k]) && values[k] > 0) {
            low = std::min(low, values[k]);
            high = std::max(high, values[k]);
          }
        }
        at = end == std::string::npos ? line.rows.size() : end + 1;
      }
    }
  }
  return {low, high};
}

// Round to two significant digits, as a tick's label reads.
double two_digits(double value) {
  const double scale = std::pow(10.0, std::floor(std::log10(value)) - 1);
  return std::round(value / scale) * scale;
}

// Labelled ticks for a log axis from LOW to HIGH: 1, 2 and 5 times the powers of ten within it;
// over a wide range the powers of ten alone, every few of them where they are many; where fewer
// than three fall within it, five spaced evenly on the log scale. gnuplot's own put one label on a
// range within a power of two, and dozens on one of many.
std::string log_tics(double low, double high) {
  constexpr std::size_t kMostTicks = 9;
  const auto within = [&](std::initializer_list<double> steps) {
    std::vector<double> ticks;
    for (double decade = std::pow(10.0, std::floor(std::log10(low))); decade <= high; decade *= 10) {
      for (double step : steps) {
        if (decade * step >= low && decade * step <= high) ticks.push_back(decade * step);
      }
    }
    return ticks;
  };
  std::vector<double> ticks = within({1.0, 2.0, 5.0});
  if (ticks.size() > kMostTicks) {
    const std::vector<double> decades = within({1.0});
    const std::size_t every = (decades.size() + kMostTicks - 1) / kMostTicks;
    ticks.clear();
    for (std::size_t k = 0; k < decades.size(); k += every) ticks.push_back(decades[k]);
  }
  if (ticks.size() < 3) {
    ticks.clear();
    for (int k = 0; k < 5; ++k) ticks.push_back(two_digits(low * std::pow(high / low, (k + 0.5) / 5)));
  }
  std::string tics;
  for (double tick : ticks) tics += (tics.empty() ? "(" : ", ") + printed("%.6g", tick);
  return tics + ")";
}

// A panel's y range, as gnuplot's "set yrange [low:high]", with its ticks on a log axis.
std::string y_range(const panel& p, y_axis axis, double also) {
  const auto [low, high] = extent(p, also);
  if (!(high > 0) || !std::isfinite(low)) return "set yrange [*:*]\n";
  if (axis == y_axis::from_zero) return printed("set yrange [0:%.6g]\nset ytics autofreq\n", high * 1.1);
  return printed("set yrange [%.6g:%.6g]\nset ytics ", low / 1.15, high * 1.15) + log_tics(low / 1.15, high * 1.15) +
         "\n";
}

}  // namespace

std::string script_of(const std::string& title, const std::string& y_label, y_axis axis, const std::string& reference,
                      double reference_value, const std::string& reference_title, const std::vector<panel>& panels,
                      const x_axis& x) {
  const int columns = std::min<int>(static_cast<int>(panels.size()), 3);
  const int rows = (static_cast<int>(panels.size()) + columns - 1) / columns;
  std::string script =
      printed("set terminal svg noenhanced size %d,%d font 'sans,11' background rgb 'white'\nset output\n",
              420 * columns + 20, 420 * rows + 50);
  for (std::size_t p = 0; p < panels.size(); ++p) {
    for (std::size_t s = 0; s < panels[p].lines.size(); ++s) {
      script += printed("$p%zus%zu << EOD\n", p, s) + panels[p].lines[s].rows + "EOD\n";
    }
  }
  script += "set xtics " + x.tics + "\nset xlabel " + gnuplot_string(x.label) + "\nset ylabel " +
            gnuplot_string(y_label) + "\nset key below\nset grid\n";
  script += x.range.empty() ? "set offsets 0.3, 0.3, 0, 0\n" : "set xrange " + x.range + "\n";
  if (axis != y_axis::from_zero) script += "set logscale y 2\n";
  if (x.log) script += "set logscale x 2\n";
  for (const auto& [at, label] : x.marks) {
    script += printed("set arrow from %.9g, graph 0 to %.9g, graph 1 nohead dt 3 lw 1 lc rgb '#777777'\n", at, at) +
              printed("set label %s at %.9g, graph 0.98 rotate by 90 right offset -0.6, 0 font ',9' tc rgb '#555555'\n",
                      gnuplot_string(label).c_str(), at);
  }
  script += printed("set multiplot layout %d,%d title %s\n", rows, columns, gnuplot_string(title).c_str());
  for (std::size_t p = 0; p < panels.size(); ++p) {
    // Each panel's range fits its own values: a panel of a size far from the others' is not flattened.
    script += y_range(panels[p], axis, reference_value) + "set title " + gnuplot_string(panels[p].title) + "\nplot ";
    for (std::size_t s = 0; s < panels[p].lines.size(); ++s) {
      const series& line = panels[p].lines[s];
      const std::size_t program = static_cast<std::size_t>(line.program);
      const int marker = marker_of(program) - (line.dashed ? 1 : 0);
      script +=
          printed("$p%zus%zu using %s with %s lw %s dt %d pt %d ps 0.8 lc rgb '%s' title %s, ", p, s,
                  line.bars ? "1:2:3:4" : "1:2", line.bars ? "yerrorlines" : "linespoints", line.dashed ? "1.5" : "2",
                  line.dashed ? 2 : 1, marker, colour_of(program), gnuplot_string(line.title).c_str());
    }
    if (reference.empty()) {
      script.resize(script.size() - 2);  // the last ", "
      script += "\n";
    } else {
      script += reference + " with lines dt 3 lw 1.5 lc rgb '#222222' title " + gnuplot_string(reference_title) + "\n";
    }
  }
  return script + "unset multiplot\n";
}

}  // namespace omp_sums
