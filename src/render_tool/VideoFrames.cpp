#include "render_tool/VideoFrames.h"

#include <cmath>

#include "app/Application.h"
#include "render/DisplayImage.h"

CameraPose videoCameraPose(const OrbitPath& orbit, int frame, int frameCount) {
  return orbitPose(orbit, static_cast<double>(frame) / frameCount);
}

void placeVideoFrame(Application& app, const OrbitPath& orbit, int frame, int frameCount, int fps, int samples) {
  const CameraPose pose = videoCameraPose(orbit, frame, frameCount);
  app.camera.lookAt(pose.eye, pose.target, pose.up);
  // The demo puts the light on its circle whenever the camera moves, at the
  // angle its time has reached; the video's camera moves every frame.
  const PathLight light = pathLight(static_cast<float>(frame) / static_cast<float>(fps));
  app.lightPos = light.position;
  app.lightAngle = light.angle;
  app.restartAtFrame(frame, samples);
}

void beginVideoFrame(Application& app, const OrbitPath& orbit, int frame, int frameCount, int fps, int samples,
                     bool denoise) {
  // Only the frame read is denoised; the draws between show the sum.
  app.denoising = denoise;
  app.denoiseEveryFrame = false;
  placeVideoFrame(app, orbit, frame, frameCount, fps, samples);
}

int firstWarmUpFrame(int firstFrame, int fps, double warmUpSeconds) {
  if (firstFrame <= 0 || fps <= 0 || !(warmUpSeconds > 0.0)) return firstFrame > 0 ? firstFrame : 0;
  const double frames = std::ceil(warmUpSeconds * fps);
  return frames >= firstFrame ? 0 : firstFrame - static_cast<int>(frames);
}

bool videoFrameSampled(const Application& app, int samples) { return app.sampling.sampleCount >= samples; }

RgbImage stillImage(Application& app) {
  if (app.denoising && app.sampling.sampleCount > 0) {
    return readPictureImage(app.frameResources(), app.denoisedPicture(), app.width, app.height);
  }
  // Samples carried from the frames before are in the history's picture,
  // not in the sum.
  if (app.showsHistory()) {
    return readPictureImage(app.frameResources(), app.gpu.temporal.targets.picture, app.width, app.height);
  }
  return readDisplayImage(app.frameResources(), app.sampling.sampleCount, app.displayMode,
                          app.width, app.height);
}
