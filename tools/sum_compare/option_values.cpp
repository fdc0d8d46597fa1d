#include "tools/sum_compare/option_values.hpp"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include <re2/re2.h>

#include "tools/report/text_formats.hpp"

namespace omp_sums {

// Whole decimal numbers only: no sign, blank, base prefix or octal reading of a leading zero.
const CLI::Validator kDecimal(
    [](std::string& text) {
      if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
        return "'" + text + "' is not a whole decimal number";
      }
      text.erase(0, std::min(text.find_first_not_of('0'), text.size() - 1));
      return std::string();
    },
    "", "decimal");

const CLI::Validator kChartFile(
    [](std::string& path) {
      const auto ends_with = [&](const std::string& suffix) {
        return path.size() > suffix.size() && path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0;
      };
      return ends_with(".svg") || ends_with(".png") ? std::string() : "'" + path + "' is not a .svg or .png file";
    },
    "", "chart file");

// A percentage above 0 and below 100, with or without its % sign: "5%", "2.5".
const CLI::Validator kPercent(
    [](std::string& text) {
      if (!text.empty() && text.back() == '%') text.pop_back();
      char* end = nullptr;
      const double value = std::strtod(text.c_str(), &end);
      const bool whole =
          !text.empty() && end == text.c_str() + text.size() && text.find_first_of("xXeEnN") == std::string::npos;
      return whole && value > 0 && value < 100 ? std::string()
                                               : "'" + text + "' is not a percentage above 0 and below 100";
    },
    "", "percent");

const CLI::Validator kNonEmpty([](std::string& text) { return text.empty() ? "an empty path" : std::string(); }, "",
                               "non-empty");

// "NAME=v1,v2,..." split at the commas outside braces, so that an OMP_PLACES value such as
// {0,1},{2,3} stays whole. Returns an empty string, or what is wrong.
std::string read_dimension(const std::string& text, setting_dimension& dimension) {
  const std::size_t equals = text.find('=');
  dimension.name = text.substr(0, std::min(equals, text.size()));
  if (equals == std::string::npos || dimension.name.empty() ||
      dimension.name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_") !=
          std::string::npos ||
      std::isdigit(static_cast<unsigned char>(dimension.name[0])) != 0) {
    return "'" + text + "' is not NAME=value,value,...";
  }
  if (dimension.name == "OMP_NUM_THREADS") return "OMP_NUM_THREADS is set by --threads";
  std::string value;
  int depth = 0;
  for (char c : text.substr(equals + 1) + ",") {
    depth += c == '{' ? 1 : c == '}' ? -1 : 0;
    if (depth < 0) break;
    if (c != ',' || depth > 0) {
      value += c;
      continue;
    }
    if (value.empty()) return "an empty value in '" + text + "'";
    if (has_control_character(value))
      return "a value of " + dimension.name + " holds a control character (a line break, a tab, an escape)";
    dimension.values.push_back(value);
    value.clear();
  }
  if (depth != 0) return "unbalanced braces in '" + text + "'";
  return {};
}

// "NAME=DIR": a build's name (letters, digits, '.', '-', '_') and the directory of its programs.
std::string read_build(const std::string& text, build_location& build) {
  const std::size_t equals = text.find('=');
  build.name = text.substr(0, std::min(equals, text.size()));
  if (equals == std::string::npos || build.name.empty() || equals + 1 == text.size() ||
      build.name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._-") !=
          std::string::npos) {
    return "'" + text + "' is not NAME=DIR (a name of letters, digits, '.', '-' or '_')";
  }
  build.bin = build.tool_dir = text.substr(equals + 1);
  return {};
}

std::string shell_words(const std::string& line, std::vector<std::string>& words) {
  words.clear();
  std::string word;
  bool in_word = false;
  for (std::size_t at = 0; at < line.size(); ++at) {
    const char c = line[at];
    if (c == ' ' || c == '\t') {
      if (in_word) words.push_back(word);
      word.clear();
      in_word = false;
    } else if (c == '\'') {
      const std::size_t end = line.find('\'', at + 1);
      if (end == std::string::npos) return "a single quote is not closed";
      word += line.substr(at + 1, end - at - 1);
      at = end;
      in_word = true;
    } else if (c == '"') {
      for (++at; at < line.size() && line[at] != '"'; ++at) {
        if (line[at] == '\\' && at + 1 < line.size() && std::strchr("\"\\$`", line[at + 1]) != nullptr) ++at;
        word += line[at];
      }
      if (at >= line.size()) return "a double quote is not closed";
      in_word = true;
    } else if (c == '\\') {
      if (++at >= line.size()) return "it ends with a backslash";
      word += line[at];
      in_word = true;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(word);
  return words.empty() ? "it has no command" : "";
}

std::string read_command(const std::string& text, bool shell, command_wanted& command) {
  const std::size_t equals = text.find('=');
  command.name = text.substr(0, std::min(equals, text.size()));
  if (equals == std::string::npos || command.name.empty() ||
      command.name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._-") !=
          std::string::npos) {
    return "'" + text + "' is not NAME=COMMAND (a name of letters, digits, '.', '-' or '_')";
  }
  if (find_program(command.name) != nullptr || command.name == kCalibration.name) {
    return "'" + command.name + "' names a program of the suite: give the command a name of its own";
  }
  command.line = text.substr(equals + 1);
  if (has_control_character(command.line)) return "the command of '" + command.name + "' holds a control character";
  command.shell = shell;
  command.argv.clear();
  if (shell) return command.line.find_first_not_of(" \t") == std::string::npos ? "it has no command" : "";
  const std::string problem = shell_words(command.line, command.argv);
  return problem.empty() ? "" : "the command of '" + command.name + "': " + problem;
}

const CLI::Validator kCommand(
    [](std::string& text) {
      command_wanted command;
      return read_command(text, true, command);
    },
    "", "NAME=COMMAND");

const CLI::Validator kRegex(
    [](std::string& text) {
      const RE2 compiled(text, RE2::Quiet);
      return compiled.ok() ? std::string() : "'" + text + "' is not a regular expression: " + compiled.error();
    },
    "", "REGEX");

const CLI::Validator kTimeRegex(
    [](std::string& text) {
      const RE2 compiled(text, RE2::Quiet);
      if (!compiled.ok()) return "'" + text + "' is not a regular expression: " + compiled.error();
      return compiled.NumberOfCapturingGroups() > 0 ? std::string()
                                                    : "'" + text + "' has no group to match the seconds";
    },
    "", "REGEX");

const CLI::Validator kBuild(
    [](std::string& text) {
      build_location build;
      return read_build(text, build);
    },
    "", "NAME=DIR");

const CLI::Validator kDimension(
    [](std::string& text) {
      setting_dimension dimension;
      return read_dimension(text, dimension);
    },
    "", "NAME=values");

const CLI::Validator kSize(
    [](std::string& text) {
      std::string name;
      return read_size_name(text, name);
    },
    "", "size");

}  // namespace omp_sums
