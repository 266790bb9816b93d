// Measures how close the denoised picture comes to a many-sample reference
// of the start view, for both variants, and prints the table of
// docs/PERFORMANCE.md: the mean squared error of the plain and the denoised
// average at a few sample counts, over the whole picture and over the
// pixels on an edge of the primary buffers. Run in run/:
//
//   denoisequality [--references DIR] [--references-only] [--pictures DIR]
//                  [--only xmastrace|xmastrace_fast] [--size WxH]
//
// The references (4,096 samples at 384x256) take long on a software
// renderer, so they are kept in DIR as float maps and reused. --pictures
// writes the plain and denoised 8-sample pictures and the reference.
#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "ExitStatus.h"
#include "FloatImage.h"
#include "app/Application.h"
#include "platform/desktop/LegacyWindow.h"
#include "render/PngImage.h"
#include "render_tool/StillOptions.h"
#include "render_tool/StillRenderer.h"

namespace {

// The default size; the references take four times as long at the demo's.
constexpr int kDefaultWidth = 384;
constexpr int kDefaultHeight = 256;
constexpr int kReferenceSamples = 4096;
// The counts the table reports; the largest also separates the measured
// samples from the reference's, which must be independent of them.
constexpr int kMeasuredCounts[] = {1, 4, 8, 32, 128};
constexpr int kMaxMeasuredCount = 128;
// The pictures for the README, and the count the targets compare.
constexpr int kPictureCount = 8;

struct Options {
  std::string referenceDir = std::string(XMASTRACE_BINARY_DIR) + "/denoise_references";
  bool referencesOnly = false;
  std::string picturesDir;
  std::string only;  // a variant's program name, or empty for both
  int width = kDefaultWidth;
  int height = kDefaultHeight;
};

bool parseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--references-only") {
      options.referencesOnly = true;
    } else if (option == "--references" && i + 1 < argc) {
      options.referenceDir = argv[++i];
    } else if (option == "--size" && i + 1 < argc &&
               std::sscanf(argv[i + 1], "%dx%d", &options.width, &options.height) == 2 &&
               options.width > 0 && options.height > 0 && options.width <= kMaxStillSide &&
               options.height <= kMaxStillSide) {
      ++i;
    } else if (option == "--pictures" && i + 1 < argc) {
      options.picturesDir = argv[++i];
    } else if (option == "--only" && i + 1 < argc &&
               (std::string(argv[i + 1]) == "xmastrace" ||
                std::string(argv[i + 1]) == "xmastrace_fast")) {
      options.only = argv[++i];
    } else {
      std::cerr << "usage: denoisequality [--references DIR] [--references-only] "
                   "[--pictures DIR] [--only xmastrace|xmastrace_fast] [--size WxH]\n";
      return false;
    }
  }
  return true;
}

const char* variantName(PathVariant variant) {
  return variant == PathVariant::TwoBounce ? "xmastrace" : "xmastrace_fast";
}

std::string referencePath(const Options& options, PathVariant variant) {
  std::ostringstream name;
  name << options.referenceDir << "/reference_" << variantName(variant) << '_' << options.width
       << 'x' << options.height << '_' << kReferenceSamples << ".pfm";
  return name.str();
}

