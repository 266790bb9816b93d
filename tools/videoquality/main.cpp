// Measures a piece of the default video's frames, rendered the ways a video
// can sample them, against the same frames with many samples, and times
// each way. Run in run/:
//
//   videoquality [--size WxH] [--frames A-B] [--reference N] [--references DIR]
//                [--ways all|fresh|reused]
//
// The reference frames take long on a software renderer, so they are kept
// in DIR as raw RGB files and reused.
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

// Renders the piece in a fresh Application, as a farm's machine would;
// `seconds` is the wall time, warm-up frames included.
bool renderPiece(const Options& options, const VideoOptions& video, Frames& frames, double& seconds) {
  Application app(options.width, options.height, PathVariant::TwoBounce, /*withMusic=*/false);
  if (app.startupStatus() != kStatusOk) return false;
  const int frameCount = videoFrameCount(kTuneSeconds, video.fps);
  const FrameSink keep = [&frames](int frame, const RgbImage& picture, std::string&) {
    frames[frame] = picture;
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
  for (const Way& way : kWays) {
    if (options.ways != "all" && (options.ways == "reused") != way.temporal) continue;
    Frames frames;
    double seconds = 0.0;
    if (!renderPiece(options, videoOptions(options, way), frames, seconds)) {
      std::cerr << way.name << ": failed\n";
      continue;
    }
    double sum = 0.0, worst = 0.0;
    for (const auto& [frame, image] : frames) {
      const double mse = meanSquaredError(image, reference[frame]);
      sum += mse;
      worst = std::max(worst, mse);
    }
    char line[256];
    std::snprintf(line, sizeof line, "| %s | %.2f dB | %.2f dB | %.1f |\n", way.name,
                  psnr(sum / static_cast<double>(frames.size())), psnr(worst), seconds);
    std::cout << line << std::flush;
  }
  glfwTerminate();
  return kStatusOk;
}
