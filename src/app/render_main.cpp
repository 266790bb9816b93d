// Entry point of xmastrace_render: renders the room from the start camera in
// a hidden window with the demo's own Application and passes, silently, and
// writes what the window would show into a PNG file, or with --video a turn
// around the tree with the tune into an MP4 file. Runs in run/, like the
// demo, since the Application reads its files from the working directory.
#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>

#include "ExitStatus.h"
#include "app/Application.h"
#include "app/DebugOutput.h"
#include "app/Interrupt.h"
#include "app/LegacyWindow.h"
#include "app/StillOptions.h"
#include "app/StillRenderer.h"
#include "app/VideoJoin.h"
#include "app/VideoOptions.h"
#include "app/VideoRenderer.h"

namespace {

// The demo goes on without its files and shows an empty room; a still of
// that would be written as if it were the greeting. Says so when not in run/.
bool inRunDirectory() {
  std::error_code ignored;
  if (std::filesystem::is_directory("data/xmas", ignored) &&
      std::filesystem::is_regular_file("gigaAOShaderVS.glsl", ignored))
    return true;
  std::cerr << "no data/xmas/ or shader files here: run xmastrace_render in run/\n";
  return false;
}

// A hidden window's context with the viewport of the Application's targets.
bool openHiddenContext(LegacyWindow& window, int width, int height) {
  if (!glfwInit()) return false;
  if (!window.open(width, height, /*visible=*/false)) return false;
  if (!loadGlEntryPoints()) return false;
  installDebugOutput();
  glViewport(0, 0, width, height);
  return true;
}

// Opens the hidden window, makes the Application and, once it has started,
// runs `work` on it; returns the first failing status or work's.
template <typename Work>
int withHiddenApplication(int width, int height, bool fast, Work work) {
  LegacyWindow window;
  if (!openHiddenContext(window, width, height)) {
    std::cerr << "cannot open a hidden window with an OpenGL 4.1 context: " << windowSystemError() << "\n";
    glfwTerminate();
    return kStatusMalformed;
  }
  const PathVariant variant = fast ? PathVariant::OneBounce : PathVariant::TwoBounce;
  auto app = std::make_unique<Application>(width, height, variant, /*withMusic=*/false);
  int status = app->startupStatus();
  if (status == kStatusOk) status = work(*app);
  // As in the demo: the context goes first, the Application makes no GL call.
  glfwTerminate();
  app.reset();
  return status;
}

// Enough runs to even out the first one, which may still be compiling.
constexpr int kDenoiseBenchRuns = 5;

int renderAndWrite(Application& app, const StillOptions& options) {
  StillTimings timings;
  if (!renderStillFrames(app, options, std::cerr, options.bench ? &timings : nullptr))
    return kStatusFatal;
  const RgbImage image = stillImage(app);
  std::string error;
  if (!writePng(image, options.outFile, error)) {
    std::cerr << "cannot write " << options.outFile << ": " << error << "\n";
    return kStatusFatal;
  }
  std::cout << "image written: " << options.outFile << "\n";
  if (options.bench) {
    if (options.denoise) timeDenoising(app, kDenoiseBenchRuns, timings);
    std::cout << formatStillTimings(timings, options.width, options.height, app.variant);
  }
  return kStatusOk;
}

int renderVideoFile(int argc, char** argv) {
  VideoOptions options;
  if (!parseVideoOptions(argc, argv, options, std::cerr)) {
    printVideoUsage(std::cerr);
    return kStatusFatal;
  }
  if (options.help) {
    printVideoUsage(std::cout);
    return kStatusOk;
  }
  if (!inRunDirectory()) return kStatusFatal;
  // A video takes long enough that Ctrl+C must leave nothing half-written.
  catchInterrupts();
  keepFfmpegQuiet();
  VideoEncoder encoder;
  int frameCount = 0;
  const int status = openVideo(options, encoder, frameCount, std::cerr);
  if (status != kStatusOk) return status;
  return withHiddenApplication(options.width, options.height, options.fast, [&](Application& app) {
    const int rendered = renderVideo(app, options, frameCount, encoder, std::cerr);
    if (rendered == kStatusOk) std::cout << "video written: " << options.videoFile << "\n";
    return rendered;
  });
}

int joinVideoFile(int argc, char** argv) {
  JoinOptions options;
  if (!parseJoinOptions(argc, argv, options, std::cerr)) {
    printJoinUsage(std::cerr);
    return kStatusFatal;
  }
  if (options.help) {
    printJoinUsage(std::cout);
    return kStatusOk;
  }
  if (!inRunDirectory()) return kStatusFatal;
  catchInterrupts();
  keepFfmpegQuiet();
  const int status = joinVideo(options, std::cerr);
  if (status == kStatusOk) std::cout << "video written: " << options.videoFile << "\n";
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (wantsJoin(argc, argv)) return joinVideoFile(argc, argv);
  if (wantsVideo(argc, argv)) return renderVideoFile(argc, argv);
  StillOptions options;
  if (!parseStillOptions(argc, argv, options, std::cerr)) {
    printStillUsage(std::cerr);
    return kStatusFatal;
  }
  if (options.help) {
    printStillUsage(std::cout);
    return kStatusOk;
  }
  if (!inRunDirectory()) return kStatusFatal;
  return withHiddenApplication(options.width, options.height, options.fast,
                               [&](Application& app) { return renderAndWrite(app, options); });
}
