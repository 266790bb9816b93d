#include "render/PngImage.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <unistd.h>

#include "OutputFile.h"

namespace {

// libpng reports errors by longjmp; the message is kept for the caller.
struct PngErrorSink {
  FILE* file = nullptr;
  std::string message;
};

void onPngError(png_structp png, png_const_charp message) {
  auto* sink = static_cast<PngErrorSink*>(png_get_error_ptr(png));
  if (sink) sink->message = message;
  png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

// libpng's own writer says only "Write Error"; the system's reason (a full
// disk, a lost network share) is what the user can act on.
void writeBytes(png_structp png, png_bytep bytes, size_t length) {
  auto* sink = static_cast<PngErrorSink*>(png_get_io_ptr(png));
  if (std::fwrite(bytes, 1, length, sink->file) == length) return;
  sink->message = std::strerror(errno);
  png_longjmp(png, 1);
}

void flushBytes(png_structp png) {
  auto* sink = static_cast<PngErrorSink*>(png_get_io_ptr(png));
  if (std::fflush(sink->file) == 0) return;
  sink->message = std::strerror(errno);
  png_longjmp(png, 1);
}

// Only plain locals that never change after setjmp, so longjmp leaves them
// valid.
bool encode(const RgbImage& image, PngErrorSink& sink) {
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, onPngError, onPngWarning);
  if (!png) {
    sink.message = "out of memory";
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (!info) {
    sink.message = "out of memory";
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, &sink, writeBytes, flushBytes);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
               static_cast<png_uint_32>(image.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const size_t stride = static_cast<size_t>(image.width) * 3;
  for (int row = 0; row < image.height; ++row)
    png_write_row(png, image.pixels.data() + static_cast<size_t>(row) * stride);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}


// Closes `file` whatever happens.
bool writeStream(const RgbImage& image, FILE* file, std::string& error) {
  PngErrorSink sink;
  sink.file = file;
  const bool encoded = encode(image, sink);
  // A full disk shows up only when the buffered bytes are flushed.
  const bool closed = std::fclose(sink.file) == 0;
  if (encoded && closed) return true;
  error = encoded ? std::string(std::strerror(errno)) : sink.message;
  return false;
}

bool writeFile(const RgbImage& image, const std::string& path, std::string& error) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    error = std::strerror(errno);
    return false;
  }
  return writeStream(image, file, error);
}

bool hasPicture(const RgbImage& image, std::string& error) {
  const size_t expected = static_cast<size_t>(image.width > 0 ? image.width : 0) *
                          static_cast<size_t>(image.height > 0 ? image.height : 0) * 3;
  if (expected != 0 && image.pixels.size() == expected) return true;
  error = "no picture to write";
  return false;
}

}  // namespace

bool writePng(const RgbImage& image, const std::string& path, std::string& error) {
  if (!hasPicture(image, error)) return false;
  OutputTarget target;
  if (!checkOutputTarget(path, error) || !findOutputTarget(path, target, error)) return false;
  if (target.stream) return writeFile(image, path, error);
  std::string temporary;
  if (!createTemporaryFor(target, temporary, error)) return false;
  if (writeFile(image, temporary, error)) {
    if (std::rename(temporary.c_str(), target.file.c_str()) == 0) return true;
    error = std::strerror(errno);
  }
  std::remove(temporary.c_str());
  return false;
}

bool writePngTo(const RgbImage& image, int descriptor, std::string& error) {
  if (!hasPicture(image, error)) return false;
  FILE* file = fdopen(descriptor, "wb");
  if (!file) {
    error = std::strerror(errno);
    close(descriptor);
    return false;
  }
  return writeStream(image, file, error);
}
