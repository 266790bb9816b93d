#pragma once

#include "app/Tour.h"
#include "geometry/CameraPath.h"
#include "render/TemporalHistory.h"
#include "render/PngImage.h"

class Application;

// The drawing of a video's frames, without the encoding: xmastrace_render
// and the page make the same pictures from this code, so that a video made
// in a browser is the desktop's video.

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

// The first frame a piece of a video that reuses samples renders: as many
// frames before its own as fill `warmUpSeconds` at `fps`, so that its first
// frame starts from the history one whole run would carry into it; never
// before frame 0, where a whole run starts from nothing too. The frames
// before `firstFrame` are rendered for their history only.
int firstWarmUpFrame(int firstFrame, int fps, double warmUpSeconds);
// What a piece renders before its own frames: the history keeps a share
// exp(-t / kHistorySeconds) of what came t seconds before, so after four
// of its lengths what the missing earlier frames would have left is under
// 2 %, too faint to see.
constexpr double kWarmUpSeconds = 4.0 * kHistorySeconds;

// Whether the frame begun has its samples; until then each app.draw()
// adds one (or re-jitters).
bool videoFrameSampled(const Application& app, int samples);

// What the window shows after the frames drawn; the denoised average when
// the Application is denoising. A video's frame once it has its samples.
RgbImage stillImage(Application& app);
