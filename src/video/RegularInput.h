#pragma once

#include <string>

struct AVFormatContext;
struct AVIOContext;

// A media file opened for FFmpeg through the same regular-file check as
// every other input (InputFile.h): a FIFO or a device counts as missing,
// and FFmpeg reads through the descriptor that was checked.
class RegularInput {
 public:
  RegularInput() = default;
  ~RegularInput();
  RegularInput(const RegularInput&) = delete;
  RegularInput& operator=(const RegularInput&) = delete;

  // Opens the file and reads its header. `stop`, when given, is asked
  // while FFmpeg reads; true makes the reading fail. Returns false with
  // the reason in `error`.
  bool open(const std::string& path, bool (*stop)(), std::string& error);
  AVFormatContext* format() const { return context; }
  bool stopped() const { return stop && stop(); }

 private:
  bool (*stop)() = nullptr;
  int fd = -1;
  AVIOContext* reader = nullptr;
  AVFormatContext* context = nullptr;
};
