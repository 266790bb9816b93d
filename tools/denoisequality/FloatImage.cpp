#include "FloatImage.h"

#include <fstream>
#include <sstream>

bool writePfm(const FloatImage& image, const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  if (!out) return false;
  // A negative scale marks little-endian floats, which is what x86 stores.
  out << "PF\n" << image.width << ' ' << image.height << "\n-1.0\n";
  out.write(reinterpret_cast<const char*>(image.rgb.data()),
            static_cast<std::streamsize>(image.rgb.size() * sizeof(float)));
  return static_cast<bool>(out);
}

bool readPfm(const std::string& path, int width, int height, FloatImage& image) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int fileWidth = 0, fileHeight = 0;
  double scale = 0.0;
  if (!(in >> magic >> fileWidth >> fileHeight >> scale)) return false;
  if (magic != "PF" || fileWidth != width || fileHeight != height || scale >= 0.0) return false;
  in.get();  // the single white-space character before the data
  image.width = width;
  image.height = height;
  image.rgb.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, 0.0f);
  in.read(reinterpret_cast<char*>(image.rgb.data()),
          static_cast<std::streamsize>(image.rgb.size() * sizeof(float)));
  return static_cast<bool>(in);
}
