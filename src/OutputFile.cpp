#include "OutputFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

constexpr const char* kTemporarySuffix = ".part-XXXXXX";

bool fail(std::string& error, const std::string& reason) {
  error = reason;
  return false;
}

// The longest name the folder's file system takes.
size_t nameLimitOf(const std::string& folder) {
  const long limit = pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
  return limit > 0 ? static_cast<size_t>(limit) : NAME_MAX;
}

bool isUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// A chain of links longer than this is a loop, as the system counts.
constexpr int kMaxLinks = 40;

std::string folderOf(const std::string& path) {
  const std::string folder = std::filesystem::path(path).parent_path().string();
  return folder.empty() ? "." : folder;
}

bool createTemporaryWithMode(const std::string& path, mode_t mode, std::string& temporary, std::string& error) {
  const std::string folder = std::filesystem::path(path).parent_path().string();
  std::string pattern = temporaryPatternFor(path, nameLimitOf(folder));
  const int descriptor = mkstemp(pattern.data());
  if (descriptor < 0) {
    // A missing folder is plain from the path; any other refusal is the
    // folder's, though the file itself may be writable.
    if (errno == ENOENT || errno == ENOTDIR) return fail(error, std::strerror(errno));
    return fail(error, "cannot make a file in " + folderOf(path) + ": " + std::strerror(errno));
  }
  fchmod(descriptor, mode);
  close(descriptor);
  temporary = pattern;
  return true;
}

// The end of the chain of symbolic links that starts at `path`; a name
// that is no link (or does not exist yet) is its own end.
bool followLinks(const std::string& path, std::string& end, std::string& error) {
  std::string at = path;
  for (int hop = 0; hop <= kMaxLinks; ++hop) {
    struct stat status;
    if (lstat(at.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
      end = at;
      return true;
    }
    std::string target(PATH_MAX, '\0');
    const ssize_t length = readlink(at.c_str(), target.data(), target.size());
    if (length < 0) return fail(error, std::strerror(errno));
    target.resize(static_cast<size_t>(length));
    const std::string folder = std::filesystem::path(at).parent_path().string();
    at = (!target.empty() && target.front() == '/') || folder.empty() ? target : folder + "/" + target;
  }
  return fail(error, std::strerror(ELOOP));
}

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Root may write anything, so the write bits are asked as well: a file
// made read-only says it is not to be replaced.
bool mayReplace(const std::string& path, const OutputTarget& target) {
  if (access(path.c_str(), W_OK) != 0) return false;
  return target.stream || (target.mode & 0222) != 0;
}

bool checkTarget(const std::string& path, bool streamAllowed, std::string& error) {
  OutputTarget target;
  if (!findOutputTarget(path, target, error)) return false;
  if (target.stream && !streamAllowed)
    return fail(error,
                "it is a device or a pipe, and an MP4 must be a regular file (its index is written at the front, last)");
  if (target.exists && !mayReplace(path, target)) return fail(error, std::strerror(EACCES));
  if (target.stream) return true;
  std::string temporary;
  if (!createTemporaryFor(target, temporary, error)) return false;
  std::remove(temporary.c_str());
  return true;
}

}  // namespace

std::string temporaryPatternFor(const std::string& path, size_t nameMax) {
  const size_t slash = path.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t suffix = std::strlen(kTemporarySuffix);
  const size_t room = nameMax > suffix ? nameMax - suffix : 0;
  size_t nameEnd = path.size();
  if (nameEnd - nameStart > room) {
    nameEnd = nameStart + room;
    while (nameEnd > nameStart && isUtf8Continuation(path[nameEnd])) --nameEnd;
  }
  return path.substr(0, nameEnd) + kTemporarySuffix;
}

bool createTemporaryBeside(const std::string& path, std::string& temporary, std::string& error) {
  // mkstemp keeps the file private; a greeting is made to be passed on.
  const mode_t mask = umask(0);
  umask(mask);
  return createTemporaryWithMode(path, 0666 & ~mask, temporary, error);
}

bool findOutputTarget(const std::string& path, OutputTarget& target, std::string& error) {
  target = OutputTarget{};
  struct stat status;
  if (stat(path.c_str(), &status) == 0) {
    if (S_ISDIR(status.st_mode)) return fail(error, "it is a folder");
    target.exists = true;
    target.mode = status.st_mode & 0777;
    if (!S_ISREG(status.st_mode)) {
      target.stream = true;
      target.file = path;
      return true;
    }
  }
  if (!followLinks(path, target.file, error)) return false;
  // A link of /proc (a descriptor's) may name a file that is gone or was
  // renamed; writing beside that name would miss the file.
  struct stat end;
  if (target.exists && (stat(target.file.c_str(), &end) != 0 || !sameFile(status, end)))
    return fail(error, "cannot tell which file its links lead to");
  return true;
}

bool createTemporaryFor(const OutputTarget& target, std::string& temporary, std::string& error) {
  if (!target.exists) return createTemporaryBeside(target.file, temporary, error);
  return createTemporaryWithMode(target.file, target.mode, temporary, error);
}

bool namesStandardOutput(const std::string& path) {
  if (path == "-") return true;
  struct stat named, output;
  return stat(path.c_str(), &named) == 0 && fstat(STDOUT_FILENO, &output) == 0 && sameFile(named, output);
}

bool checkOutputTarget(const std::string& path, std::string& error) {
  return checkTarget(path, /*streamAllowed=*/true, error);
}

bool checkMp4OutputTarget(const std::string& path, std::string& error) {
  return checkTarget(path, /*streamAllowed=*/false, error);
}
