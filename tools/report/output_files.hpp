// Output files that are never seen half written and never replace what was not named. A regular
// file (new or existing) is written to a temporary beside it, made when sum_compare starts (so
// that an unusable path is found before any run), and renamed into place once complete, with the
// existing file's mode. Anything else (a device, a FIFO, /dev/stdout) is written in place.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace omp_sums {

struct staged_file {
  std::string path;       // where the file goes; empty: not asked for
  std::string temporary;  // where it is written until then; empty when written in place
  int fd = -1;
  std::string error;  // the first write that failed, with the system's reason
};

// Opens `path` for writing (close-on-exec): the temporary beside it, ending like it (so that a
// chart keeps its .svg or .png), or the path itself where it is not a regular file. Returns an
// empty string, or why it cannot (a directory, a missing or unwritable parent, ...).
std::string open_staged(const std::string& path, staged_file& file);

// Appends text; a failure is kept in file.error and ends the file's writing.
void write_staged(staged_file& file, std::string_view text);

// Flushes the file to its device and puts it in place. Returns an empty string, or why it could
// not, with the system's reason from the call that failed: the temporary is then removed.
std::string commit_staged(staged_file& file);

// Closes the file and removes its temporary.
void discard_staged(staged_file& file);

// True when two paths name the same file however they are spelled, through links, dots and
// slashes, or hard links to one file; for a file not there yet, when they name it in the same
// folder.
bool same_file(const std::string& a, const std::string& b);

// The bounds of what is read as input: its size, and how long a pipe may keep it waiting.
inline constexpr std::size_t kMostInputBytes = std::size_t{1} << 30;
inline constexpr int kInputWaitSeconds = 30;

// The whole of a regular file or a pipe that is read as input, up to kMostInputBytes; a device
// or a directory is refused, and a pipe that gives nothing for kInputWaitSeconds is given up.
// Returns an empty string, or why not.
std::string read_whole_file(const std::string& path, std::string& text);

}  // namespace omp_sums
