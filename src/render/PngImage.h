#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/RgbImage.h"

// GL hands rows bottom first with four bytes per pixel; pictures are stored
// top first without alpha. A buffer shorter than width x height x 4 gives an
// empty image.
RgbImage rgbImageFromGlRows(const std::vector<uint8_t>& rgba, int width, int height);

// Writes the picture as an 8-bit RGB PNG without gamma information, so the
// bytes are shown as they are. The file is written under a temporary name
// beside `path` and then renamed (a device or pipe is written in place): on
// failure it returns false with the system's reason in `error`, and the file
// that was at `path` is untouched. A link keeps leading where it led: the
// picture replaces the file at its end, with that file's permission bits. A
// file with several hard links is replaced under this name only; the other
// names keep the earlier picture.
bool writePng(const RgbImage& image, const std::string& path, std::string& error);

// Writes the picture to an open descriptor (standard output in a pipe) and
// closes it.
bool writePngTo(const RgbImage& image, int descriptor, std::string& error);
