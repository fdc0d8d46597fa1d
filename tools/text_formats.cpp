#include "tools/text_formats.hpp"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace {

bool is_control(unsigned char c) { return c < 0x20 || c == 0x7f; }

// The length of the well-formed UTF-8 sequence at text[at], or 0.
std::size_t sequence_length(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[at + k]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = lead >= 0xc2 && lead <= 0xdf ? 2 : lead >= 0xe0 && lead <= 0xef ? 3 : lead >= 0xf0 && lead <= 0xf4 ? 4 : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(k) & 0xc0) != 0x80) return 0;
  }
  // Overlong forms, surrogates and code points past U+10FFFF.
  if ((lead == 0xe0 && byte(1) < 0xa0) || (lead == 0xed && byte(1) > 0x9f) || (lead == 0xf0 && byte(1) < 0x90) ||
      (lead == 0xf4 && byte(1) > 0x8f)) {
    return 0;
  }
  return length;
}

std::string hex_byte(unsigned char c) {
  char text[5];
  std::snprintf(text, sizeof text, "\\x%02x", c);
  return text;
}

// Valid UTF-8 with each control byte that `keep` does not keep as \xHH, and each other byte
// through `escape` (which appends it, escaped or not).
template <typename Keep, typename Escape>
std::string rewritten(std::string_view text, Keep keep, Escape escape) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = sequence_length(text, at);
    if (length == 0) {
      out += "\xef\xbf\xbd";
      ++at;
      continue;
    }
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (length == 1 && is_control(c) && !keep(c)) {
      out += hex_byte(c);
    } else if (length == 1) {
      escape(out, static_cast<char>(c));
    } else {
      out.append(text.substr(at, length));
    }
    at += length;
  }
  return out;
}

bool line_or_tab(unsigned char c) { return c == '\n' || c == '\t'; }
bool none(unsigned char) { return false; }
void as_is(std::string& out, char c) { out += c; }

}  // namespace

std::string valid_utf8(std::string_view text) {
  return rewritten(text, [](unsigned char) { return true; }, as_is);
}

bool has_control_character(std::string_view text) {
  for (char c : text) {
    if (is_control(static_cast<unsigned char>(c))) return true;
  }
  return false;
}

std::string terminal_text(std::string_view text) { return rewritten(text, line_or_tab, as_is); }

std::string terminal_line(std::string_view text) {
  return rewritten(text, [](unsigned char c) { return c == '\t'; }, as_is);
}

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
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  });
}

std::string gnuplot_string(std::string_view text) {
  return "'" + rewritten(text, none, [](std::string& out, char c) { out += c == '\'' ? std::string("''") : std::string(1, c); }) +
         "'";
}

std::string csv_cell(std::string_view text) {
  std::string cell = valid_utf8(text);
  // A signed decimal number ("-5", "+1.5e3") is a number to a spreadsheet too.
  char* end = nullptr;
  const bool number = cell.size() > 1 && (std::isdigit(static_cast<unsigned char>(cell[1])) != 0 || cell[1] == '.') &&
                      (std::strtod(cell.c_str(), &end), end == cell.c_str() + cell.size());
  if (!cell.empty() && std::string_view("=+-@\t\r").find(cell.front()) != std::string_view::npos && !number) {
    cell.insert(0, "'");
  }
  if (cell.find_first_of(",\"\n\r") == std::string::npos) return cell;
  std::string quoted = "\"";
  for (char c : cell) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}
