#pragma once

#include <cstdint>
#include <vector>

// An 8-bit RGB picture, top row first, three bytes per pixel.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;
};
