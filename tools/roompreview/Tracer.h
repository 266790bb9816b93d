#pragma once

#include <vector>

#include "Bvh.h"
#include "SceneFiles.h"

// The demo's start view, traced on the CPU with the same material rules,
// sky, ambient term and two-bounce path composition as the GPU renderer
// (without its march limits), so the picture says how the room will read.
struct PreviewImage {
  int width = 0;
  int height = 0;
  std::vector<float> rgb;  // rows bottom to top, as the window shows them
};

// The flat colour of the first surface each pixel's ray meets.
PreviewImage renderHitColour(const PreviewScene& scene, const Bvh& bvh, int width, int height);

// The average of `samples` path samples per pixel.
PreviewImage renderPaths(const PreviewScene& scene, const Bvh& bvh, int width, int height,
                         int samples);
