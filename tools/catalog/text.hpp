// Text made for people, as every layer writes it: printf into a string, items joined, the start
// and end of a long text; and text from outside made safe for the terminal, on which the
// escapers of every other format build (tools/report/text_formats.hpp).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace omp_sums {

// The text printf(format, ...) writes; the compiler checks each call's arguments against its format.
[[gnu::format(printf, 1, 2)]] std::string printed(const char* format, ...);

// The items with `separator` between them.
std::string joined(const std::vector<std::string>& items, const std::string& separator);

// Each line of TEXT without its newline; a last line without one is a line too.
std::vector<std::string> lines_of(std::string_view text);

// The first and last lines of a long text, with a note of what was left out between.
std::string excerpt(const std::string& text);

// The first `kept` bytes of text, and how many more there were.
std::string kept_start(const std::string& text, std::size_t kept);

// The start of a one-line text, at most `kept` bytes cut where a UTF-8 sequence starts, and
// how many more bytes there were: " [... 995904 more bytes not kept]".
std::string kept_line(const std::string& text, std::size_t kept);

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

// True for a code point that is invisible or changes how the text around it is shown: C1
// controls, zero-width characters and marks, and the bidirectional overrides and isolates.
constexpr bool is_format_control(char32_t point) {
  return (point >= 0x80 && point <= 0x9f) || point == 0x61c || (point >= 0x200b && point <= 0x200f) ||
         (point >= 0x202a && point <= 0x202e) || (point >= 0x2060 && point <= 0x2069) || point == 0xfeff;
}

// The code point of the well-formed UTF-8 sequence of LENGTH bytes at text[at].
inline char32_t code_point_at(std::string_view text, std::size_t at, std::size_t length) {
  const auto byte = [&](std::size_t k) { return static_cast<char32_t>(static_cast<unsigned char>(text[at + k])); };
  char32_t point = byte(0) & (0x7fu >> length);
  for (std::size_t k = 1; k < length; ++k) point = (point << 6) | (byte(k) & 0x3f);
  return point;
}

// Text as valid UTF-8 (a stray byte becomes U+FFFD), each control byte that keep(byte) does not
// keep shown as \xHH, each other single byte appended by escape(out, byte); with SHOW_FORMAT,
// each format control (is_format_control) shown as \uHHHH, so that names that differ only in
// them read apart and none can reorder or hide what follows.
template <typename Keep, typename Escape>
std::string rewritten(std::string_view text, Keep keep, Escape escape, bool show_format = true) {
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
    } else if (const char32_t point = code_point_at(text, at, length); show_format && is_format_control(point)) {
      char hex[7];
      std::snprintf(hex, sizeof hex, "\\u%04x", static_cast<unsigned>(point));
      out += hex;
    } else {
      out.append(text.substr(at, length));
    }
    at += length;
  }
  return out;
}

}  // namespace omp_sums
