#include "render_tool/VideoFrames.h"

#include "app/Application.h"
#include "render/DisplayImage.h"

namespace {

// The top of the tree in world units, over the middle of its bounds on the
// floor plan: the camera turns around it and keeps it where the start view
// has it, just inside the picture.
constexpr Vector3 kTreeTop{-2.2f, -14.6f, -5.5f};
// Behind the tree the eye comes this much closer, which keeps it three units
// clear of the back wall.
constexpr float kFarSideScale = 0.8f;

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

void placeVideoFrame(Application& app, const OrbitPath& orbit, int frame, int frameCount, int fps, int samples) {
  const CameraPose pose = videoCameraPose(orbit, frame, frameCount);
  app.camera.lookAt(pose.eye, pose.target, pose.up);
  // The demo puts the light on its circle whenever the camera moves, at the
  // angle its time has reached; the video's camera moves every frame.
  app.lightAngle = 0.0f;
  animateLight(app.lightPos, app.lightAngle, static_cast<float>(frame) / static_cast<float>(fps),
               /*accumulating=*/false);
  app.restartAtFrame(frame, samples);
}

void beginVideoFrame(Application& app, const OrbitPath& orbit, int frame, int frameCount, int fps, int samples,
                     bool denoise) {
  // Only the frame read is denoised; the draws between show the sum.
  app.denoising = denoise;
  app.denoiseEveryFrame = false;
  placeVideoFrame(app, orbit, frame, frameCount, fps, samples);
}

bool videoFrameSampled(const Application& app, int samples) { return app.sampling.sampleCount >= samples; }

RgbImage stillImage(Application& app) {
  if (app.denoising && app.sampling.sampleCount > 0) {
    return readPictureImage(app.frameResources(), app.denoisedPicture(), app.width, app.height);
  }
  return readDisplayImage(app.frameResources(), app.sampling.sampleCount, app.displayMode,
                          app.width, app.height);
}
