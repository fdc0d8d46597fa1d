#include "tools/catalog/text.hpp"

#include <algorithm>
#include <cstdarg>

namespace omp_sums {

std::string joined(const std::vector<std::string>& items, const std::string& separator) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : separator) + item;
  return text;
}

std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    lines.emplace_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

std::string excerpt(const std::string& text) {
  constexpr std::size_t kept_lines = 8;
  constexpr std::size_t line_length = 240;
  const std::vector<std::string> lines = lines_of(text);
  std::string cut;
  for (std::size_t k = 0; k < lines.size(); ++k) {
    if (lines.size() > 2 * kept_lines && k == kept_lines) {
      cut += "[... " + std::to_string(lines.size() - 2 * kept_lines) + " lines left out ...]\n";
      k = lines.size() - kept_lines;
    }
    const std::string& line = lines[k];
    cut += line.size() > line_length ? line.substr(0, line_length) + " [... line cut]\n" : line + "\n";
  }
  return cut;
}

std::string kept_start(const std::string& text, std::size_t kept) {
  if (text.size() <= kept) return text;
  return text.substr(0, kept) + "\n[... " + std::to_string(text.size() - kept) + " more bytes not kept]\n";
}

std::string kept_line(const std::string& text, std::size_t kept) {
  if (text.size() <= kept) return text;
  std::size_t cut = kept;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xc0) == 0x80) --cut;
  return text.substr(0, cut) + " [... " + std::to_string(text.size() - cut) + " more bytes not kept]";
}

std::size_t utf8_sequence_length(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[at + k]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = lead >= 0xc2 && lead <= 0xdf   ? 2
                       : lead >= 0xe0 && lead <= 0xef ? 3
                       : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                      : 0;
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

namespace {

void as_is(std::string& out, char c) { out += c; }

}  // namespace

std::string valid_utf8(std::string_view text) {
  return rewritten(
      text, [](unsigned char) { return true; }, as_is, false);
}

bool has_control_character(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
  }
  return false;
}

std::string terminal_text(std::string_view text) {
  return rewritten(
      text, [](unsigned char c) { return c == '\n' || c == '\t'; }, as_is);
}

std::string terminal_line(std::string_view text) {
  return rewritten(
      text, [](unsigned char c) { return c == '\t'; }, as_is);
}

std::string printed(const char* format, ...) {
  std::va_list values;
  va_start(values, format);
  std::va_list again;
  va_copy(again, values);
  const int length = std::vsnprintf(nullptr, 0, format, values);
  va_end(values);
  std::string text(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  std::vsnprintf(text.data(), text.size() + 1, format, again);
  va_end(again);
  return text;
}

}  // namespace omp_sums
