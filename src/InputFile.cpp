#include "InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <utility>
#include <stdexcept>

namespace {

bool isRegular(const struct stat& info) { return S_ISREG(info.st_mode); }

}  // namespace

int openRegularFile(const std::string& path) {
  std::string ignored;
  return openRegularFile(path, ignored);
}

int openRegularFile(const std::string& path, std::string& error) {
  // Looked at before opening, since opening a device may act on it; and
  // again once open, in case another thing took the name in between. Not
  // blocking in the open keeps such a FIFO from stopping the demo there.
  const auto refuse = [&error](int fd) {
    const bool missing = errno == ENOENT || errno == ENOTDIR || fd >= 0;
    error = missing ? "missing, or not a regular file" : std::strerror(errno);
    if (fd >= 0) close(fd);
    return -1;
  };
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return refuse(-1);
  if (!isRegular(info)) {
    error = "missing, or not a regular file";
    return -1;
  }
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return refuse(-1);
  if (fstat(fd, &info) != 0 || !isRegular(info)) return refuse(fd);
  return fd;
}

bool readRegularFile(const std::string& path, std::string& content) {
  const int fd = openRegularFile(path);
  if (fd < 0) return false;
  std::string text;
  bool complete = false;
  try {
    char chunk[1 << 16];
    for (;;) {
      const ssize_t got = read(fd, chunk, sizeof chunk);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        complete = got == 0;
        break;
      }
      text.append(chunk, static_cast<size_t>(got));
    }
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
    // More text than memory holds is no file the demo can use.
  }
  close(fd);
  if (!complete) return false;
  content = std::move(text);
  return true;
}
