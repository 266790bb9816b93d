#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "render/PngImage.h"
#include "render_tool/VideoFrames.h"
#include "render_tool/VideoOptions.h"
#include "video/VideoEncoder.h"

class Application;

// The tune's length in samples, counted up to `limit`; nothing and a
// warning (a silent video) when it is missing, no regular file or holds no
// sound; nothing either after Ctrl+C or kill.
std::optional<long long> measureVideoTune(long long limit, std::ostream& messages);

// Samples of the fade at the end of a soundtrack of `length` samples.
long long fadeLength(long long length, int rate);

// The tune looped or cut to `frameCount` frames at `fps`, fading out,
// decoded as the encoder reads it.
std::unique_ptr<TuneStream> tuneForFrames(int frameCount, int fps);

// Frames of the video the options describe: --seconds, else the tune's
// length (0 after a message when that is longer than a video may be, or
// after Ctrl+C). Sets `withTune` when the tune can be read (a piece of
// a given length does not look).
int videoLengthInFrames(const VideoOptions& options, std::ostream& messages, bool& withTune);

// A piece made with --frames says in its metadata which frames it holds of
// which video, and from which files (framesFingerprint):
// "xmastrace piece: frames 0-99 of 1296; 768x512 at 30 fps, ...; files 0123456789abcdef".
constexpr const char* kPieceMark = "xmastrace piece: frames ";
constexpr const char* kPieceFilesMark = "; files ";
struct PieceLabel {
  int firstFrame = 0;
  int lastFrame = 0;
  int frameCount = 0;  // of the whole video
  std::string video;   // the options that decide the pictures, as text
  std::string files;   // the fingerprint; empty in pieces made before it was kept
};
std::string pieceComment(const VideoOptions& options, int frameCount, const std::string& files);
bool readPieceComment(const std::string& comment, PieceLabel& label);

// Everything that can fail on the user's input, before any rendering: the
// tune is decoded (missing, it leaves a warning and a silent video), the
// length settled, a piece's first frame checked against it, and the encoder
// opened on a temporary file (a piece without sound). Sets `frameCount`;
// returns kStatusOk, kStatusFatal after a message, or an interrupt's status.
int openVideo(const VideoOptions& options, VideoEncoder& encoder, int& frameCount, std::ostream& messages);

// Renders frame `frame` with the options' samples; stillImage(app) then
// holds it. False when Ctrl+C or kill came first.
bool renderVideoFrame(Application& app, const OrbitPath& orbit, int frame, int frameCount,
                      const VideoOptions& options);

// Where a video's frames go, in order: false (with `error`) stops the run.
using FrameSink = std::function<bool(int frame, const RgbImage& picture, std::string& error)>;

// Renders the options' frames (every one, or a piece's, after the frames
// that fill its history when it reuses samples) from the Application's
// start view, and hands each frame of the video or piece to `write`, with
// a progress line. Returns kStatusOk, kStatusFatal after a message, or on
// Ctrl+C or kill the status of the signal.
int renderVideoFrames(Application& app, const VideoOptions& options, int frameCount, const FrameSink& write,
                      std::ostream& progress);

// Renders the options' frames (every one, or a piece's) from the Application's start view into the encoder
// (each as a still would write it: with --denoise, the denoised average)
// with a progress line, then finishes the file. Returns kStatusOk,
// kStatusFatal after a message, or on Ctrl+C or kill the status of the
// signal (the encoder then still holds only its temporary file).
int renderVideo(Application& app, const VideoOptions& options, int frameCount, VideoEncoder& encoder,
                std::ostream& progress);
