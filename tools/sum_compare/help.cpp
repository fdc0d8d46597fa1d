#include "tools/sum_compare/help.hpp"

#include <algorithm>
#include <vector>

#include "tools/catalog/text.hpp"
#include "tools/report/console.hpp"

namespace omp_sums {

namespace {

// Where the descriptions begin: past the widest option line most options have.
constexpr std::size_t kDescriptionColumn = 26;

// "--size N (10000000)": the option's names, its value and its default.
std::string option_line(const CLI::Option& option) {
  std::string line = "  " + option.get_name(false, true);
  if (!option.get_type_name().empty()) line += " " + option.get_type_name();
  if (!option.get_default_str().empty()) line += " (" + option.get_default_str() + ")";
  return line;
}

// Each line of TEXT a paragraph, wrapped to the width; an indented one keeps its indent on every
// line, so that help2man reads it as one paragraph of its section.
std::string paragraphs(const std::string& text, std::size_t width) {
  std::string out;
  for (const std::string& line : lines_of(text)) {
    const std::size_t indent = std::min(line.find_first_not_of(' '), line.size());
    const std::string body = wrapped(line.substr(indent), width > indent ? width - indent : width, 0);
    for (std::size_t from = 0; from < body.size();) {
      const std::size_t stop = body.find('\n', from) + 1;
      out += std::string(indent, ' ') + body.substr(from, stop - from);
      from = stop;
    }
  }
  return out;
}

}  // namespace

std::string help_text(const CLI::App& app, std::vector<std::string> groups, std::size_t width) {
  std::string text = paragraphs(app.get_description(), width) + "\nUsage: " + app.get_name() + " [OPTIONS]\n";
  for (const CLI::Option* option : app.get_options()) {
    if (std::find(groups.begin(), groups.end(), option->get_group()) == groups.end())
      groups.push_back(option->get_group());
  }
  for (const std::string& group : groups) {
    text += "\n" + group + ":\n";
    for (const CLI::Option* option : app.get_options()) {
      if (option->get_group() != group) continue;
      const std::string line = option_line(*option);
      const std::string description = option->get_description();
      // The description beside a short option line, under a long one.
      if (line.size() + 1 < kDescriptionColumn) {
        text +=
            wrapped(line + std::string(kDescriptionColumn - line.size(), ' ') + description, width, kDescriptionColumn);
      } else {
        text += line + "\n" + wrapped(std::string(kDescriptionColumn, ' ') + description, width, kDescriptionColumn);
      }
    }
  }
  return text + "\n" + paragraphs(app.get_footer(), width);
}

}  // namespace omp_sums
