#pragma once

#include <memory>
#include <string>

#include "image/RgbImage.h"
#include "video/Soundtrack.h"

// FFmpeg reports only errors from now on: x264's statistics and the
// muxer's notes would bury the progress line.
void keepFfmpegQuiet();

struct AVCodecParameters;
struct AVPacket;

struct VideoSettings {
  int width = 0;   // even, as yuv420p needs
  int height = 0;  // even
  int fps = 30;
  std::string comment;  // kept in the file's metadata, when there is one
  // For frames copied: how many frames the decoding runs ahead of the
  // pictures, so the copied frames' decoding times follow on evenly.
  int decodeDelay = 0;
  // Asked while the file is written, the final index included: true stops
  // the writing, which then fails and leaves nothing behind.
  bool (*stopRequested)() = nullptr;
};

// Writes an MP4 file that phones and browsers play: H.264 (yuv420p) from
// the frames given, AAC from the soundtrack, the index at the front. The
// file grows under a temporary name beside the target and takes the
// target's name only when finish succeeds, so an interrupted or failed run
// never leaves a half-written video under that name. A link keeps leading
// to the video; a device, a pipe or a read-only file is refused.
class VideoEncoder {
 public:
  VideoEncoder();
  // Removes the temporary file of a video that was not finished.
  ~VideoEncoder();
  VideoEncoder(const VideoEncoder&) = delete;
  VideoEncoder& operator=(const VideoEncoder&) = delete;

  // Creates the temporary file and the streams; without a soundtrack the
  // video is silent. The soundtrack is read as the frames come, all of it:
  // give it the frames' length.
  bool open(const std::string& path, const VideoSettings& settings,
            std::unique_ptr<TuneStream> soundtrack, std::string& error);
  // As open, for a video whose frames come already encoded, as `video`
  // describes them: addPacket copies them without decoding.
  bool openCopy(const std::string& path, const VideoSettings& settings, const AVCodecParameters& video,
                std::unique_ptr<TuneStream> soundtrack, std::string& error);
  // The next frame, of the settings' size.
  bool addFrame(const RgbImage& image, std::string& error);
  // The next encoded frame, timed in `timeBase` from the start of a piece
  // whose first frame is frame `firstFrame` of this video. Takes the
  // packet's contents.
  bool addPacket(AVPacket& packet, int timeBaseNum, int timeBaseDen, long long firstFrame, std::string& error);
  // Drains the encoders, writes the rest of the sound and the index, and
  // gives the file its name.
  bool finish(std::string& error);

 private:
  bool start(const std::string& path, const VideoSettings& settings, const AVCodecParameters* copied,
             std::unique_ptr<TuneStream> soundtrack, std::string& error);
  struct Streams;
  std::unique_ptr<Streams> streams;
};
