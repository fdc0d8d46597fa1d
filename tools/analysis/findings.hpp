// The answer first, with its trust beside it: the findings of a run, a comparison or a merge, one
// line each, and every condition of the run that undermines them, each naming the findings it
// touches and each finding naming the notes that weaken it. Every format shows it: the console
// last, the page and markdown first.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "tools/analysis/identities.hpp"

namespace omp_sums {

struct trust_note {
  std::string text;                      // one sentence
  std::vector<std::string> touches{};    // what the findings it touches are about
  bool every = false;                    // it touches every finding
  std::optional<warning_kind> kind{};    // the kind of the warning it comes of, by which notes are counted
  bool withholds = false;                // it kept what it names from resting any sentence: it touches nothing left
  std::vector<std::size_t> headlines{};  // the headlines it touches, by their place among the report's
};

// A note touches a finding when it touches every one or names it.
inline bool touching(const trust_note& note) { return note.every || !note.touches.empty(); }

struct verdict_line {
  std::string text;
  std::vector<int> weakened_by{};  // the numbers of the notes that touch it, from 1
};

struct verdict {
  std::string title;                     // "What this run shows"
  std::string summary;                   // "3 faster, 1 slower, 68 no measurable difference"; may be ""
  std::vector<verdict_line> findings;    // the measurable ones, one line each
  std::vector<verdict_line> unmeasured;  // what a 95% interval shows no difference in, by what it is about
  std::vector<verdict_line> untold;      // what the run cannot tell, by what it is about, with why
  std::vector<trust_note> notes;         // those that touch a finding first, numbered from 1 in this order
  std::vector<int> weakening_all{};      // the numbers of the notes that touch every finding
  std::string conditions{};              // what the trust rests on: "load 0.33 on 2 processors, ..."
};

// What a note says it touches, as a sentence: "Touches every finding.", "Touches first touch on
// 2 threads.", "Touches no finding."; "" for a note that withholds what it names.
std::string touches_text(const trust_note& note);

// " (weakened by note 2)", " (weakened by notes 1, 3)", or "".
std::string weakened_text(const verdict_line& line);

// Its heading: "What this run shows: SUMMARY (95% intervals; every line weakened by note 1)".
std::string heading_text(const verdict& said);

// The line with its weakening: what every format prints.
inline std::string line_text(const verdict_line& line) { return line.text + weakened_text(line); }

// A note's sentence as it continues another's ("The load was" -> "the load was"): its first
// letter lowered where the sentence leads with an article or a number's word.
std::string lowered_first(const std::string& text);

// The lines, each with its weakening, a semicolon apart.
std::string lines_text(const std::vector<verdict_line>& lines);

}  // namespace omp_sums
