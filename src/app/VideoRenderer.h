#pragma once

#include <iosfwd>

#include "app/VideoOptions.h"
#include "geometry/CameraPath.h"
#include "render/PngImage.h"
#include "video/VideoEncoder.h"

class Application;

// The camera's turn around the tree, from a start view (the demo's).
OrbitPath treeOrbit(const Vector3& startEye, const Vector3& startTarget);

// The camera of frame `frame` of `frameCount`: the frames divide one whole
// turn, so the frame after the last would be the first again.
CameraPose videoCameraPose(const OrbitPath& orbit, int frame, int frameCount);

// Everything that can fail on the user's input, before any rendering: the
// tune is decoded (missing, it leaves a warning and a silent video), the
// length settled and the encoder opened on a temporary file. Sets
// `frameCount`; returns kStatusOk or kStatusFatal after a message.
int openVideo(const VideoOptions& options, VideoEncoder& encoder, int& frameCount,
              std::ostream& messages);

// Frame `frame` of `frameCount` at `fps`: the camera that far round the
// orbit, the light where the demo's animation has it at that time while the
// camera moves, and the sampling started afresh.
void placeVideoFrame(Application& app, const OrbitPath& orbit, int frame, int frameCount, int fps);

// Renders every frame from the Application's start view into the encoder
// (each as a still would write it: with --denoise, the denoised average)
// with a progress line, then finishes the file. Returns kStatusOk,
// kStatusFatal after a message, or on Ctrl+C or kill the status of the
// signal (the encoder then still holds only its temporary file).
int renderVideo(Application& app, const VideoOptions& options, int frameCount, VideoEncoder& encoder,
                std::ostream& progress);
