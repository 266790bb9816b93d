// roompreview <xmas dir> <out prefix> [width] [samples]: writes
// <prefix>_hit.png (first-surface colour) and <prefix>_paths.png (path
// traced) of the demo's start view. The octree figures of the room come from
// the room tests (room_octree_test prints them).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Bvh.h"
#include "SceneFiles.h"
#include "Tracer.h"
#include "render/PngImage.h"

namespace {

// Rounds the preview's 0..1 floats to bytes, top row first, and writes them.
bool writePreview(const std::string& path, const PreviewImage& image) {
  RgbImage picture{image.width, image.height, {}};
  picture.pixels.reserve(image.rgb.size());
  for (int y = image.height - 1; y >= 0; --y) {  // PNG rows run top to bottom
    for (int i = 0; i < image.width * 3; ++i) {
      const float v = image.rgb[size_t(y) * image.width * 3 + i];
      picture.pixels.push_back(
          static_cast<uint8_t>(v <= 0.0f ? 0 : v >= 1.0f ? 255 : v * 255.0f + 0.5f));
    }
  }
  std::string error;
  if (writePng(picture, path, error)) return true;
  std::fprintf(stderr, "%s\n", error.c_str());
  return false;
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
  if (!writePreview(prefix + "_hit.png", renderHitColour(scene, bvh, width, height))) return 1;
  if (samples > 0 &&
      !writePreview(prefix + "_paths.png", renderPaths(scene, bvh, width, height, samples))) {
    return 1;
  }
  return 0;
}
