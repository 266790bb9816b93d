#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "app/Music.h"

// Samples per video frame unless --samples says otherwise: the fewest from
// which a denoised frame looks clean, so that a 43-second video renders in
// reasonable time. The one-bounce variant needs more, since its pixels share
// their random numbers and so their errors, which the denoiser cannot tell
// from the picture; its samples are cheaper, so a frame takes about as long.
constexpr int kDefaultVideoSamples = 16;
constexpr int kDefaultFastVideoSamples = 48;
constexpr double kMaxVideoSeconds = 3600.0;
constexpr int kMaxVideoFps = 120;
// The most frames the longest video has at the highest rate.
constexpr int kMaxVideoFrames = static_cast<int>(kMaxVideoSeconds) * kMaxVideoFps;

struct VideoOptions {
  std::string videoFile;
  double seconds = 0.0;  // 0: one pass of the tune
  int fps = 30;
  int width = 768;
  int height = 512;
  int samples = 0;  // 0 until parsed: then --samples or the variant's default
  // --frames A-B: a piece of the video, frames numbered from 0; lastFrame
  // -1 runs to the end, and one past the end stops there.
  int firstFrame = 0;
  int lastFrame = -1;
  bool piece = false;
  bool denoise = true;  // --no-denoise shows the raw average
  bool temporal = false;  // each frame starts from the one before, reprojected
  bool fast = false;  // the one-bounce variant of xmastrace_fast
  bool egl = false;  // a context through EGL even with an X display
  bool help = false;
};

// Whether the command line asks for a video (it names --video).
bool wantsVideo(int argc, const char* const* argv);

// What `xmastrace_render --join` takes: the pieces in order and the video.
struct JoinOptions {
  std::vector<std::string> pieces;
  std::string videoFile;
  bool help = false;
};

// Whether the command line asks to join pieces (it names --join).
bool wantsJoin(int argc, const char* const* argv);

// Reads a join command line: --join PIECE... and --video FILE. Returns false
// after one line on `errors` when something else is there, or a part lacks.
bool parseJoinOptions(int argc, const char* const* argv, JoinOptions& options, std::ostream& errors);

void printJoinUsage(std::ostream& out);

// Reads a video command line (argv[0] is the program). Returns false, after
// one line on `errors` that names the offending argument, when an option is
// unknown or misses its value, or a value is out of range, or the size is
// odd (H.264 in yuv420p needs even sides), or the length makes no frame, or
// the file's name does not end in .mp4.
bool parseVideoOptions(int argc, const char* const* argv, VideoOptions& options,
                       std::ostream& errors);

void printVideoUsage(std::ostream& out);

// Frames in `seconds` at `fps`, to the nearest frame.
int videoFrameCount(double seconds, int fps);

// "0:07", "12:30" or "1:02:03".
std::string formatDuration(double seconds);

// "[####      ] 12/48 frames, 0:42 elapsed, 2:06 left".
std::string videoProgressLine(int done, int total, double elapsedSeconds);
