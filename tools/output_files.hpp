// Output files that are never seen half written: each is written to a temporary file beside it,
// made when sum_compare starts (so that an unusable path is found before any run), and renamed
// into place once complete.
#pragma once

#include <cstdio>
#include <string>

struct staged_file {
  std::string path;       // where the file goes; empty: not asked for
  std::string temporary;  // where it is written until then
  std::FILE* stream = nullptr;
};

// Makes the temporary beside `path`, ending like it (so that a chart keeps its .svg or .png).
// Returns an empty string, or why it cannot.
std::string open_staged(const std::string& path, staged_file& file);

// Flushes and closes the temporary and renames it to the file's path. Returns an empty string,
// or why it could not: the file is then left out and the temporary removed.
std::string commit_staged(staged_file& file);

// Closes and removes the temporary.
void discard_staged(staged_file& file);

// True when two paths name the same file, whether or not it exists yet.
bool same_file(const std::string& a, const std::string& b);
