#include "render_tool/VideoRenderer.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <utility>

#include "ExitStatus.h"
#include "app/Application.h"
#include "app/Interrupt.h"
#include "app/Music.h"
#include "render/TemporalHistory.h"
#include "render_tool/FramesFingerprint.h"
#include "render_tool/StillRenderer.h"
#include "video/Soundtrack.h"

namespace {

constexpr double kFadeSeconds = 1.0;

bool stopRequested() { return caughtInterrupt() != 0; }

}  // namespace

std::optional<long long> measureVideoTune(long long limit, std::ostream& messages) {
  long long length = 0;
  std::string error;
  if (measureTune(kMusicFile, limit, length, error, stopRequested)) return length;
  if (caughtInterrupt() == 0)
    messages << "warning: cannot read the tune " << kMusicFile << " (" << error << "): the video will be silent\n";
  return std::nullopt;
}

namespace {

// A piece's last frame, cut to the video's end; a whole video's last.
int lastFrameOf(const VideoOptions& options, int frameCount) {
  return options.lastFrame < 0 || options.lastFrame >= frameCount ? frameCount - 1 : options.lastFrame;
}

// The frames a run renders: a piece that reuses samples starts before its
// own, to fill its history, and writes from `first`.
struct FrameRange {
  int warmUp = 0;
  int first = 0;
  int last = 0;
};

FrameRange renderedFrames(const VideoOptions& options, int frameCount) {
  FrameRange range;
  range.first = options.piece ? options.firstFrame : 0;
  range.last = options.piece ? lastFrameOf(options, frameCount) : frameCount - 1;
  range.warmUp = options.temporal ? firstWarmUpFrame(range.first, options.fps, kWarmUpSeconds) : range.first;
  return range;
}

void showProgress(std::ostream& progress, int done, int total, std::chrono::steady_clock::time_point start) {
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // Trailing blanks wipe what a longer previous line left on the terminal.
  progress << '\r' << videoProgressLine(done, total, elapsed) << "    " << std::flush;
}

}  // namespace

long long fadeLength(long long length, int rate) {
  const long long wanted = static_cast<long long>(kFadeSeconds * rate);
  return wanted < length / 4 ? wanted : length / 4;
}

std::unique_ptr<TuneStream> tuneForFrames(int frameCount, int fps) {
  // Exactly the frames' length, so that sound and picture end together.
  const long long length = static_cast<long long>(frameCount) * kSoundtrackRate / fps;
  return std::make_unique<TuneStream>(kMusicFile, length, fadeLength(length, kSoundtrackRate), stopRequested);
}

int videoLengthInFrames(const VideoOptions& options, std::ostream& messages, bool& withTune) {
  withTune = false;
  // A piece is silent: the tune only matters to it for the length.
  if (options.piece && options.seconds > 0.0) return videoFrameCount(options.seconds, options.fps);
  // With --seconds only the tune's start is decoded, to know it plays;
  // without, the tune is counted to one sample past the longest video.
  const long long longest = static_cast<long long>(kMaxVideoSeconds) * kSoundtrackRate;
  const std::optional<long long> tune = measureVideoTune(options.seconds > 0.0 ? 1 : longest + 1, messages);
  withTune = tune.has_value();
  if (caughtInterrupt() != 0) return 0;
  if (options.seconds > 0.0) return videoFrameCount(options.seconds, options.fps);
  if (!tune) return videoFrameCount(kTuneSeconds, options.fps);
  if (*tune > longest) {
    messages << "the tune is longer than the " << formatDuration(kMaxVideoSeconds)
             << " a video may last: give --seconds\n";
    return 0;
  }
  return videoFrameCount(static_cast<double>(*tune) / kSoundtrackRate, options.fps);
}

std::string pieceComment(const VideoOptions& options, int frameCount, const std::string& files) {
  return std::string(kPieceMark) + std::to_string(options.firstFrame) + "-" +
         std::to_string(lastFrameOf(options, frameCount)) +
         " of " + std::to_string(frameCount) + "; " + std::to_string(options.width) + "x" +
         std::to_string(options.height) + " at " + std::to_string(options.fps) + " fps, " +
         std::to_string(options.samples) + " samples a frame, " + (options.temporal ? "reused, " : "") +
         (options.denoise ? "denoised" : "not denoised") +
         ", " + (options.fast ? "one bounce" : "two bounces") + kPieceFilesMark + files;
}

