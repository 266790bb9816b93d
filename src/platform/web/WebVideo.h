#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "geometry/CameraPath.h"
#include "platform/web/CanvasSize.h"
#include "platform/web/VideoSteps.h"
#include "render/GpuObjects.h"
#include "render/ShownPicture.h"
#include "render_tool/VideoOptions.h"

class Application;

// The greeting's video made in the page: xmastrace_render's frames, drawn
// by its own code into Applications of the video's size, and handed one by
// one to the page's script (web/video.js), which encodes and muxes them.
struct WebVideo {
  Application* live = nullptr;  // the page's picture, paused meanwhile
  // Kept for the next video, one per variant: an Application leaves its GL
  // objects behind when deleted, and starting one builds the octree again.
  std::unique_ptr<Application> apps[2];
  Application* app = nullptr;  // the one drawing, while a video is made
  VideoOptions options;
  OrbitPath orbit;
  int frameCount = 0;
  int frame = 0;       // the next frame the page gets
  bool begun = false;  // its sampling has started
  int drawsPerStep = 1;
  double lastStep = 0.0;  // milliseconds
  std::vector<uint8_t> planes;  // the frame handed over, in 4:2:0
  // What the page's GPU draws: a video larger is refused before any work.
  DrawingLimits limits;
  GpuFeatures features;
  // The page's copy of its canvas, which follows what the video shows there.
  ShownPicture* shown = nullptr;
};

// The page's Application, whose start view the videos turn from and whose
// picture comes back when a video ends.
void connectVideo(WebVideo& video, Application& live, ShownPicture& shown);

bool videoInProgress(const WebVideo& video);

// After the GL context was lost: the video being made stops where it is,
// and the Applications kept for the next one, whose GL objects went with
// the context, are forgotten. Makes no GL call.
void forgetVideoObjects(WebVideo& video);

// Why the page cannot draw a video of this size (the canvas's cap of
// pixels and the GPU's limits), as the desktop's refusal of --size; empty
// when it can.
std::string videoSizeProblem(int width, int height, const DrawingLimits& limits);

// One browser frame of the video: a few samples of the frame in progress,
// as many as keep the page answering, and the frame to the page's script
// once it has them all. `now` in milliseconds.
void stepVideo(WebVideo& video, double now);
