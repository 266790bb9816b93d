#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include <GL/glew.h>

#include "app/FrameBudget.h"
#include "app/Music.h"
#include "geometry/CameraOrbit.h"
#include "geometry/Mesh.h"
#include "geometry/Vector.h"
#include "render/FramePasses.h"
#include "render/GpuObjects.h"
#include "render/PathVariant.h"
#include "render/Sampling.h"
#include "scene/OctreeScene.h"

class KeyState;
class MouseState;

// The full-size passes that follow a sample drawn in bands, in their
// order; each reads the whole of the ones before it.
enum class FinishingStep { AddSample, GatherNoise, Reproject, KeepGeometry, Resolve, Denoise, Show };

// What a pixel of a finishing step costs, in pixels of one of the
// denoiser's filter passes (the noise estimate that precedes them is the
// dearest, two to three filter passes; adding the sample costs a sixth).
// `denoisePass` counts the denoiser's passes as drawDenoisePass does. The
// shown picture is drawn whole: `smoothed` when a moving view's picture is
// blended with the last one shown.
double finishingStepCost(FinishingStep step, int denoisePass, bool smoothed);

// A sample drawn in bands is finished in bands too, so that no frame at
// rest costs a large canvas's several full-size passes at once.
struct FinishingSample {
  bool active = false;
  FinishingStep step = FinishingStep::AddSample;
  int denoisePass = 0;
  int nextRow = 0;
  bool firstSample = false;
  // What the sample's start chose: the keys may change the settings before
  // it is finished.
  bool gathersNoise = false;
  bool reuses = false;
  bool newView = false;  // the history is reprojected into this view
  TemporalView view;
  bool denoised = false;      // the picture shown is the denoiser's
  DenoiseInputs denoiseInputs;
};

// A pass drawn in bands over several frames. Every band draws with the view
// the pass started with, so the finished pass equals one drawn whole.
struct TiledPass {
  bool active = false;
  FramePass pass = FramePass::Rest;
  int nextRow = 0;
  int restarts = 0;     // the sampling's restarts when it was last looked at
  int quietFrames = 0;  // frames since the moving picture, none drawn
  FrameView view;
  FinishingSample finishing;
};

// The one object that owns the demo: programs, render targets, meshes, the
// camera, the scene with its octree, the sampling state and the music. The
// constructor performs the whole start-up (or its first part, see StartUp);
// a fatal error there stops it and is kept in startupStatus() for main to
// exit with. Fields are public so that
// tests can look at the state each step leaves behind.
class Application {
 public:
  // ProgramsFirst stops the constructor once the shader programs are asked
  // for: a page then goes on answering while the driver compiles them, and
  // calls finishStart when programsInProgress are done.
  enum class StartUp { Whole, ProgramsFirst };

  // Without `withMusic` no audio device is opened: programs that render
  // stills or run tests must stay silent.
  Application(int width, int height, PathVariant variant, bool withMusic = true,
              StartUp startUp = StartUp::Whole);
  // Makes no GL call: the context is gone by the time main deletes this.
  virtual ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // kStatusOk, or the exit status of a fatal start-up error.
  int startupStatus() const { return status; }
  // The rest of a start-up begun with StartUp::ProgramsFirst: reads the
  // programs' statuses (waiting for the driver if need be), then everything
  // else. Returns startupStatus().
  int finishStart();
  // The programs the driver may still be compiling.
  std::vector<GLuint> programsInProgress() const { return gpu.programsInProgress(); }

  // The samples in the picture shown: a sample finished in bands counts
  // once the picture with it is shown.
  int shownSamples() const {
    const FinishingSample& finishing = tiled.finishing;
    const bool added = finishing.active && finishing.step != FinishingStep::AddSample;
    return sampling.sampleCount - (added ? 1 : 0);
  }
  // Nothing is left to draw: the sample limit is reached and shown.
  bool resting() const { return sampling.resting() && !tiled.finishing.active; }

