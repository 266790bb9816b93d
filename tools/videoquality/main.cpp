// Measures a piece of the default video's frames, rendered the ways a video
// can sample them, against the same frames with many samples, and times
// each way. Run in run/:
//
//   videoquality [--size WxH] [--frames A-B] [--reference N] [--references DIR]
//                [--ways all|fresh|reused]
//
// The reference frames take long on a software renderer, so they are kept
// in DIR as raw RGB files and reused. A second table splits each way's
// error by what the pixels show: edges, and inside them the kind of
// surface the first hit found, so that a change aims at where the error is.
#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ExitStatus.h"
#include "app/Application.h"
#include "platform/desktop/LegacyWindow.h"
#include "render_tool/StillOptions.h"
#include "render_tool/VideoRenderer.h"

namespace {

struct Options {
  int width = 384;
  int height = 256;
  int firstFrame = 8;
  int lastFrame = 15;
  int referenceSamples = 256;
  std::string ways = "all";  // or "fresh", "reused"
  std::string referenceDir = std::string(XMASTRACE_BINARY_DIR) + "/video_references";
};

// One way to sample the video's frames.
struct Way {
  const char* name;
  int samples;
  bool denoise;
  bool temporal;
};

constexpr Way kWays[] = {
    {"fresh, 16 samples, denoised (today's default)", 16, true, false},
    {"fresh, 16 samples, raw", 16, false, false},
    {"fresh, 1 sample, denoised", 1, true, false},
    {"reused, 1 sample a frame, raw", 1, false, true},
    {"reused, 1 sample a frame, denoised", 1, true, true},
    {"reused, 2 samples a frame, denoised", 2, true, true},
    {"reused, 3 samples a frame, denoised", 3, true, true},
    {"reused, 4 samples a frame, denoised", 4, true, true},
    {"fresh, 8 samples, denoised", 8, true, false},
    {"fresh, 4 samples, denoised", 4, true, false},
};

// The kinds of surface by the material code the path tracer reads from the
// hit buffers (codes from 0.1 to 0.5 are traced as matte), and edges: pixels
// where the reference changes by more than kEdgeLevels to a neighbour.
enum SurfaceKind { kEdge, kMatte, kEmitter, kGlossy, kMirror, kSurfaceKinds };
constexpr const char* kSurfaceNames[kSurfaceKinds] = {"edges", "matte", "emitters", "glossy",
                                                      "mirrors"};
constexpr int kEdgeLevels = 24;

SurfaceKind surfaceKind(float code) {
  if (code <= 0.5f) return kMatte;
  if (code < 0.8f) return kEmitter;
  if (code <= 0.99f) return kGlossy;
  return kMirror;
}

using Kinds = std::vector<uint8_t>;  // a SurfaceKind per pixel, top row first

bool parseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    const char* value = argv[i + 1];
    bool ok = false;
    if (option == "--size") {
      ok = std::sscanf(value, "%dx%d", &options.width, &options.height) == 2 && options.width > 0 &&
           options.height > 0 && options.width <= kMaxStillSide && options.height <= kMaxStillSide;
    } else if (option == "--frames") {
      ok = std::sscanf(value, "%d-%d", &options.firstFrame, &options.lastFrame) == 2 &&
           options.firstFrame >= 0 && options.lastFrame >= options.firstFrame;
    } else if (option == "--reference") {
      ok = std::sscanf(value, "%d", &options.referenceSamples) == 1 && options.referenceSamples > 0 &&
           options.referenceSamples <= kMaxStillSamples;
    } else if (option == "--ways") {
      options.ways = value;
      ok = options.ways == "all" || options.ways == "fresh" || options.ways == "reused";
    } else if (option == "--references") {
      options.referenceDir = value;
      ok = true;
    }
    if (!ok) {
      std::cerr << "usage: videoquality [--size WxH] [--frames A-B] [--reference N] [--references DIR]\n"
                   "                    [--ways all|fresh|reused]\n";
      return false;
    }
  }
  return argc % 2 == 1;
}

VideoOptions videoOptions(const Options& options, const Way& way) {
  VideoOptions video;
  video.videoFile = "measure.mp4";
  video.width = options.width;
  video.height = options.height;
  video.samples = way.samples;
  video.denoise = way.denoise;
  video.temporal = way.temporal;
  video.piece = true;
  video.firstFrame = options.firstFrame;
  video.lastFrame = options.lastFrame;
  return video;
}

