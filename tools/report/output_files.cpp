#include "tools/report/output_files.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace omp_sums {

namespace fs = std::filesystem;

namespace {

std::string cannot(const std::string& what, const std::string& path, int error) {
  return "cannot " + what + " " + path + ": " + std::strerror(error);
}

// True for /dev/stdout, /dev/fd/N and links that lead through /dev or /proc: their target is
// someone else's file description, to be written where it is, not replaced.
bool through_dev_or_proc(const std::string& path) {
  fs::path at = fs::absolute(path);
  for (int hops = 0; hops < 40; ++hops) {
    const std::string text = at.lexically_normal().string();
    if (text.rfind("/dev/", 0) == 0 || text.rfind("/proc/", 0) == 0) return true;
    std::error_code error;
    if (!fs::is_symlink(at, error)) return false;
    const fs::path target = fs::read_symlink(at, error);
    if (error) return false;
    at = target.is_absolute() ? target : at.parent_path() / target;
  }
  return false;
}

// The file a path names: a link to an existing file is followed, so that the file is replaced
// where it lies and the link kept.
fs::path where_it_lies(const std::string& path) {
  std::error_code error;
  const fs::path target = fs::canonical(path, error);
  return error ? fs::path(path) : target;
}

}  // namespace

std::string open_staged(const std::string& path, staged_file& file) {
  file = staged_file{path, {}, -1, {}};
  struct stat existing {};
  const bool exists = stat(path.c_str(), &existing) == 0;
  if (!exists && errno != ENOENT) return cannot("write", path, errno);
  if (exists && S_ISDIR(existing.st_mode)) return cannot("write", path, EISDIR);
  if ((exists && !S_ISREG(existing.st_mode)) || through_dev_or_proc(path)) {
    file.fd = open(path.c_str(), O_WRONLY | O_APPEND | O_NOCTTY | O_CLOEXEC);
    return file.fd < 0 ? cannot("write", path, errno) : std::string();
  }
  if (exists && access(path.c_str(), W_OK) != 0) return cannot("write", path, errno);

  const fs::path target = where_it_lies(path);
  const std::string extension = target.extension().string();
  std::string pattern = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string() + extension;
  const int fd = mkostemps(pattern.data(), static_cast<int>(extension.size()), O_CLOEXEC);
  if (fd < 0) return cannot("create", path, errno);
  if (exists) {
    if (fchown(fd, existing.st_uid, existing.st_gid) != 0) {
      // Only root may give a file away: others keep their own, as any editor does.
    }
    fchmod(fd, existing.st_mode & 07777);
  } else {
    const mode_t mask = umask(0);  // mkostemps makes it private; a new file gets the usual mode
    umask(mask);
    fchmod(fd, 0666 & ~mask);
  }
  file.fd = fd;
  file.temporary = pattern;
  return {};
}

void write_staged(staged_file& file, std::string_view text) {
  while (file.fd >= 0 && file.error.empty() && !text.empty()) {
    const ssize_t written = write(file.fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      file.error = std::strerror(written < 0 ? errno : EIO);
      return;
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

std::string commit_staged(staged_file& file) {
  std::string reason = file.error;
  // A device or a FIFO need not support fsync; a regular file must reach its disk before the rename.
  if (reason.empty() && !file.temporary.empty() && fsync(file.fd) != 0) reason = std::strerror(errno);
  if (file.fd >= 0 && close(file.fd) != 0 && reason.empty()) reason = std::strerror(errno);
  file.fd = -1;
  if (reason.empty() && !file.temporary.empty() &&
      std::rename(file.temporary.c_str(), where_it_lies(file.path).c_str()) != 0) {
    reason = std::strerror(errno);
  }
  if (reason.empty()) {
    file.temporary.clear();
    return {};
  }
  discard_staged(file);
  return "cannot write " + file.path + ": " + reason;
}

void discard_staged(staged_file& file) {
  if (file.fd >= 0) close(file.fd);
  file.fd = -1;
  if (!file.temporary.empty()) unlink(file.temporary.c_str());
  file.temporary.clear();
}

namespace {

// A file by its device and inode; one not there yet by its folder's and its name.
struct file_identity {
  dev_t device = 0;
  ino_t inode = 0;
  std::string name;
  bool known = false;
};

file_identity identity_of(const std::string& path) {
  struct stat file {};
  if (stat(path.c_str(), &file) == 0) return {file.st_dev, file.st_ino, {}, true};
  const fs::path spelled(path);
  const fs::path folder = spelled.has_parent_path() ? spelled.parent_path() : fs::path(".");
  if (stat(folder.c_str(), &file) == 0) return {file.st_dev, file.st_ino, spelled.filename().string(), true};
  return {};
}

}  // namespace

bool same_file(const std::string& a, const std::string& b) {
  const file_identity first = identity_of(a);
  const file_identity second = identity_of(b);
  if (!first.known || !second.known) return fs::absolute(a).lexically_normal() == fs::absolute(b).lexically_normal();
  return first.device == second.device && first.inode == second.inode && first.name == second.name;
}

std::string read_whole_file(const std::string& path, std::string& text) {
  // Non-blocking: opening a FIFO with no writer must not wait.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return cannot("read", path, errno);
  struct stat file {};
  if (fstat(fd, &file) != 0) {
    const int error = errno;
    close(fd);
    return cannot("read", path, error);
  }
  // A device (/dev/zero, a terminal) or a directory is no saved file; a pipe is read as one.
  const bool pipe = S_ISFIFO(file.st_mode) || S_ISSOCK(file.st_mode);
  if (!S_ISREG(file.st_mode) && !pipe) {
    close(fd);
    return S_ISDIR(file.st_mode) ? cannot("read", path, EISDIR) : "cannot read " + path + ": not a regular file";
  }
  text.clear();
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && errno == EAGAIN) {
      pollfd ready{fd, POLLIN, 0};
      if (poll(&ready, 1, kInputWaitSeconds * 1000) == 0) {
        close(fd);
        return "cannot read " + path + ": nothing came for " + std::to_string(kInputWaitSeconds) + " s";
      }
      continue;
    }
    if (got < 0) {
      const int error = errno;
      close(fd);
      return cannot("read", path, error);
    }
    if (got == 0) break;
    if (text.size() + static_cast<std::size_t>(got) > kMostInputBytes) {
      close(fd);
      return "cannot read " + path + ": larger than " + std::to_string(kMostInputBytes >> 20) +
             " MiB, more than any saved run holds";
    }
    text.append(buffer, static_cast<std::size_t>(got));
  }
  close(fd);
  return {};
}

}  // namespace omp_sums