std::vector<float> readRgba(GLuint texture, int width, int height) {
  glFinish();
  std::vector<float> rgba(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  glBindTexture(GL_TEXTURE_2D, texture);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, rgba.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  return rgba;
}

// The rgb of a texture, times `scale` and clamped as the window clamps.
FloatImage readPicture(GLuint texture, int width, int height, float scale) {
  const std::vector<float> rgba = readRgba(texture, width, height);
  FloatImage image{width, height, {}};
  image.rgb.reserve(rgba.size() / 4 * 3);
  for (size_t i = 0; i < rgba.size(); i += 4) {
    for (size_t c = 0; c < 3; ++c) image.rgb.push_back(std::clamp(rgba[i + c] * scale, 0.0f, 1.0f));
  }
  return image;
}

// The running sum divided by the sample count, as the window shows it.
FloatImage averageImage(Application& app) {
  return readPicture(app.gpu.accumTexture, app.width, app.height,
                     1.0f / static_cast<float>(app.sampling.sampleCount));
}

FloatImage denoisedImage(Application& app) {
  return readPicture(app.denoisedPicture(), app.width, app.height, 1.0f);
}

// Pixels where the primary buffers change object (colour and material code,
// or surface and no surface), fold (normals more than about 25 degrees
// apart) or jump (a neighbour well off this pixel's tangent plane), on
// either side of the edge.
std::vector<bool> edgePixels(Application& app) {
  const int width = app.width, height = app.height;
  const std::vector<float> colour = readRgba(app.gpu.primaryFbo.colorTextures[0], width, height);
  const std::vector<float> position = readRgba(app.gpu.primaryFbo.colorTextures[1], width, height);
  const std::vector<float> normal = readRgba(app.gpu.primaryFbo.colorTextures[2], width, height);
  auto differ = [&](size_t a, size_t b) {
    for (size_t c = 0; c < 4; ++c) {
      if (std::fabs(colour[a + c] - colour[b + c]) > 0.5f / 255.0f) return true;
    }
    if ((position[a + 3] >= 1.0f) != (position[b + 3] >= 1.0f)) return true;
    if (position[a + 3] < 1.0f) return false;
    float cosine = 0.0f, offPlane = 0.0f, apart = 0.0f;
    for (size_t c = 0; c < 3; ++c) {
      const float step = position[b + c] - position[a + c];
      cosine += normal[a + c] * normal[b + c];
      offPlane += normal[a + c] * step;
      apart += step * step;
    }
    return cosine < 0.9f || std::fabs(offPlane) > 0.5f * std::sqrt(apart) + 0.002f;
  };
  std::vector<bool> edges(static_cast<size_t>(width) * static_cast<size_t>(height), false);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const size_t here = static_cast<size_t>(y) * width + x;
      const size_t right = here + 1, up = here + static_cast<size_t>(width);
      if (x + 1 < width && differ(here * 4, right * 4)) edges[here] = edges[right] = true;
      if (y + 1 < height && differ(here * 4, up * 4)) edges[here] = edges[up] = true;
    }
  }
  return edges;
}

// Mean squared error over the colour channels of the pixels in `mask` (all
// pixels when it is empty).
double meanSquaredError(const FloatImage& image, const FloatImage& reference,
                        const std::vector<bool>& mask) {
  double sum = 0.0;
  size_t count = 0;
  for (size_t pixel = 0; pixel * 3 < image.rgb.size(); ++pixel) {
    if (!mask.empty() && !mask[pixel]) continue;
    for (size_t c = 0; c < 3; ++c) {
      const double error = image.rgb[pixel * 3 + c] - reference.rgb[pixel * 3 + c];
      sum += error * error;
    }
    count += 3;
  }
  return count > 0 ? sum / static_cast<double>(count) : 0.0;
}

// 8 bits a channel, top row first, as a still is written.
RgbImage toRgb(const FloatImage& image) {
  RgbImage rgb{image.width, image.height, {}};
  rgb.pixels.resize(image.rgb.size());
  const size_t row = static_cast<size_t>(image.width) * 3;
  for (int y = 0; y < image.height; ++y) {
    const size_t from = static_cast<size_t>(y) * row;
    const size_t to = static_cast<size_t>(image.height - 1 - y) * row;
    for (size_t i = 0; i < row; ++i) {
      rgb.pixels[to + i] = static_cast<uint8_t>(std::lround(image.rgb[from + i] * 255.0f));
    }
  }
  return rgb;
}

void writePicture(const Options& options, const FloatImage& image, const std::string& name) {
  if (options.picturesDir.empty()) return;
  std::string error;
  const std::string path = options.picturesDir + "/" + name;
  if (!writePng(toRgb(image), path, error)) {
    std::cerr << "cannot write " << path << ": " << error << "\n";
  }
}

bool sampleUpTo(Application& app, int samples) {
  StillOptions still;
  still.samples = samples;
  still.width = app.width;
  still.height = app.height;
  still.denoise = app.denoising;
  std::ostream quiet(nullptr);
  return renderStillFrames(app, still, quiet, nullptr);
}

// The pictures at one sample count, and where their edges are.
struct Capture {
  int samples = 0;
  FloatImage raw;
  FloatImage denoised;
  std::vector<bool> edges;
};

bool captureCounts(Application& app, std::vector<Capture>& captures) {
  app.denoising = true;
  for (int samples : kMeasuredCounts) {
    if (!sampleUpTo(app, samples)) return false;
    captures.push_back({samples, averageImage(app), denoisedImage(app), edgePixels(app)});
  }
  return true;
}

