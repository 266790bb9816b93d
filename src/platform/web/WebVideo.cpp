#include "platform/web/WebVideo.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>

#include "ExitStatus.h"
#include "app/Application.h"
#include "image/Yuv420.h"
#include "platform/web/PageLoop.h"
#include "render/FramePasses.h"
#include "render_tool/VideoFrames.h"

namespace {

// A video larger than this keeps its targets only while it is made.
constexpr int kIdleVideoSide = 2;

// The page's script hands the options over as xmastrace_render's command
// line, one argument a line, so that both read them by the same rules.
std::vector<std::string> splitLines(const char* text) {
  std::vector<std::string> lines{"makeVideo"};
  std::istringstream in(text == nullptr ? "" : text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool readOptions(const char* text, VideoOptions& options, std::string& error) {
  const std::vector<std::string> lines = splitLines(text);
  std::vector<const char*> argv;
  for (const std::string& line : lines) argv.push_back(line.c_str());
  std::ostringstream errors;
  if (!parseVideoOptions(static_cast<int>(argv.size()), argv.data(), options, errors)) {
    error = errors.str();
    while (!error.empty() && error.back() == '\n') error.pop_back();
    return false;
  }
  // A page makes whole videos: pieces are for render farms.
  if (options.piece || options.help) {
    error = "a page makes whole videos only";
    return false;
  }
  return true;
}

// Without --seconds, one pass of the tune, as on the desktop.
int frameCountOf(const VideoOptions& options) {
  return videoFrameCount(options.seconds > 0.0 ? options.seconds : kTuneSeconds, options.fps);
}

std::string jsonText(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// The video's Application, of its variant and size; null when it cannot
// start (the reason is on the console).
Application* videoApplication(WebVideo& video, const VideoOptions& options) {
  const PathVariant variant = options.fast ? PathVariant::OneBounce : PathVariant::TwoBounce;
  std::unique_ptr<Application>& app = video.apps[options.fast ? 1 : 0];
  if (!app) {
    app = std::make_unique<Application>(options.width, options.height, variant, /*withMusic=*/false,
                                        Application::StartUp::ProgramsFirst);
    app->gpu.features = video.features;
    if (app->finishStart() != kStatusOk || !app->unlinkedProgram().empty()) {
      app.reset();
      return nullptr;
    }
  }
  app->resize(options.width, options.height);
  // A video that reuses samples carries each frame into the next, but
  // nothing of the video made before.
  app->forgetHistory();
  app->reuseSamples = options.temporal;
  app->frameSeconds = 1.0f / static_cast<float>(options.fps);
  return app.get();
}

// A video's Application larger than the default video's is made small
// again once its video is done: kept at its size, one of the largest the
// page allows would hold about 400 MB of the GPU's memory for nothing. Its
// screen-size targets and the denoiser's are what grows with a video; the
// scene and the programs stay for the next one.
void shrinkLargeVideoApplication(Application& app) {
  const VideoOptions defaults;
  if (static_cast<long long>(app.width) * app.height <= static_cast<long long>(defaults.width) * defaults.height)
    return;
  app.resize(kIdleVideoSide, kIdleVideoSide);
  if (app.gpu.denoiser.targets.width != 0) app.gpu.readyDenoiseTargets(kIdleVideoSide, kIdleVideoSide);
}

// The page's own picture again, with the samples it had: the video drew
// over the canvas, not into the picture's targets.
void endVideo(WebVideo& video) {
  shrinkLargeVideoApplication(*video.app);
  video.app = nullptr;
  setDrawSize(video.live->width, video.live->height);
  video.live->redisplay();
  keepShownPicture(*video.shown, video.live->width, video.live->height);
}

bool pageWantsFrame() {
  return EM_ASM_INT({ return Module.videoFrameWanted ? Module.videoFrameWanted() : 1; }) != 0;
}

// The frame being made, as large as the page's canvas holds it whole: the
// page's own picture stands still meanwhile, and this shows what the wait
// is for.
void showFrameInPage(const WebVideo& video) {
  const Application& app = *video.app;
  const Application& live = *video.live;
  const FitArea area = fitArea(app.width, app.height, live.width, live.height);
  setDrawArea(area.x, area.y, area.width, area.height);
  displayPass(app.frameResources(), app.sampling.sampleCount, app.displayMode);
  keepShownPicture(*video.shown, live.width, live.height);
}

void handFrame(WebVideo& video) {
  const RgbImage image = stillImage(*video.app);
  // An empty picture (no target to read it through) reaches the page as an
  // empty frame, which fails the video instead of encoding nothing.
  video.planes.clear();
  if (!image.pixels.empty()) toI420(image, video.planes);
  // clang-format off
  EM_ASM({ Module.onVideoFrame(HEAPU8.subarray($0, $0 + $1), $2); },
         video.planes.data(), video.planes.size(), video.frame);
  // clang-format on
}

}  // namespace

void connectVideo(WebVideo& video, Application& live, ShownPicture& shown) {
  video.live = &live;
  video.shown = &shown;
  video.orbit = treeOrbit(live.camera.eye, live.camera.center);
  // The page's script hands this back to the calls below, which the
  // browser makes without any of the program's state.
  EM_ASM({ Module.videoState = $0; }, &video);
}

bool videoInProgress(const WebVideo& video) { return video.app != nullptr; }

void forgetVideoObjects(WebVideo& video) {
  video.app = nullptr;
  for (std::unique_ptr<Application>& app : video.apps) app.reset();
}

std::string videoSizeProblem(int width, int height, const DrawingLimits& limits) {
  const PixelSize fits = drawingBufferSize(width, height, 1.0, limits);
  if (fits.width == width && fits.height == height) return "";
  std::ostringstream problem;
  problem << "bad value for --size: '" << width << "x" << height << "': a page draws at most "
          << limits.maxPixels << " pixels";
  if (limits.maxWidth > 0 && limits.maxHeight > 0)
    problem << ", at most " << limits.maxWidth << "x" << limits.maxHeight << " on this GPU";
  // Even sides, as the encoder needs, and still within every limit.
  problem << " (try " << (fits.width < 2 ? 2 : fits.width & ~1) << "x" << (fits.height < 2 ? 2 : fits.height & ~1)
          << ")";
  return problem.str();
}

void stepVideo(WebVideo& video, double now) {
  if (!video.app || !pageWantsFrame()) return;
  if (video.lastStep > 0.0)
    video.drawsPerStep = nextDrawsPerStep(video.drawsPerStep, now - video.lastStep, video.options.samples);
  video.lastStep = now;
  Application& app = *video.app;
  // The page's picture shares the context and its viewport.
  setDrawSize(app.width, app.height);
  if (!video.begun) {
    beginVideoFrame(app, video.orbit, video.frame, video.frameCount, video.options.fps, video.options.samples,
                    video.options.denoise);
    video.begun = true;
  }
  for (int i = 0; i < video.drawsPerStep && !videoFrameSampled(app, video.options.samples); ++i) app.draw();
  const bool sampled = videoFrameSampled(app, video.options.samples);
  if (sampled) handFrame(video);
  // The page's script stops the video when a frame cannot be encoded.
  if (!videoInProgress(video)) return;
  showFrameInPage(video);
  if (!sampled) return;
  video.begun = false;
  if (++video.frame == video.frameCount) endVideo(video);
}

// What a video with these options would be, as JSON: its frames, size,
// rate and samples, or the error that refuses them (`state`: what
// connectVideo gave the page).
extern "C" EMSCRIPTEN_KEEPALIVE const char* xmastraceVideoPlan(const WebVideo* state, const char* arguments) {
  static std::string plan;
  VideoOptions options;
  std::string error;
  if (!readOptions(arguments, options, error)) {
    plan = "{\"error\":" + jsonText(error) + "}";
    return plan.c_str();
  }
  if (state != nullptr) error = videoSizeProblem(options.width, options.height, state->limits);
  if (!error.empty()) {
    plan = "{\"error\":" + jsonText(error) + "}";
    return plan.c_str();
  }
  plan = "{\"frames\":" + std::to_string(frameCountOf(options)) + ",\"width\":" + std::to_string(options.width) +
         ",\"height\":" + std::to_string(options.height) + ",\"fps\":" + std::to_string(options.fps) +
         ",\"samples\":" + std::to_string(options.samples) + "}";
  return plan.c_str();
}

// Starts drawing the video (`state`: what connectVideo gave the page); its
// frames come to Module.onVideoFrame, one per call, from the next browser
// frame on. 0 when the options are refused or its Application does not
// start; -1 when the graphics are lost, which the page may not have heard
// yet: the browser tells it a task later.
extern "C" EMSCRIPTEN_KEEPALIVE int xmastraceVideoStart(WebVideo* state, const char* arguments) {
  if (state == nullptr || videoInProgress(*state)) return 0;
  WebVideo& video = *state;
  VideoOptions options;
  std::string error;
  if (!readOptions(arguments, options, error) || !videoSizeProblem(options.width, options.height, video.limits).empty())
    return 0;
  // Objects of a lost context draw nothing: every frame would be black.
  if (emscripten_is_webgl_context_lost(emscripten_webgl_get_current_context())) return -1;
  video.options = options;
  Application* app = videoApplication(video, options);
  setDrawSize(video.live->width, video.live->height);
  if (app == nullptr) return 0;
  video.app = app;
  video.frameCount = frameCountOf(video.options);
  video.frame = 0;
  video.begun = false;
  video.drawsPerStep = 1;
  video.lastStep = 0.0;
  wakePageLoop();
  return 1;
}

// Cancel: no more frames, and the page's picture back.
extern "C" EMSCRIPTEN_KEEPALIVE void xmastraceVideoStop(WebVideo* state) {
  if (state != nullptr && videoInProgress(*state)) endVideo(*state);
}
