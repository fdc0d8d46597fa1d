#include "tools/output_files.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

std::string open_staged(const std::string& path, staged_file& file) {
  const std::filesystem::path target(path);
  const std::string extension = target.extension().string();
  std::string pattern = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string() + extension;
  const int fd = mkstemps(pattern.data(), static_cast<int>(extension.size()));
  if (fd < 0) return "cannot create " + path + ": " + std::strerror(errno);
  const mode_t mask = umask(0);  // mkstemps makes it private; the file gets the usual mode
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  file.path = path;
  file.temporary = pattern;
  file.stream = fdopen(fd, "w");
  if (file.stream == nullptr) {
    const std::string reason = std::strerror(errno);
    close(fd);
    discard_staged(file);
    return "cannot write " + path + ": " + reason;
  }
  return {};
}

std::string commit_staged(staged_file& file) {
  std::string reason;
  if (file.stream != nullptr) {
    const bool written = std::fflush(file.stream) == 0 && std::ferror(file.stream) == 0 && fsync(fileno(file.stream)) == 0;
    if (!written) reason = std::strerror(errno != 0 ? errno : EIO);
    if (std::fclose(file.stream) != 0 && reason.empty()) reason = std::strerror(errno);
    file.stream = nullptr;
  }
  if (reason.empty() && std::rename(file.temporary.c_str(), file.path.c_str()) != 0) reason = std::strerror(errno);
  if (reason.empty()) return {};
  discard_staged(file);
  return "cannot write " + file.path + ": " + reason;
}

void discard_staged(staged_file& file) {
  if (file.stream != nullptr) std::fclose(file.stream);
  file.stream = nullptr;
  if (!file.temporary.empty()) std::remove(file.temporary.c_str());
  file.temporary.clear();
}

bool same_file(const std::string& a, const std::string& b) {
  std::error_code error_a;
  std::error_code error_b;
  const std::filesystem::path canonical_a = std::filesystem::weakly_canonical(a, error_a);
  const std::filesystem::path canonical_b = std::filesystem::weakly_canonical(b, error_b);
  return error_a || error_b ? a == b : canonical_a == canonical_b;
}
