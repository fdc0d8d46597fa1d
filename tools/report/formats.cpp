#include "tools/report/formats.hpp"

#include "tools/report/chart.hpp"
#include "tools/report/html.hpp"
#include "tools/report/json.hpp"
#include "tools/report/markdown.hpp"

namespace {

// Each format's writer of a document; a format that does not write it (a comparison has no runs
// to chart) writes nothing, and the options refuse it in that mode.
template <typename Document>
std::string written_as(output_format format, const Document& document, writing& how) {
  switch (format) {
    case output_format::csv: return {};  // its rows go out as the runs finish
    case output_format::json: return as_json(document, how);
    case output_format::chart:
      if constexpr (requires { as_chart(document, how); }) return as_chart(document, how);
      return {};
    case output_format::markdown: return as_markdown(document, how);
    case output_format::html: return as_html(document, how);
  }
  return {};
}

}  // namespace

std::string written(output_format format, const report& r, writing& how) { return written_as(format, r, how); }

std::string written(output_format format, const comparison& compared, writing& how) {
  return written_as(format, compared, how);
}

std::string written(output_format format, const merged_runs& merged, writing& how) {
  return written_as(format, merged, how);
}
