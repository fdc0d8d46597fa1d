#include "tools/analysis/findings.hpp"

#include "tools/catalog/text.hpp"

namespace omp_sums {

namespace {

// "note 2", "notes 1, 3".
std::string notes_named(const std::vector<int>& numbers) {
  std::string text;
  for (int n : numbers) text += (text.empty() ? "" : ", ") + std::to_string(n);
  return (numbers.size() == 1 ? "note " : "notes ") + text;
}

}  // namespace

std::string touches_text(const trust_note& note) {
  if (note.withholds) return {};
  if (note.every) return "Touches every finding.";
  return note.touches.empty() ? "Touches no finding." : "Touches " + joined(note.touches, "; ") + ".";
}

std::string weakened_text(const verdict_line& line) {
  return line.weakened_by.empty() ? "" : " (weakened by " + notes_named(line.weakened_by) + ")";
}

std::string heading_text(const verdict& said) {
  std::string within;
  if (!said.findings.empty() || !said.unmeasured.empty()) within = "95% intervals";
  if (!said.weakening_all.empty() && (!said.findings.empty() || !said.unmeasured.empty())) {
    within += (within.empty() ? "" : "; ") + ("every line weakened by " + notes_named(said.weakening_all));
  }
  std::string heading = said.title + (said.summary.empty() ? "" : ": " + said.summary);
  return within.empty() ? heading : heading + " (" + within + ")";
}

std::string lowered_first(const std::string& text) {
  for (const char* lead : {"The ", "A ", "An ", "On ", "Fewer "}) {
    if (text.starts_with(lead)) return static_cast<char>(text[0] - 'A' + 'a') + text.substr(1);
  }
  return text;
}

std::string lines_text(const std::vector<verdict_line>& lines) {
  std::string text;
  for (const verdict_line& line : lines) text += (text.empty() ? "" : "; ") + line_text(line);
  return text;
}

}  // namespace omp_sums
