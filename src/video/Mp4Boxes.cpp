#include "video/Mp4Boxes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>

namespace {

constexpr int64_t kHeaderSize = 8;       // 32-bit size and type
constexpr int64_t kLargeHeaderSize = 16;  // size 1: a 64-bit size follows the type

bool readAt(int fd, int64_t offset, unsigned char* bytes, size_t count) {
  return pread(fd, bytes, count, static_cast<off_t>(offset)) == static_cast<ssize_t>(count);
}

uint64_t bigEndian(const unsigned char* bytes, int count) {
  uint64_t value = 0;
  for (int i = 0; i < count; ++i) value = value << 8 | bytes[i];
  return value;
}

std::string typeOf(const unsigned char* header) {
  std::string type;
  for (int i = 4; i < 8; ++i) type += std::isprint(header[i]) ? static_cast<char>(header[i]) : '?';
  return type;
}

}  // namespace

std::string mp4BoxProblem(int fd) {
  struct stat info;
  if (fstat(fd, &info) != 0) return "";
  const int64_t fileSize = info.st_size;
  int64_t at = 0;
  while (at < fileSize) {
    unsigned char header[kLargeHeaderSize];
    if (fileSize - at < kHeaderSize || !readAt(fd, at, header, kHeaderSize))
      return at == 0 ? "" : "ends inside a box's header";
    const std::string type = typeOf(header);
    if (at == 0 && type != "ftyp") return "";
    uint64_t size = bigEndian(header, 4);
    int64_t headerSize = kHeaderSize;
    if (size == 0) return "";  // the last box, to the file's end
    if (size == 1) {
      if (fileSize - at < kLargeHeaderSize || !readAt(fd, at, header, kLargeHeaderSize))
        return "ends inside a box's header";
      size = bigEndian(header + kHeaderSize, 8);
      headerSize = kLargeHeaderSize;
    }
    if (size < static_cast<uint64_t>(headerSize) || size > static_cast<uint64_t>(INT64_MAX))
      return "holds a box of impossible size at byte " + std::to_string(at);
    const uint64_t left = static_cast<uint64_t>(fileSize - at);
    if (size > left)
      return "ends inside its " + type + " box, " + std::to_string(size - left) + " bytes short";
    at += static_cast<int64_t>(size);
  }
  return "";
}
