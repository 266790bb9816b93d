// Entry point of xmastrace_render: renders the room from the start camera in
// a hidden window (or, without an X display, an EGL context) with the demo's
// own Application and passes, silently, and writes what the window would
// show into a PNG file, or with --video a turn around the tree with the tune
// into an MP4 file. Runs in run/, like the demo, since the Application reads
// its files from the working directory.
#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>

#include "ExitStatus.h"
#include "OutputFile.h"
#include "app/Application.h"
#include "app/DebugOutput.h"
#include "app/Interrupt.h"
#include "platform/desktop/HeadlessContext.h"
#include "platform/desktop/LegacyWindow.h"
#include "platform/desktop/Signals.h"
#include "render_tool/StillOptions.h"
#include "render_tool/StillRenderer.h"
#include "render_tool/VideoJoin.h"
#include "render_tool/VideoOptions.h"
#include "render_tool/VideoRenderer.h"

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

// The context's viewport covers the Application's targets.
bool readyContext(int width, int height) {
  // Debian's GLEW is built for GLX, yet loads the GL entry points through
  // glvnd, which serves whichever context is current, an EGL one too; only
  // the GLX part of its start-up then fails, which nothing here needs.
  if (!loadGlEntryPoints()) return false;
  installDebugOutput();
  glViewport(0, 0, width, height);
  return true;
}

// The demo goes on when a program does not link, but a file made with it
// would hold no picture of the room (every pixel white, say) and look like
// a success.
int refuseUnlinkedPrograms(const Application& app) {
  const std::string files = app.unlinkedProgram();
  if (files.empty()) return kStatusOk;
  std::cerr << "the program from " << files << " did not link: nothing written\n";
  return kStatusFatal;
}

// A hidden window's context, or an EGL one when `headless`; the reason on
// `errors` when neither can be had.
bool openContext(bool headless, LegacyWindow& window, HeadlessContext& eglContext, int width,
                 int height, std::ostream& errors) {
  std::string why;
  if (headless) {
    if (eglContext.open(width, height, why) && readyContext(width, height)) {
      // Mesa's software renderer gives an offscreen buffer its pixels only
      // when first drawn into; a GL timer begun before then records no
      // start, and the first pass of --bench would read the time since boot.
      glClear(GL_COLOR_BUFFER_BIT);
      return true;
    }
    errors << "cannot make an OpenGL 4.1 context through EGL: "
           << (why.empty() ? "no GL entry points" : why) << "\n";
    return false;
  }
  if (glfwInit() && window.open(width, height, /*visible=*/false) && readyContext(width, height))
    return true;
  errors << "cannot open a hidden window with an OpenGL 4.1 context: " << windowSystemError()
         << " (--egl renders without a window)\n";
  return false;
}

// Opens the context, makes the Application and, once it has started, runs
// `work` on it; returns the first failing status or work's.
template <typename Work>
int withHiddenApplication(int width, int height, bool fast, bool egl, Work work) {
  const bool headless = wantsHeadlessContext(egl, std::getenv("DISPLAY"));
  LegacyWindow window;
  HeadlessContext eglContext;
  if (!openContext(headless, window, eglContext, width, height, std::cerr)) {
    if (!headless) glfwTerminate();
    return kStatusFatal;
  }
  std::cerr << glRendererLine() << ", through "
            << (headless ? eglContext.platform() : "a hidden window") << "\n";
  const PathVariant variant = fast ? PathVariant::OneBounce : PathVariant::TwoBounce;
  auto app = std::make_unique<Application>(width, height, variant, /*withMusic=*/false);
  int status = app->startupStatus();
  if (status == kStatusOk) status = refuseUnlinkedPrograms(*app);
  if (status == kStatusOk) status = work(*app);
  // As in the demo: the context goes first, the Application makes no GL call.
  if (headless) eglContext.close();
  else glfwTerminate();
  app.reset();
  return status;
}

// Enough runs to even out the first one, which may still be compiling.
constexpr int kDenoiseBenchRuns = 5;

// With the picture on standard output, every other line the run prints
// (the scene's loading, the libraries' notes, the timings) goes to standard
// error, or whatever reads the picture would get them first. Returns the
// descriptor the picture goes to, or -1 after a message.
int takeStandardOutput() {
  if (isatty(STDOUT_FILENO)) {
    std::cerr << "cannot write the picture to standard output: it is a terminal\n";
    return -1;
  }
  std::cout.flush();
  std::fflush(stdout);
  const int picture = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
  if (picture < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
    std::cerr << "cannot write the picture to standard output: " << std::strerror(errno) << "\n";
    if (picture >= 0) close(picture);
    return -1;
  }
  return picture;
}

// `pictureOut`: the descriptor of standard output, or -1 for options.outFile.
int renderAndWrite(Application& app, const StillOptions& options, int pictureOut) {
  StillTimings timings;
  if (!renderStillFrames(app, options, std::cerr, options.bench ? &timings : nullptr))
    return kStatusFatal;
  const RgbImage image = stillImage(app);
  std::string error;
  const bool written = pictureOut >= 0 ? writePngTo(image, pictureOut, error)
                                       : writePng(image, options.outFile, error);
  if (!written) {
    std::cerr << "cannot write " << options.outFile << ": " << error << "\n";
    return kStatusFatal;
  }
  std::cout << "image written: " << options.outFile << "\n";
  if (options.bench) {
    if (options.denoise) timeDenoising(app, kDenoiseBenchRuns, timings);
    std::cout << glRendererLine() << "\n";
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
  return withHiddenApplication(options.width, options.height, options.fast, options.egl, [&](Application& app) {
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
  int pictureOut = -1;
  if (namesStandardOutput(options.outFile)) {
    pictureOut = takeStandardOutput();
    if (pictureOut < 0) return kStatusFatal;
  } else if (std::string error; !checkOutputTarget(options.outFile, error)) {
    // Before the rendering, which can take minutes, as a video's file is.
    std::cerr << "cannot write " << options.outFile << ": " << error << "\n";
    return kStatusFatal;
  }
  return withHiddenApplication(options.width, options.height, options.fast, options.egl,
                               [&](Application& app) { return renderAndWrite(app, options, pictureOut); });
}
