#include "app/VideoRenderer.h"

#include <chrono>
#include <ostream>
#include <string>
#include <utility>

#include "ExitStatus.h"
#include "app/Application.h"
#include "app/Interrupt.h"
#include "app/Music.h"
#include "app/StillRenderer.h"
#include "video/Soundtrack.h"

namespace {

// The top of the tree in world units, over the middle of its bounds on the
// floor plan: the camera turns around it and keeps it where the start view
// has it, just inside the picture.
constexpr Vector3 kTreeTop{-2.2f, -14.6f, -5.5f};
// Behind the tree the eye comes this much closer, which keeps it three units
// clear of the back wall.
constexpr float kFarSideScale = 0.8f;
constexpr double kFadeSeconds = 1.0;

// A quarter of a short video at most, so that its start keeps the tune's
// own level.
long long fadeLength(long long length, int rate) {
  const long long wanted = static_cast<long long>(kFadeSeconds * rate);
  return wanted < length / 4 ? wanted : length / 4;
}

// The tune at the video's length, or nothing (and a warning) without it.
std::optional<Soundtrack> soundtrackFor(const VideoOptions& options, int& frameCount,
                                        std::ostream& messages) {
  Soundtrack tune;
  std::string error;
  const bool found = decodeTune(kMusicFile, tune, error);
  if (!found)
    messages << "warning: cannot read the tune " << kMusicFile << " (" << error << "): the video will be silent\n";
  double seconds = options.seconds;
  if (seconds <= 0.0) seconds = found ? static_cast<double>(tune.length()) / tune.sampleRate : kTuneSeconds;
  frameCount = videoFrameCount(seconds, options.fps);
  if (!found) return std::nullopt;
  // Exactly the frames' length, so that sound and picture end together.
  const long long length = static_cast<long long>(frameCount) * tune.sampleRate / options.fps;
  return fitSoundtrack(tune, length, fadeLength(length, tune.sampleRate));
}

void showProgress(std::ostream& progress, int done, int total, std::chrono::steady_clock::time_point start) {
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // Trailing blanks wipe what a longer previous line left on the terminal.
  progress << '\r' << videoProgressLine(done, total, elapsed) << "    " << std::flush;
}

}  // namespace

OrbitPath treeOrbit(const Vector3& startEye, const Vector3& startTarget) {
  OrbitPath orbit;
  orbit.startEye = startEye;
  orbit.startTarget = startTarget;
  orbit.pivot = kTreeTop;
  orbit.farSideScale = kFarSideScale;
  return orbit;
}

CameraPose videoCameraPose(const OrbitPath& orbit, int frame, int frameCount) {
  return orbitPose(orbit, static_cast<double>(frame) / frameCount);
}

int openVideo(const VideoOptions& options, VideoEncoder& encoder, int& frameCount, std::ostream& messages) {
  std::optional<Soundtrack> soundtrack = soundtrackFor(options, frameCount, messages);
  VideoSettings settings;
  settings.width = options.width;
  settings.height = options.height;
  settings.fps = options.fps;
  std::string error;
  if (!encoder.open(options.videoFile, settings, std::move(soundtrack), error)) {
    messages << "cannot write " << options.videoFile << ": " << error << "\n";
    return kStatusFatal;
  }
  return kStatusOk;
}

void placeVideoFrame(Application& app, const OrbitPath& orbit, int frame, int frameCount, int fps) {
  const CameraPose pose = videoCameraPose(orbit, frame, frameCount);
  app.camera.lookAt(pose.eye, pose.target, pose.up);
  // The demo puts the light on its circle whenever the camera moves, at the
  // angle its time has reached; the video's camera moves every frame.
  app.lightAngle = 0.0f;
  animateLight(app.lightPos, app.lightAngle, static_cast<float>(frame) / static_cast<float>(fps),
               /*accumulating=*/false);
  app.sampling.restart();
}

int renderVideo(Application& app, const VideoOptions& options, int frameCount, VideoEncoder& encoder,
                std::ostream& progress) {
  const OrbitPath orbit = treeOrbit(app.camera.eye, app.camera.center);
  // Only the frame written is denoised; the draws between show the sum.
  app.denoising = options.denoise;
  app.denoiseEveryFrame = false;
  const auto start = std::chrono::steady_clock::now();
  std::string error;
  showProgress(progress, 0, frameCount, start);
  for (int frame = 0; frame < frameCount; ++frame) {
    placeVideoFrame(app, orbit, frame, frameCount, options.fps);
    // Without update() nothing restarts the sampling, so every draw after
    // the first adds a sample or re-jitters.
    while (app.sampling.sampleCount < options.samples) {
      app.draw();
      if (const int signal = caughtInterrupt(); signal != 0) {
        progress << "\ninterrupted after " << frame << " of " << frameCount << " frames: no video written\n";
        return interruptExitStatus(signal);
      }
    }
    if (!encoder.addFrame(stillImage(app), error)) {
      progress << "\ncannot write " << options.videoFile << ": " << error << "\n";
      return kStatusFatal;
    }
    showProgress(progress, frame + 1, frameCount, start);
  }
  progress << '\n';
  if (!encoder.finish(error)) {
    progress << "cannot write " << options.videoFile << ": " << error << "\n";
    return kStatusFatal;
  }
  return kStatusOk;
}