// The samples that follow the measured ones from a restart, so that the
// reference shares no sample with what it judges.
bool referenceAfterMeasured(const Options& options, Application& app, FloatImage& reference) {
  const std::string path = referencePath(options, app.variant);
  if (readPfm(path, app.width, app.height, reference)) return true;
  if (!sampleUpTo(app, kMaxMeasuredCount)) return false;
  app.sampling.restart();
  std::cerr << "rendering the " << variantName(app.variant) << " reference ("
            << kReferenceSamples << " samples)\n";
  if (!sampleUpTo(app, kReferenceSamples)) return false;
  reference = averageImage(app);
  std::error_code ignored;
  std::filesystem::create_directories(options.referenceDir, ignored);
  if (!writePfm(reference, path)) std::cerr << "cannot write " << path << "\n";
  return true;
}

void printTable(PathVariant variant, const std::vector<Capture>& captures,
                const FloatImage& reference) {
  std::printf("\n%s, %dx%d, mean squared error against %d samples\n", variantName(variant),
              reference.width, reference.height, kReferenceSamples);
  std::printf("| samples | raw | denoised | raw, edges | denoised, edges |\n");
  std::printf("|---:|---:|---:|---:|---:|\n");
  for (const Capture& capture : captures) {
    std::printf("| %d | %.3e | %.3e | %.3e | %.3e |\n", capture.samples,
                meanSquaredError(capture.raw, reference, {}),
                meanSquaredError(capture.denoised, reference, {}),
                meanSquaredError(capture.raw, reference, capture.edges),
                meanSquaredError(capture.denoised, reference, capture.edges));
  }
}

// The targets: denoised at kPictureCount samples beats raw at the most
// samples, and on the edges denoised beats raw at every count.
void printTargets(const std::vector<Capture>& captures, const FloatImage& reference) {
  const Capture* few = nullptr;
  for (const Capture& capture : captures) {
    if (capture.samples == kPictureCount) few = &capture;
  }
  const Capture& most = captures.back();
  const bool met = few && meanSquaredError(few->denoised, reference, {}) <
                              meanSquaredError(most.raw, reference, {});
  std::printf("denoised %d samples better than raw %d samples: %s\n", kPictureCount,
              most.samples, met ? "yes" : "NO");
  bool edges = true;
  for (const Capture& capture : captures) {
    edges = edges && meanSquaredError(capture.denoised, reference, capture.edges) <
                         meanSquaredError(capture.raw, reference, capture.edges);
  }
  std::printf("edges better denoised at every count: %s\n", edges ? "yes" : "NO");
}

int measureVariant(const Options& options, PathVariant variant) {
  auto app = std::make_unique<Application>(options.width, options.height, variant,
                                           /*withMusic=*/false);
  if (app->startupStatus() != kStatusOk) return app->startupStatus();
  std::vector<Capture> captures;
  FloatImage reference;
  if (!options.referencesOnly && !captureCounts(*app, captures)) return kStatusFatal;
  if (!referenceAfterMeasured(options, *app, reference)) return kStatusFatal;
  if (options.referencesOnly) return kStatusOk;
  printTable(variant, captures, reference);
  for (const Capture& capture : captures) {
    if (capture.samples != kPictureCount) continue;
    const std::string stem = variant == PathVariant::TwoBounce ? "denoise" : "denoise_fast";
    writePicture(options, capture.raw, stem + "_raw8.png");
    writePicture(options, capture.denoised, stem + "_denoised8.png");
    writePicture(options, reference, stem + "_reference.png");
  }
  printTargets(captures, reference);
  return kStatusOk;
}

bool openHiddenContext(LegacyWindow& window, int width, int height) {
  if (!glfwInit()) return false;
  if (!window.open(width, height, /*visible=*/false)) return false;
  if (!loadGlEntryPoints()) return false;
  glViewport(0, 0, width, height);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parseOptions(argc, argv, options)) return kStatusFatal;
  if (!std::filesystem::is_directory("data/xmas")) {
    std::cerr << "no data/xmas/ here: run denoisequality in run/\n";
    return kStatusFatal;
  }
  LegacyWindow window;
  if (!openHiddenContext(window, options.width, options.height)) {
    std::cerr << "cannot open a hidden window: " << windowSystemError() << "\n";
    glfwTerminate();
    return kStatusFatal;
  }
  int status = kStatusOk;
  for (PathVariant variant : {PathVariant::TwoBounce, PathVariant::OneBounce}) {
    if (!options.only.empty() && options.only != variantName(variant)) continue;
    if (const int measured = measureVariant(options, variant); measured != kStatusOk)
      status = measured;
  }
  glfwTerminate();
  return status;
}