bool readPieceComment(const std::string& comment, PieceLabel& label) {
  if (comment.rfind(kPieceMark, 0) != 0) return false;
  int first = 0, last = 0, count = 0, consumed = 0;
  if (std::sscanf(comment.c_str() + std::strlen(kPieceMark), "%d-%d of %d; %n", &first, &last, &count, &consumed) != 3 ||
      consumed == 0 || first < 0 || last < first || count <= last)
    return false;
  label.firstFrame = first;
  label.lastFrame = last;
  label.frameCount = count;
  label.video = comment.substr(std::strlen(kPieceMark) + static_cast<size_t>(consumed));
  label.files.clear();
  const size_t mark = label.video.rfind(kPieceFilesMark);
  if (mark != std::string::npos) {
    const std::string files = label.video.substr(mark + std::strlen(kPieceFilesMark));
    if (files.size() == 16 && files.find_first_not_of("0123456789abcdef") == std::string::npos) {
      label.files = files;
      label.video.resize(mark);
    }
  }
  return true;
}

int openVideo(const VideoOptions& options, VideoEncoder& encoder, int& frameCount, std::ostream& messages) {
  bool withTune = false;
  frameCount = videoLengthInFrames(options, messages, withTune);
  if (const int signal = caughtInterrupt(); signal != 0) return interruptExitStatus(signal);
  if (frameCount < 1) return kStatusFatal;
  VideoSettings settings;
  settings.width = options.width;
  settings.height = options.height;
  settings.fps = options.fps;
  settings.stopRequested = stopRequested;
  std::unique_ptr<TuneStream> soundtrack;
  if (options.piece) {
    if (options.firstFrame >= frameCount) {
      messages << "bad value for --frames: the video has frames 0-" << frameCount - 1 << "\n";
      return kStatusFatal;
    }
    settings.comment = pieceComment(options, frameCount, framesFingerprint());
  } else {
    if (withTune) soundtrack = tuneForFrames(frameCount, options.fps);
  }
  std::string error;
  if (!encoder.open(options.videoFile, settings, std::move(soundtrack), error)) {
    messages << "cannot write " << options.videoFile << ": " << error << "\n";
    return kStatusFatal;
  }
  return kStatusOk;
}

bool renderVideoFrame(Application& app, const OrbitPath& orbit, int frame, int frameCount,
                      const VideoOptions& options) {
  beginVideoFrame(app, orbit, frame, frameCount, options.fps, options.samples, options.denoise);
  // Without update() nothing restarts the sampling, so every draw after
  // the first adds a sample or re-jitters.
  while (!videoFrameSampled(app, options.samples)) {
    app.draw();
    if (caughtInterrupt() != 0) return false;
  }
  return true;
}

int renderVideoFrames(Application& app, const VideoOptions& options, int frameCount, const FrameSink& write,
                      std::ostream& progress) {
  const OrbitPath orbit = treeOrbit(app.camera.eye, app.camera.center);
  // Frames that reuse samples carry the one before into each.
  app.reuseSamples = options.temporal;
  app.frameSeconds = 1.0f / static_cast<float>(options.fps);
  const FrameRange range = renderedFrames(options, frameCount);
  const int first = range.first, last = range.last, warmUp = range.warmUp;
  const int total = last - warmUp + 1;
  const auto start = std::chrono::steady_clock::now();
  std::string error;
  const auto failed = [&](int done) {
    if (const int signal = caughtInterrupt(); signal != 0) {
      progress << "\ninterrupted after " << done << " of " << total << " frames: no video written\n";
      return interruptExitStatus(signal);
    }
    progress << "\ncannot write " << options.videoFile << ": " << error << "\n";
    return kStatusFatal;
  };
  showProgress(progress, 0, total, start);
  for (int frame = warmUp; frame <= last; ++frame) {
    if (!renderVideoFrame(app, orbit, frame, frameCount, options)) return failed(frame - warmUp);
    if (frame >= first) {
      if (!write(frame, stillImage(app), error)) return failed(frame - warmUp);
    } else if (options.temporal && options.denoise && frame >= first - kShownPicturesRemembered) {
      // Each denoised picture blends with the one shown before it, so the
      // last frames before the piece draw theirs too.
      app.denoisedPicture();
    }
    showProgress(progress, frame - warmUp + 1, total, start);
  }
  progress << '\n';
  return kStatusOk;
}

int renderVideo(Application& app, const VideoOptions& options, int frameCount, VideoEncoder& encoder,
                std::ostream& progress) {
  const FrameSink write = [&encoder](int, const RgbImage& picture, std::string& error) {
    return encoder.addFrame(picture, error);
  };
  if (const int status = renderVideoFrames(app, options, frameCount, write, progress); status != kStatusOk)
    return status;
  std::string error;
  if (encoder.finish(error)) return kStatusOk;
  if (const int signal = caughtInterrupt(); signal != 0) {
    const FrameRange range = renderedFrames(options, frameCount);
    const int total = range.last - range.warmUp + 1;
    progress << "interrupted after " << total << " of " << total << " frames: no video written\n";
    return interruptExitStatus(signal);
  }
  progress << "cannot write " << options.videoFile << ": " << error << "\n";
  return kStatusFatal;
}
