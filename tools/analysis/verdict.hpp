// The answer first, with its trust beside it: the measurable findings of a run, a comparison or
// a merge, one line each, and every condition of the run that undermines them, each saying which
// findings it touches. Every format shows it: the console last, the page and markdown first.
#pragma once

#include <string>
#include <vector>

#include "tools/analysis/comparison.hpp"
#include "tools/analysis/merge.hpp"
#include "tools/analysis/report.hpp"

struct trust_note {
  std::string text;                  // one sentence
  std::vector<std::string> touches;  // what the findings it touches are about
  bool every = false;                // it touches every finding
  std::string kind{};                // a warning's kind (noise, placement, ...), by which notes are counted
  bool withholds = false;            // it kept what it names from resting any sentence: it touches nothing left
};

struct verdict {
  std::string title;                    // "What this run shows"
  std::string summary;                  // "3 faster, 1 slower, 68 no measurable difference"; may be ""
  std::vector<std::string> findings;    // the measurable ones, one line each
  std::vector<std::string> unmeasured;  // what showed no measurable difference, by what it is about
  std::vector<trust_note> notes;        // empty: nothing in the run's conditions touches a finding
  std::string conditions;               // what the trust rests on: "load 0.33 on 2 processors, ..."
};

// The load before a run at or above this share of the usable processors leaves its times to the
// scheduler; so does a hypervisor taking more than this share of the CPU time.
inline constexpr double kBusyLoadShare = 1.0;
inline constexpr double kMostStealPercent = 3.0;

// What a note says it touches, as a sentence: "Touches every finding.", "Touches first touch on
// 2 threads.", "Touches no finding."; "" for a note that withholds what it names.
std::string touches_text(const trust_note& note);

verdict verdict_of(const report& r);
verdict verdict_of(const comparison& compared);
verdict verdict_of(const merged_runs& merged);
