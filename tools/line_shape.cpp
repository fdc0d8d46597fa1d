#include "tools/line_shape.hpp"

#include <cctype>
#include <cstdio>

static bool is_digit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

static bool is_word_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; }

// Length of the %g-style number starting at text[at], or 0 if none starts there.
static std::size_t number_length(const std::string& text, std::size_t at) {
  std::size_t k = at;
  if (k < text.size() && text[k] == '-') ++k;
  if (k >= text.size() || !is_digit(text[k])) return 0;
  while (k < text.size() && is_digit(text[k])) ++k;
  if (k + 1 < text.size() && text[k] == '.' && is_digit(text[k + 1])) {
    ++k;
    while (k < text.size() && is_digit(text[k])) ++k;
  }
  if (k + 2 < text.size() && text[k] == 'e' && (text[k + 1] == '+' || text[k + 1] == '-') &&
      is_digit(text[k + 2])) {
    k += 2;
    while (k < text.size() && is_digit(text[k])) ++k;
  }
  if (k < text.size() && is_word_char(text[k])) return 0;  // part of a word such as "0x10"
  return k - at;
}

line_shape shape_of(const std::string& line) {
  line_shape result;
  std::size_t at = 0;
  while (at < line.size()) {
    const bool starts_word = at == 0 || !is_word_char(line[at - 1]);
    const std::size_t length = starts_word ? number_length(line, at) : 0;
    if (length == 0) {
      result.shape += line[at++];
      continue;
    }
    result.shape += '#';
    result.numbers.push_back(line.substr(at, length));
    at += length;
  }
  return result;
}

std::string g_format(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}
