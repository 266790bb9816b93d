#include "platform/web/VideoSteps.h"

namespace {

// Browser frames this quick leave room for more samples in each; slower
// ones make the page feel stuck.
constexpr double kQuickStepMs = 25.0;
constexpr double kSlowStepMs = 60.0;
constexpr int kMostDrawsPerStep = 64;

}  // namespace

FitArea fitArea(int width, int height, int intoWidth, int intoHeight) {
  FitArea area{0, 0, intoWidth, intoHeight};
  // A picture without pixels has no shape to keep.
  if (width <= 0 || height <= 0) return area;
  // Compared as products: the wider of the two shapes decides.
  if (static_cast<long long>(width) * intoHeight > static_cast<long long>(intoWidth) * height) {
    area.height = static_cast<int>(static_cast<long long>(intoWidth) * height / width);
  } else {
    area.width = static_cast<int>(static_cast<long long>(intoHeight) * width / height);
  }
  area.x = (intoWidth - area.width) / 2;
  area.y = (intoHeight - area.height) / 2;
  return area;
}

int nextDrawsPerStep(int draws, double interval, int samples) {
  const int most = samples < kMostDrawsPerStep ? samples : kMostDrawsPerStep;
  if (interval < kQuickStepMs && draws < most) return draws * 2 < most ? draws * 2 : most;
  if (interval > kSlowStepMs && draws > 1) return draws / 2;
  return draws;
}