  // Moves the camera, restarting the sampling when it changed, animates the
  // light and handles F1, F5, Up and Down.
  void update(float dt, const KeyState& keys, const MouseState& mouse);
  // Draws one frame: a primary pass after a restart and every 24th frame,
  // otherwise one more path-traced sample until sampling.sampleLimit; then
  // the display.
  void draw();
  // One frame's share of the work under `budget`: draw() when it has none;
  // else, right after a restart (the camera moved), the primary view whole
  // at the budget's lower resolution, scaled to the window, which leaves
  // the restart pending; after kQuietFramesBeforeTiles frames without a
  // restart, the next band of the current pass at full resolution. The
  // window is drawn only when a pass is finished, so it must keep its
  // picture between frames (a browser canvas does).
  FrameWork drawWithin(const FrameBudget& budget);
  // Whether drawWithin's next frame is the moving picture: after a restart,
  // and with reused samples also before the view's first picture, so that
  // the first picture after start-up is lit and comes soon.
  bool previewDue() const {
    return sampling.restarts != tiled.restarts ||
           (reusing() && !gpu.temporal.filled && sampling.sampleCount <= 0);
  }
  // Shows the current picture again without sampling: after something else
  // drew into the window (the page's canvas while it makes a video).
  void redisplay();
  // Follows the window's framebuffer size: every screen-size target, the
  // seeds and the projection's aspect take it, and sampling restarts. Once
  // per size: the same size again costs nothing. A size without pixels (a
  // minimised window) changes nothing, so the samples wait for its return.
  void resize(int width, int height);
  // Restarts the sampling from the state frame `frame` of a video starts
  // from, `samples` a frame: seeds and jitter offset that depend on the
  // frame's number alone, so a frame rendered on its own matches the same
  // frame of a whole run.
  void restartAtFrame(int frame, int samples);
  // The camera changed: sampling starts again from the new view. With
  // reuseSamples the picture so far is carried into it (reprojected where
  // the surfaces still match) instead of thrown away; frameSeconds says how
  // long ago the last picture was shown. sampling.restart() alone does the
  // same. update() calls this for the orbit camera; a video calls it (or
  // restartAtFrame, which keeps the history too) between its frames.
  void cameraMoved();
  // The next picture starts from nothing: nothing drawn so far may be
  // carried into it. A resize, a new context and F1 do this themselves.
  void forgetHistory();

  // After the GL context was lost (a GPU reset) and has come back empty:
  // makes every GL object again from what the CPU keeps (the scene, the
  // picture's size), so the camera, the options and the room stay as they
  // were; sampling starts again. kStatusOk, or the status of a program that
  // does not build. A start-up not finished (still compiling, or failed
  // because the context went away during it) only asks for the programs
  // again: finishStart then does the rest.
  int restoreGpuObjects();

  // What the passes of the current frame read; also used to time them.
  FrameResources frameResources() const;
  FrameView frameView();

  // The files of the first program that the passes draw with and that did
  // not link, or an empty text when every one did. What such a program
  // draws is no picture of the room.
  std::string unlinkedProgram() const { return gpu.unlinkedProgram(); }

  // Denoises the current average; the returned texture holds the picture
  // (not a sum) until the next call. Meaningful once samples were taken
  // while `denoising` was on. A moving view's carried picture comes back
  // as shown, blended with the one before (see smoothEdges).
  GLuint denoisedPicture();
  // Whether the window shows the history's picture (gpu.temporal's) rather
  // than the plain average: until the view's own samples have taken over.
  bool showsHistory() const;

  GpuObjects gpu;
  CameraOrbit camera;
  int width;
  int height;
  Vector3 lightPos;
  float lightAngle = 0.0f;
  Vector3 bbMin, bbMax, bbOffset;
  float bbMaxDim = 0.0f;
  float stepSize = 1.0f / 1024.0f;
  float isoValue = 0.25f;
  std::vector<Vector3> boxVertices;
  int displayMode = 0;
  OctreeScene scene;
  // sampleCount, frameCounter, jitterIndex and randomPing.
  SamplingSchedule sampling;
  std::vector<float> jitterOffsets;
  MusicHandle music = MusicHandle::None;
  // F2: samples feed the denoiser's noise estimate, and the window shows the
  // denoised average. Off by default: the demo then shows the plain average.
  bool denoising = false;
  // Stills clear this: they denoise only the picture they write, and their
  // frames show the plain average.
  bool denoiseEveryFrame = true;
  // Samples outlive a camera move: each new view starts from the last
  // picture reprojected into it, and a moving camera shows path-traced
  // light instead of the flat primary view. Off by default: the demo then
  // starts every view from nothing, as a still does. F2 switches it with
  // `denoising`.
  bool reuseSamples = false;
  // Seconds between two shown pictures, which sets how many of the old
  // samples a moved view keeps (about half a second's worth). update()
  // keeps it; a video sets it to its frame interval.
  float frameSeconds = 1.0f / 30.0f;
  SampleOffsets sampleOffsets;
  PathVariant variant;
  bool withMusic;
  // Seconds the light moves per pass, whatever the frame's time; 0: it
  // moves with the frames' time, as in the window. A page sets it, so that
  // its picture after N samples is the same on every device, in bands or not.
  float lightStep = 0.0f;
  TiledPass tiled;

