// Text from outside (a saved file, the environment, a name, a program's output) written into
// each of the report's formats: one escaper per format, so that no byte of it can end a cell,
// open markup, start a command or move the terminal's cursor.
#pragma once

#include <string>
#include <string_view>

#include "tools/catalog/text.hpp"  // the terminal's escapers, on which these build

namespace omp_sums {

// HTML text or attribute value: &, <, >, " and ' as entities, control bytes but the newline and
// the tab shown as \xHH, valid UTF-8.
std::string html_escaped(std::string_view text);

// A markdown table cell or list item on one line: line breaks and other control bytes shown as
// \xHH, and backslashes, pipes, backticks, asterisks and HTML's metacharacters made literal.
std::string markdown_text(std::string_view text);

// A gnuplot string constant in single quotes, in which gnuplot expands nothing: the quote
// doubled, control bytes (a newline would end the command) shown as \xHH.
std::string gnuplot_string(std::string_view text);

// A CSV cell: quoted where it holds a comma, a quote or a line break; text a spreadsheet would
// read as a formula (starting with =, +, -, @, a tab or a carriage return) is led by a quote
// character, but for numbers.
std::string csv_cell(std::string_view text);

}  // namespace omp_sums
