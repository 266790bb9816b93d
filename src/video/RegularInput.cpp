#include "video/RegularInput.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "InputFile.h"
#include "video/FfmpegHandles.h"

namespace {

constexpr int kReadBufferSize = 1 << 16;

int readFromFile(void* opaque, uint8_t* buffer, int size) {
  const int fd = *static_cast<const int*>(opaque);
  for (;;) {
    const ssize_t got = read(fd, buffer, static_cast<size_t>(size));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return AVERROR(errno);
    return got == 0 ? AVERROR_EOF : static_cast<int>(got);
  }
}

int64_t seekInFile(void* opaque, int64_t offset, int whence) {
  const int fd = *static_cast<const int*>(opaque);
  if (whence == AVSEEK_SIZE) {
    struct stat info;
    return fstat(fd, &info) == 0 ? static_cast<int64_t>(info.st_size) : AVERROR(errno);
  }
  const off_t at = lseek(fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
  return at < 0 ? AVERROR(errno) : static_cast<int64_t>(at);
}

int askToStop(void* opaque) { return static_cast<const RegularInput*>(opaque)->stopped() ? 1 : 0; }

}  // namespace

RegularInput::~RegularInput() {
  // The format first: it reads through the reader, which reads the file.
  avformat_close_input(&context);
  if (reader) av_freep(&reader->buffer);
  avio_context_free(&reader);
  if (fd >= 0) close(fd);
}

bool RegularInput::open(const std::string& path, bool (*stopAsked)(), std::string& error) {
  stop = stopAsked;
  fd = openRegularFile(path, error);
  if (fd < 0) return false;
  auto* buffer = static_cast<unsigned char*>(av_malloc(kReadBufferSize));
  if (buffer) reader = avio_alloc_context(buffer, kReadBufferSize, 0, &fd, readFromFile, nullptr, seekInFile);
  if (!reader) av_free(buffer);
  AVFormatContext* opened = reader ? avformat_alloc_context() : nullptr;
  if (!opened) {
    error = "out of memory";
    return false;
  }
  opened->pb = reader;
  opened->flags |= AVFMT_FLAG_CUSTOM_IO;
  opened->interrupt_callback = {askToStop, this};
  // On failure FFmpeg frees the context itself.
  if (const int code = avformat_open_input(&opened, path.c_str(), nullptr, nullptr); code < 0) {
    error = stopped() ? "interrupted" : ffmpegError(code);
    return false;
  }
  context = opened;
  if (const int code = avformat_find_stream_info(context, nullptr); code < 0) {
    error = stopped() ? "interrupted" : ffmpegError(code);
    return false;
  }
  return true;
}