 private:
  static constexpr int kSceneNotBuilt = -1;

  // The camera, the scene's box and the scene itself, built on the CPU
  // (and its BRDF table).
  int prepareScene();
  // The GL objects that follow the programs: render targets, scene
  // textures, the GL state. At start-up and after a lost context alike.
  int makeTargets();
  void placeCamera();
  void setProjection();
  void createSceneBox();
  DenoiseInputs denoiseInputs() const;
  // Whether this frame's samples go through the history: reuseSamples with
  // the picture (not a primary view) shown.
  bool reusing() const { return reuseSamples && displayMode == 0; }
  TemporalInputs temporalInputs(int viewWidth, int viewHeight) const;
  // Without a region the view was traced at full size, and its samples'
  // offsets say where the picture lies; with one, it is the moving
  // picture's lower-left part.
  DenoiseInputs historyDenoiseInputs(int regionWidth = 0, int regionHeight = 0) const;
  // After a sample of the current view (traced at viewWidth x viewHeight,
  // in the targets' lower-left part): a new view first takes over the last
  // picture, then the picture is made again with the sample.
  void carrySamples(bool newView, int viewWidth, int viewHeight);
  void showMovingHistory(int regionWidth, int regionHeight);
  FrameWork drawLitPreview(const FrameResources& resources, const FrameView& view,
                           int previewWidth, int previewHeight);
  void animateLightPerPass();
  // Shows the average, or the denoised one when F2 is on.
  void showSamples(const FrameResources& resources);
  // Whether the picture after the latest sample is the denoiser's, and from
  // what; showFiltered shows it once denoised.
  bool showsDenoised() const;
  DenoiseInputs shownDenoiseInputs() const;
  void showFiltered(const FrameResources& resources, bool denoised);
  // The denoised history as shown: see smoothEdges.
  GLuint smoothedHistory(GLuint denoised);
  TemporalView temporalView(int viewWidth, int viewHeight);
  FrameWork drawFinishing(double allowance);
  void startFinishing(bool firstSample);
  bool finishingStepApplies(FinishingStep step) const;
  void drawFinishingStep(FinishingStep step);
  void finishingStepDone(FinishingStep step);
  void abandonFinishing();
  FrameWork drawPreview(const FrameBudget& budget);
  FrameWork drawTile(const FrameBudget& budget, TileRows rows);
  // Whether the window got a new picture.
  bool finishTiledPass(const FrameResources& resources);
  // The bookkeeping after a pass, whole or in bands.
  void primaryPassDone(const FrameView& view);
  void pathSampleDone(bool firstSample);

  int status = 0;
  int sceneStatus = kSceneNotBuilt;
  // The history belongs to the view being sampled (reprojected into it).
  bool historyCurrent = false;
  // Samples of the view the last picture was made in.
  int lastViewSamples = 0;
};

// Per-frame rules of update, free of GL so that they can be tested alone.

// The light circles (radius 8 at height 5 around (0, 5, 10)) until samples
// accumulate; then it creeps 0.025 units per frame along the turning
// direction (cos, 0, sin) of its angle.
void animateLight(Vector3& lightPos, float& lightAngle, float dt, bool accumulating);

// What the orbit camera reads of the keys and the mouse.
OrbitInput orbitInput(const KeyState& keys, const MouseState& mouse);

// F1 cycles 0, 1, 2.
int nextDisplayMode(int displayMode);

// Up raises and Down lowers the value by dt * 0.1 within [0, 1], each
// printing "iso value: " and the value.
void adjustIsoValue(float& isoValue, float dt, bool up, bool down, std::ostream& out);
