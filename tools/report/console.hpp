// What sum_compare prints, as text: a run's header (before its runs) and its body (the tables,
// the warnings, the headlines and how the runs went), a comparison and a merge. Text from
// outside in it has its control bytes shown as \xHH; say() prints it.
#pragma once

#include <cstddef>
#include <string>

#include "tools/analysis/comparison.hpp"
#include "tools/analysis/merge.hpp"
#include "tools/analysis/report.hpp"

std::string console_header(const report& r);
std::string as_console(const report& r);
std::string as_console(const comparison& compared);
std::string as_console(const merged_runs& merged);

// `text` as one paragraph, its control bytes (the newline too) shown as \xHH, wrapped at `width`
// columns, continuation lines indented by `indent` blanks, ending with a newline.
std::string wrapped(const std::string& text, std::size_t width, std::size_t indent);

// Prints console text on standard output, any control byte but the newline and the tab shown
// as \xHH: text from a saved file or a program cannot move the terminal's cursor.
void say(const std::string& text);
