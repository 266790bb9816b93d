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
  const std::string folder = std::filesystem::path(path).parent_path().string();
  std::string pattern = temporaryPatternFor(path, nameLimitOf(folder));
  const int descriptor = mkstemp(pattern.data());
  if (descriptor < 0) return fail(error, std::strerror(errno));
  // mkstemp keeps the file private; a greeting is made to be passed on.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(descriptor, 0666 & ~mask);
  close(descriptor);
  temporary = pattern;
  return true;
}

bool writesInPlace(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
}

bool checkOutputTarget(const std::string& path, std::string& error) {
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) return fail(error, "it is a folder");
  // A file the user made read-only is not replaced behind their back.
  struct stat status;
  if (stat(path.c_str(), &status) == 0 && access(path.c_str(), W_OK) != 0)
    return fail(error, std::strerror(errno));
  if (writesInPlace(path)) return true;
  std::string temporary;
  if (!createTemporaryBeside(path, temporary, error)) return false;
  std::remove(temporary.c_str());
  return true;
}
