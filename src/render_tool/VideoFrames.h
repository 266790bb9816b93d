#pragma once

#include "geometry/CameraPath.h"
#include "render/PngImage.h"

class Application;

// The drawing of a video's frames, without the encoding: xmastrace_render
// and the page make the same pictures from this code, so that a video made
// in a browser is the desktop's video.

// The camera's turn around the tree, from a start view (the demo's).
OrbitPath treeOrbit(const Vector3& startEye, const Vector3& startTarget);

// The camera of frame `frame` of `frameCount`: the frames divide one whole
// turn, so the frame after the last would be the first again.
CameraPose videoCameraPose(const OrbitPath& orbit, int frame, int frameCount);

// Frame `frame` of `frameCount` at `fps`: the camera that far round the
// orbit, the light where the demo's animation has it at that time while the
// camera moves, and the sampling started afresh from the frame's own state.
void placeVideoFrame(Application& app, const OrbitPath& orbit, int frame, int frameCount, int fps, int samples);

// placeVideoFrame with the denoiser set as a video frame needs it: on when
// `denoise`, and only for the picture read at the end.
void beginVideoFrame(Application& app, const OrbitPath& orbit, int frame, int frameCount, int fps, int samples,
                     bool denoise);

// Whether the frame begun has its samples; until then each app.draw()
// adds one (or re-jitters).
bool videoFrameSampled(const Application& app, int samples);

// What the window shows after the frames drawn; the denoised average when
// the Application is denoising. A video's frame once it has its samples.
RgbImage stillImage(Application& app);