using Frames = std::map<int, RgbImage>;
using FrameKinds = std::map<int, Kinds>;

// The kind of surface each pixel's first hit found, from the hit buffers
// of the frame just drawn; rows flipped to the pictures' order.
Kinds surfaceKinds(const Application& app, int width, int height) {
  std::vector<float> texels(static_cast<size_t>(width) * height * 4);
  glBindTexture(GL_TEXTURE_2D, app.frameResources().primaryFbo->colorTextures[0]);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, texels.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  Kinds kinds(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const size_t texel = static_cast<size_t>(height - 1 - y) * width + x;
      const SurfaceKind kind = surfaceKind(texels[4 * texel + 3]);
      kinds[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(kind);
    }
  }
  return kinds;
}

// Renders the piece in a fresh Application, as a farm's machine would;
// `seconds` is the wall time, warm-up frames included. Keeps each frame's
// surface kinds in `kinds` when given.
bool renderPiece(const Options& options, const VideoOptions& video, Frames& frames, double& seconds,
                 FrameKinds* kinds = nullptr) {
  Application app(options.width, options.height, PathVariant::TwoBounce, /*withMusic=*/false);
  if (app.startupStatus() != kStatusOk) return false;
  const int frameCount = videoFrameCount(kTuneSeconds, video.fps);
  const FrameSink keep = [&](int frame, const RgbImage& picture, std::string&) {
    frames[frame] = picture;
    if (kinds) (*kinds)[frame] = surfaceKinds(app, options.width, options.height);
    return true;
  };
  std::ostringstream progress;
  glFinish();
  const auto start = std::chrono::steady_clock::now();
  const int status = renderVideoFrames(app, video, frameCount, keep, progress);
  glFinish();
  seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return status == kStatusOk;
}

std::string referencePath(const Options& options, int frame) {
  std::ostringstream name;
  name << options.referenceDir << "/frame" << frame << '_' << options.width << 'x' << options.height << '_'
       << options.referenceSamples << ".rgb";
  return name.str();
}

bool readReference(const Options& options, int frame, RgbImage& image) {
  std::ifstream file(referencePath(options, frame), std::ios::binary);
  image = {options.width, options.height,
           std::vector<uint8_t>(static_cast<size_t>(options.width) * options.height * 3)};
  file.read(reinterpret_cast<char*>(image.pixels.data()), static_cast<std::streamsize>(image.pixels.size()));
  return file.gcount() == static_cast<std::streamsize>(image.pixels.size());
}

bool references(const Options& options, Frames& frames) {
  bool all = true;
  for (int frame = options.firstFrame; frame <= options.lastFrame; ++frame)
    all = all && readReference(options, frame, frames[frame]);
  if (all) return true;
  std::cerr << "rendering the " << options.referenceSamples << "-sample reference frames...\n";
  frames.clear();
  double seconds = 0.0;
  if (!renderPiece(options, videoOptions(options, {"reference", options.referenceSamples, false, false}), frames,
                   seconds))
    return false;
  std::filesystem::create_directories(options.referenceDir);
  for (const auto& [frame, image] : frames) {
    std::ofstream file(referencePath(options, frame), std::ios::binary);
    file.write(reinterpret_cast<const char*>(image.pixels.data()), static_cast<std::streamsize>(image.pixels.size()));
  }
  return true;
}

double meanSquaredError(const RgbImage& a, const RgbImage& b) {
  double sum = 0.0;
  for (size_t i = 0; i < a.pixels.size() && i < b.pixels.size(); ++i) {
    const double d = static_cast<double>(a.pixels[i]) - b.pixels[i];
    sum += d * d;
  }
  return sum / static_cast<double>(a.pixels.size());
}

double psnr(double mse) { return 10.0 * std::log10(255.0 * 255.0 / mse); }

// Marks as edges the pixels of `kinds` where the reference's grey level
// changes by more than kEdgeLevels to one of the four neighbours.
void markEdges(const RgbImage& reference, Kinds& kinds) {
  const int w = reference.width;
  const int h = reference.height;
  if (kinds.size() != static_cast<size_t>(w) * h) return;
  const auto grey = [&](int x, int y) {
    const uint8_t* p = &reference.pixels[3 * (static_cast<size_t>(y) * w + x)];
    return (p[0] + p[1] + p[2]) / 3.0;
  };
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const double g = grey(x, y);
      const bool edge = (x > 0 && std::abs(g - grey(x - 1, y)) > kEdgeLevels) ||
                        (x + 1 < w && std::abs(g - grey(x + 1, y)) > kEdgeLevels) ||
                        (y > 0 && std::abs(g - grey(x, y - 1)) > kEdgeLevels) ||
                        (y + 1 < h && std::abs(g - grey(x, y + 1)) > kEdgeLevels);
      if (edge) kinds[static_cast<size_t>(y) * w + x] = kEdge;
    }
  }
}

