// Text made for people, as every layer writes it: printf into a string, items joined, the start
// and end of a long text; and text from outside made safe for the terminal, on which the
// escapers of every other format build (tools/report/text_formats.hpp).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// The text printf(format, values...) writes.
template <typename... Values>
std::string printed(const char* format, Values... values) {
  const int length = std::snprintf(nullptr, 0, format, values...);
  std::string text(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  std::snprintf(text.data(), text.size() + 1, format, values...);
  return text;
}

// The items with `separator` between them.
std::string joined(const std::vector<std::string>& items, const std::string& separator);

// The first and last lines of a long text, with a note of what was left out between.
std::string excerpt(const std::string& text);

// The first `kept` bytes of text, and how many more there were.
std::string kept_start(const std::string& text, std::size_t kept);

// Valid UTF-8: each byte that does not belong to a well-formed sequence becomes U+FFFD.
std::string valid_utf8(std::string_view text);

// True when text holds a control byte (below 0x20, or 0x7f): a newline, a tab, an escape.
bool has_control_character(std::string_view text);

// For the terminal: control bytes but the newline and the tab shown as \xHH, valid UTF-8.
std::string terminal_text(std::string_view text);

// The same for what stays on one line (a name, a path, a sentence): the newline shown too.
std::string terminal_line(std::string_view text);

// The length of the well-formed UTF-8 sequence at text[at], or 0.
std::size_t utf8_sequence_length(std::string_view text, std::size_t at);

// Text as valid UTF-8 (a stray byte becomes U+FFFD), each control byte that keep(byte) does not
// keep shown as \xHH, each other single byte appended by escape(out, byte).
template <typename Keep, typename Escape>
std::string rewritten(std::string_view text, Keep keep, Escape escape) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = utf8_sequence_length(text, at);
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (length == 0) {
      out += "\xef\xbf\xbd";
      ++at;
      continue;
    }
    if (length == 1 && (c < 0x20 || c == 0x7f) && !keep(c)) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else if (length == 1) {
      escape(out, static_cast<char>(c));
    } else {
      out.append(text.substr(at, length));
    }
    at += length;
  }
  return out;
}
