// roompreview <xmas dir> <out prefix> [width] [samples]: writes
// <prefix>_hit.png (first-surface colour) and <prefix>_paths.png (path
// traced) of the demo's start view. The octree figures of the room come from
// the room tests (room_octree_test prints them).
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Bvh.h"
#include "SceneFiles.h"
#include "Tracer.h"

namespace {

bool writePng(const std::string& path, const PreviewImage& image) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<png_byte> row(size_t(image.width) * 3);
  for (int y = image.height - 1; y >= 0; --y) {  // PNG rows run top to bottom
    for (int i = 0; i < image.width * 3; ++i) {
      const float v = image.rgb[size_t(y) * image.width * 3 + i];
      row[i] = static_cast<png_byte>(v <= 0.0f ? 0 : v >= 1.0f ? 255 : v * 255.0f + 0.5f);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: roompreview <xmas dir> <out prefix> [width] [samples]\n");
    return 2;
  }
  const int width = argc > 3 ? std::atoi(argv[3]) : 384;
  const int samples = argc > 4 ? std::atoi(argv[4]) : 16;
  const int height = width * 2 / 3;
  PreviewScene scene;
  if (!loadPreviewScene(argv[1], scene)) return 1;
  std::printf("triangles: %zu  box: (%g %g %g)-(%g %g %g)\n", scene.triangles.size(),
              scene.boxMin.x, scene.boxMin.y, scene.boxMin.z, scene.boxMax.x, scene.boxMax.y,
              scene.boxMax.z);
  const Bvh bvh(scene.triangles);
  const std::string prefix = argv[2];
  if (!writePng(prefix + "_hit.png", renderHitColour(scene, bvh, width, height))) return 1;
  if (samples > 0 &&
      !writePng(prefix + "_paths.png", renderPaths(scene, bvh, width, height, samples))) {
    return 1;
  }
  return 0;
}