// Squared error and pixel count of each surface kind, over all frames.
struct ErrorSplit {
  double squares[kSurfaceKinds] = {};
  double pixels[kSurfaceKinds] = {};
};

void addSplit(const RgbImage& image, const RgbImage& reference, const Kinds& kinds,
              ErrorSplit& split) {
  const size_t channels = std::min(image.pixels.size(), reference.pixels.size());
  for (size_t i = 0; i < kinds.size() && 3 * i + 2 < channels; ++i) {
    double sum = 0.0;
    for (size_t c = 3 * i; c < 3 * i + 3; ++c) {
      const double d = static_cast<double>(image.pixels[c]) - reference.pixels[c];
      sum += d * d;
    }
    split.squares[kinds[i]] += sum / 3.0;
    split.pixels[kinds[i]] += 1.0;
  }
}

// "| way | 291.24 (3 %, 50 %) | ...": each kind's mean squared error in
// 8-bit levels, its share of the pixels and its share of the error.
std::string splitRow(const char* way, const ErrorSplit& split) {
  double total = 0.0, pixels = 0.0;
  for (int k = 0; k < kSurfaceKinds; ++k) {
    total += split.squares[k];
    pixels += split.pixels[k];
  }
  std::string row = std::string("| ") + way + " |";
  for (int k = 0; k < kSurfaceKinds; ++k) {
    char cell[96];
    std::snprintf(cell, sizeof cell, " %.2f (%.0f %%, %.0f %%) |",
                  split.squares[k] / std::max(split.pixels[k], 1.0),
                  100.0 * split.pixels[k] / std::max(pixels, 1.0),
                  100.0 * split.squares[k] / std::max(total, 1e-9));
    row += cell;
  }
  return row + "\n";
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
    std::cerr << "no data/xmas/ here: run videoquality in run/\n";
    return kStatusFatal;
  }
  LegacyWindow window;
  if (!openHiddenContext(window, options.width, options.height)) {
    std::cerr << "cannot open a hidden window: " << windowSystemError() << "\n";
    glfwTerminate();
    return kStatusFatal;
  }
  Frames reference;
  if (!references(options, reference)) {
    std::cerr << "the reference frames failed\n";
    glfwTerminate();
    return kStatusFatal;
  }
  std::cout << "frames " << options.firstFrame << "-" << options.lastFrame << " of the default video at "
            << options.width << "x" << options.height << ", against " << options.referenceSamples
            << " samples a frame\n"
            << "| way | PSNR (all frames) | worst frame | seconds for the piece |\n|---|---|---|---|\n";
  std::string splitTable;
  for (const Way& way : kWays) {
    if (options.ways != "all" && (options.ways == "reused") != way.temporal) continue;
    Frames frames;
    FrameKinds kinds;
    double seconds = 0.0;
    if (!renderPiece(options, videoOptions(options, way), frames, seconds, &kinds)) {
      std::cerr << way.name << ": failed\n";
      continue;
    }
    double sum = 0.0, worst = 0.0;
    ErrorSplit split;
    for (const auto& [frame, image] : frames) {
      const double mse = meanSquaredError(image, reference[frame]);
      sum += mse;
      worst = std::max(worst, mse);
      markEdges(reference[frame], kinds[frame]);
      addSplit(image, reference[frame], kinds[frame], split);
    }
    char line[256];
    std::snprintf(line, sizeof line, "| %s | %.2f dB | %.2f dB | %.1f |\n", way.name,
                  psnr(sum / static_cast<double>(frames.size())), psnr(worst), seconds);
    std::cout << line << std::flush;
    splitTable += splitRow(way.name, split);
  }
  std::cout << "\nmean squared error by what the pixels show, in 8-bit levels"
               " (share of the pixels, of the error)\n| way |";
  for (const char* name : kSurfaceNames) std::cout << ' ' << name << " |";
  std::cout << "\n|---|";
  for (int k = 0; k < kSurfaceKinds; ++k) std::cout << "---|";
  std::cout << '\n' << splitTable;
  glfwTerminate();
  return kStatusOk;
}
