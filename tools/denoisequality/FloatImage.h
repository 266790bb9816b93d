#pragma once

#include <string>
#include <vector>

// An RGB float picture as GL hands it: bottom row first, three floats a pixel.
struct FloatImage {
  int width = 0;
  int height = 0;
  std::vector<float> rgb;
};

// Portable float map files, little-endian, rows bottom first like GL's.
bool writePfm(const FloatImage& image, const std::string& path);
// False when the file is missing or is not a width x height colour map.
bool readPfm(const std::string& path, int width, int height, FloatImage& image);
