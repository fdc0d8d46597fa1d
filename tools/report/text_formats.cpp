#include "tools/report/text_formats.hpp"

#include <cctype>
#include <cstdlib>

namespace omp_sums {

namespace {

bool none(unsigned char) { return false; }
bool line_or_tab(unsigned char c) { return c == '\n' || c == '\t'; }

}  // namespace

std::string html_escaped(std::string_view text) {
  return rewritten(text, line_or_tab, [](std::string& out, char c) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  });
}

std::string markdown_text(std::string_view text) {
  return rewritten(text, none, [](std::string& out, char c) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '|': out += "\\|"; break;
      case '`': out += "\\`"; break;
      case '*': out += "\\*"; break;
      case '[': out += "\\["; break;  // no link, image or link definition can start
      case ']': out += "\\]"; break;
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  });
}

std::string gnuplot_string(std::string_view text) {
  return "'" +
         rewritten(text, none,
                   [](std::string& out, char c) { out += c == '\'' ? std::string("''") : std::string(1, c); }) +
         "'";
}

std::string csv_cell(std::string_view text) {
  // Every control byte shown (NUL and line breaks too): a run stays one row on one line.
  std::string cell = rewritten(text, none, [](std::string& out, char c) { out += c; });
  // A signed decimal number ("-5", "+1.5e3") is a number to a spreadsheet too.
  char* end = nullptr;
  const bool number = cell.size() > 1 && (std::isdigit(static_cast<unsigned char>(cell[1])) != 0 || cell[1] == '.') &&
                      (std::strtod(cell.c_str(), &end), end == cell.c_str() + cell.size());
  if (!cell.empty() && std::string_view("=+-@\t\r").find(cell.front()) != std::string_view::npos && !number) {
    cell.insert(0, "'");
  }
  if (cell.find_first_of(",\"") == std::string::npos) return cell;
  std::string quoted = "\"";
  for (char c : cell) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

}  // namespace omp_sums
