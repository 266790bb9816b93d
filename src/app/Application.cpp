#include "app/Application.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <utility>

#include "ExitStatus.h"
#include "app/KeyCodes.h"
#include "app/KeyState.h"
#include "app/MouseState.h"
#include "geometry/Mesh.h"
#include "render/BuiltinShaders.h"
#include "render/ProgramBuilder.h"
#include "scene/SceneTextures.h"

namespace {

constexpr float kLightTurnRate = 0.5f;   // radians per second
constexpr float kLightCreep = 0.025f;    // units per frame while accumulating
constexpr float kLightRadius = 8.0f;
constexpr float kLightHeight = 5.0f;
constexpr float kLightCentreZ = 10.0f;
constexpr float kIsoRate = 0.1f;         // per second
constexpr int kDisplayModeCount = 3;
constexpr float kSceneHalfExtent = 30.0f;
constexpr float kStartFovY = 60.0f;  // degrees, at 3:2 and wider

// Largest edge of the box; strict comparisons, so ties go to the later axis.
float largestExtent(const Vector3& extent) {
  if (extent.x > extent.y && extent.x > extent.z) return extent.x;
  if (extent.y > extent.z) return extent.y;
  return extent.z;
}

}  // namespace

void animateLight(Vector3& lightPos, float& lightAngle, float dt, bool accumulating) {
  lightAngle += dt * kLightTurnRate;
  const float c = static_cast<float>(std::cos(static_cast<double>(lightAngle)));
  const float s = static_cast<float>(std::sin(static_cast<double>(lightAngle)));
  if (accumulating) {
    lightPos.x += c * kLightCreep;
    lightPos.z += s * kLightCreep;
  } else {
    lightPos = {kLightRadius * c, kLightHeight, kLightRadius * s + kLightCentreZ};
  }
}

OrbitInput orbitInput(const KeyState& keys, const MouseState& mouse) {
  OrbitInput input;
  input.dragging = mouse.down[0];
  input.dnx = mouse.dnx;
  input.dny = mouse.dny;
  input.wheelNotches = mouse.dWheel;
  input.forward = keys.down[kKeyW];
  input.back = keys.down[kKeyS];
  input.left = keys.down[kKeyA];
  input.right = keys.down[kKeyD];
  input.down = keys.down[kKeyQ];
  input.up = keys.down[kKeyE];
  return input;
}

int nextDisplayMode(int displayMode) {
  const int next = displayMode + 1;
  return next >= kDisplayModeCount ? 0 : next;
}

void adjustIsoValue(float& isoValue, float dt, bool up, bool down, std::ostream& out) {
  if (up) {
    isoValue = std::min(isoValue + dt * kIsoRate, 1.0f);
    out << "iso value: " << isoValue << std::endl;
  }
  if (down) {
    isoValue = std::max(isoValue - dt * kIsoRate, 0.0f);
    out << "iso value: " << isoValue << std::endl;
  }
}

Application::Application(int width, int height, PathVariant variant, bool withMusic,
                         StartUp startUp)
    : width(width), height(height), variant(variant), withMusic(withMusic) {
  gpu.requestPrograms(variant);
  if (startUp == StartUp::Whole) {
    finishStart();
    return;
  }
  // The scene is built on the CPU while the driver compiles.
  sceneStatus = prepareScene();
}

Application::~Application() {
  if (withMusic) stopMusic(music);
}

int Application::finishStart() {
  status = gpu.finishPrograms();
  if (status == kStatusOk) status = sceneStatus == kSceneNotBuilt ? prepareScene() : sceneStatus;
  if (status == kStatusOk) status = makeTargets();
  if (status == kStatusOk && withMusic) music = startMusic();
  return status;
}

int Application::prepareScene() {
  placeCamera();
  createSceneBox();
  jitterOffsets = makeJitterOffsets();
  return scene.buildScene();
}

int Application::makeTargets() {
  if (const int made = gpu.createTargets(width, height, variant, sampling.randomPing);
      made != kStatusOk) {
    return made;
  }
  createSceneTextures(scene, gpu.sceneTextures);
  enableDepthTest();
  return kStatusOk;
}

void Application::placeCamera() {
  camera.lookAt({-7.0f, -20.0f, 13.0f}, {-4.0f, -23.0f, 0.0f}, {0.0f, 1.0f, 0.0f});
  setProjection();
}

void Application::setProjection() {
  const float aspect = static_cast<float>(width) / static_cast<float>(height);
  camera.setPerspective(framedFovY(kStartFovY, aspect), aspect, 1.0f, 1000.0f);
}

void Application::createSceneBox() {
  bbMin = {-kSceneHalfExtent, -kSceneHalfExtent, -kSceneHalfExtent};
  bbMax = {kSceneHalfExtent, kSceneHalfExtent, kSceneHalfExtent};
  bbOffset = bbMax;
  bbMaxDim = largestExtent({bbMax.x - bbMin.x, bbMax.y - bbMin.y, bbMax.z - bbMin.z});
  boxVertices = gpu.createMeshes(bbMin, bbMax);
}

void Application::resize(int newWidth, int newHeight) {
  if (newWidth <= 0 || newHeight <= 0) return;
  if (newWidth == width && newHeight == height) return;
  width = newWidth;
  height = newHeight;
  gpu.sizeScreenTargets(width, height, variant);
  setProjection();
  forgetHistory();
  sampling.restart();
}

void Application::restartAtFrame(int frame, int samples) {
  const std::vector<float> seeds = makeSeedBuffer(width, height, variant, frameGenerator(frame));
  gpu.seedRandomTextures(width, height, seeds);
  sampling.jitterIndex = frameJitterIndex(frame, samples, static_cast<int>(jitterOffsets.size()));
  sampling.restart();
}

void Application::cameraMoved() { sampling.restart(); }

void Application::forgetHistory() {
  emptyHistory(gpu.temporal);
  historyCurrent = false;
}

// The start-up's steps again, on what the CPU kept.
int Application::restoreGpuObjects() {
  // A start-up still waiting for its programs has made no more than the
  // scene's box and BRDF table; one that failed because the context went
  // away under it starts again from its programs too, and finishStart does
  // the rest.
  const bool startPending = gpu.programsRequested() || status != kStatusOk;
  gpu.forget();
  scene.brdf_texture = 0;
  gpu.requestPrograms(variant);
  if (!startPending) {
    if (const int built = gpu.finishPrograms(); built != kStatusOk) return built;
  }
  createSceneBox();
  scene.createBrdfTexture();
  if (startPending) return kStatusOk;
  if (const int made = makeTargets(); made != kStatusOk) return made;
  // Back to the offset the shown picture was cast with, so that a primary
  // view returns as it was.
  const int offsets = static_cast<int>(jitterOffsets.size());
  if (offsets >= 2) sampling.jitterIndex = (sampling.jitterIndex + offsets - 2) % offsets;
  // A pass half drawn in bands went with the old targets.
  tiled = TiledPass{};
  forgetHistory();
  sampling.restart();
  return kStatusOk;
}

void Application::update(float dt, const KeyState& keys, const MouseState& mouse) {
  if (dt > 0.0f) frameSeconds = dt;
  if (camera.update(dt, orbitInput(keys, mouse))) cameraMoved();
  if (lightStep == 0.0f) animateLight(lightPos, lightAngle, dt, sampling.sampleCount > 0);
  if (keys.pressed[kKeyF1]) {
    displayMode = nextDisplayMode(displayMode);
    forgetHistory();
  }
  if (keys.pressed[kKeyF2]) {
    denoising = !denoising;
    reuseSamples = denoising;
    forgetHistory();
    // Samples taken while off are missing from the noise estimate.
    gpu.denoiser.momentCount = 0;
  }
  if (keys.pressed[kKeyF5]) gpu.reloadPrograms(variant);
  adjustIsoValue(isoValue, dt, keys.down[kKeyUp], keys.down[kKeyDown], std::cout);
}

FrameResources Application::frameResources() const {
  FrameResources resources = gpu.resources(scene.brdf_texture);
  // The history reads the bounces of a view's first sample alone (a
  // restart pending, or no sample yet); the samples that follow at rest
  // skip the write.
  if (reusing() && sampling.sampleCount <= 0) {
    resources.bounceDistanceTexture = gpu.bounceDistanceTexture;
  }
  return resources;
}

FrameView Application::frameView() {
  FrameView view;
  camera.imagePlane(view.A, view.B, view.C, 1.0f);
  view.mvp = camera.viewProjection();
  view.eye = camera.eye;
  view.screenWidth = static_cast<float>(width);
  view.screenHeight = static_cast<float>(height);
  view.lightPos = lightPos;
  view.bbMin = bbMin;
  view.bbMax = bbMax;
  view.bbOffset = bbOffset;
  view.bbMaxDim = bbMaxDim;
  view.stepSize = stepSize;
  const size_t index = static_cast<size_t>(sampling.jitterIndex);
  if (index + 1 < jitterOffsets.size()) {
    view.jitter[0] = jitterOffsets[index];
    view.jitter[1] = jitterOffsets[index + 1];
  }
  return view;
}

DenoiseInputs Application::denoiseInputs() const {
  DenoiseInputs inputs;
  inputs.sumTexture = gpu.accumTexture;
  inputs.sampleCount = sampling.sampleCount;
  inputs.offsets = sampleOffsets;
  inputs.sampleTexture = gpu.sampleTexture;
  inputs.hitColor = gpu.primaryFbo.colorTextures[0];
  inputs.hitPosition = gpu.primaryFbo.colorTextures[1];
  inputs.hitNormal = gpu.primaryFbo.colorTextures[2];
  inputs.quadVertexArray = gpu.quadVertexArray;
  inputs.sumProgram = gpu.sumProgram;
  return inputs;
}

GLuint Application::denoisedPicture() {
  gpu.readyDenoiseTargets(width, height);
  const GLuint picture = denoise(gpu.denoiser, shownDenoiseInputs());
  return showsHistory() ? smoothedHistory(picture) : picture;
}

GLuint Application::smoothedHistory(GLuint denoised) {
  return smoothEdges(gpu.temporal, temporalInputs(width, height), temporalView(width, height),
                     denoised);
}

bool Application::showsHistory() const {
  return reusing() && historyCurrent && sampling.sampleCount > 0 &&
         historyFade(sampling.sampleCount) > 0.0f;
}

TemporalInputs Application::temporalInputs(int viewWidth, int viewHeight) const {
  TemporalInputs inputs;
  inputs.hitColor = gpu.primaryFbo.colorTextures[0];
  inputs.hitPosition = gpu.primaryFbo.colorTextures[1];
  inputs.hitNormal = gpu.primaryFbo.colorTextures[2];
  inputs.sampleTexture = gpu.sampleTexture;
  inputs.bounceDistanceTexture = gpu.bounceDistanceTexture;
  inputs.sumTexture = gpu.accumTexture;
  inputs.momentsTexture = gpu.denoiser.targets.moments;
  inputs.sampleCount = std::max(sampling.sampleCount, 1);
  // Moments gathered only since F2 miss some of the samples.
  inputs.momentCount = gpu.denoiser.momentCount == inputs.sampleCount ? inputs.sampleCount : 0;
  inputs.size[0] = viewWidth;
  inputs.size[1] = viewHeight;
  inputs.quadVertexArray = gpu.quadVertexArray;
  return inputs;
}

// The picture is an average with its own noise estimate, guided by the hit
// buffers it was made for (at full size also after a moving picture). The
// reprojection puts the history where the view's own samples lie, so the
// view's offsets hold for the whole picture. A moving picture drawn
// smaller (a region) is filtered at its own size, guided by its own hits.
DenoiseInputs Application::historyDenoiseInputs(int regionWidth, int regionHeight) const {
  const TemporalTargets& targets = gpu.temporal.targets;
  DenoiseInputs inputs;
  inputs.sumTexture = targets.picture;
  inputs.sampleCount = 1;
  inputs.sampleTexture = gpu.sampleTexture;
  inputs.varianceTexture = targets.pictureMoments;
  inputs.quadVertexArray = gpu.quadVertexArray;
  if (regionWidth > 0 && regionHeight > 0) {
    inputs.region[0] = regionWidth;
    inputs.region[1] = regionHeight;
    inputs.hitColor = gpu.primaryFbo.colorTextures[0];
    inputs.hitPosition = gpu.primaryFbo.colorTextures[1];
    inputs.hitNormal = gpu.primaryFbo.colorTextures[2];
    return inputs;
  }
  inputs.offsets = sampleOffsets;
  inputs.hitColor = targets.color[targets.kept];
  inputs.hitPosition = targets.position[targets.kept];
  inputs.hitNormal = targets.normal[targets.kept];
  return inputs;
}

TemporalView Application::temporalView(int viewWidth, int viewHeight) {
  const FrameView view = frameView();
  TemporalView next;
  next.viewProjection = view.mvp;
  next.eye = view.eye;
  next.bbOffset = bbOffset;
  next.bbMaxDim = bbMaxDim;
  const float planeHeight = std::sqrt(dotProduct(view.B, view.B));
  next.pixelAngle = planeHeight / static_cast<float>(std::max(viewHeight, 1));
  if (viewWidth == width && viewHeight == height) {
    next.jitter[0] = view.jitter[0];
    next.jitter[1] = view.jitter[1];
  }
  next.historyLimit =
      historyWeightLimit(frameSeconds, static_cast<float>(std::max(lastViewSamples, 1)));
  next.reflectionsKept = !denoising;
  return next;
}

void Application::carrySamples(bool newView, int viewWidth, int viewHeight) {
  gpu.readyTemporalTargets(width, height);
  const TemporalInputs inputs = temporalInputs(viewWidth, viewHeight);
  if (newView || !historyCurrent) {
    reprojectHistory(gpu.temporal, inputs, temporalView(viewWidth, viewHeight));
    historyCurrent = true;
  }
  resolvePicture(gpu.temporal, inputs);
  lastViewSamples = inputs.sampleCount;
}

// A moving picture drawn smaller is denoised at its own size and shown
// stretched over the window.
void Application::showMovingHistory(int regionWidth, int regionHeight) {
  GLuint picture = gpu.temporal.targets.picture;
  if (denoising && denoiseEveryFrame) {
    gpu.readyDenoiseTargets(width, height);
    picture = denoise(gpu.denoiser, historyDenoiseInputs(regionWidth, regionHeight));
  }
  showStretched(gpu.temporal.programs, picture, regionWidth, regionHeight, gpu.quadVertexArray);
}

void Application::animateLightPerPass() {
  if (lightStep > 0.0f) animateLight(lightPos, lightAngle, lightStep, sampling.sampleCount > 0);
}

bool Application::showsDenoised() const {
  if (!(denoising && denoiseEveryFrame)) return false;
  if (showsHistory()) return true;
  const int samples = sampling.sampleCount;
  return samples > 0 && denoisedShare(samples) > 0.0f;
}

DenoiseInputs Application::shownDenoiseInputs() const {
  return showsHistory() ? historyDenoiseInputs() : denoiseInputs();
}

void Application::showSamples(const FrameResources& resources) {
  const bool denoised = showsDenoised();
  if (denoised) {
    gpu.readyDenoiseTargets(width, height);
    denoise(gpu.denoiser, shownDenoiseInputs());
  }
  showFiltered(resources, denoised);
}

void Application::showFiltered(const FrameResources& resources, bool denoised) {
  const int samples = sampling.sampleCount;
  const GLuint filtered = gpu.denoiser.targets.picture;
  if (showsHistory()) {
    showPicture(resources, denoised ? smoothedHistory(filtered) : gpu.temporal.targets.picture);
  } else if (denoised) {
    showDenoised(resources, filtered, samples, denoisedShare(samples));
  } else {
    displayPass(resources, samples, displayMode);
  }
}

void Application::redisplay() { showSamples(frameResources()); }

void Application::draw() {
  if (sampling.nextPass() != FramePass::Rest) animateLightPerPass();
  const FrameResources resources = frameResources();
  const FrameView view = frameView();
  clearWindow();
  const FramePass pass = sampling.nextPass();
  if (pass == FramePass::PathTrace) {
    const bool firstSample = sampling.sampleCount == 0;
    pathTracePass(resources, view, sampling.randomPing, firstSample);
    pathSampleDone(firstSample);
  } else if (pass == FramePass::Primary) {
    primaryPass(resources, view);
    primaryPassDone(view);
    // A new view is lit from its first frame on.
    if (reusing() && sampling.sampleCount == 0) {
      pathTracePass(resources, view, sampling.randomPing, true);
      pathSampleDone(true);
    }
  }
  showSamples(resources);
  sampling.frameDone();
}

FrameWork Application::drawWithin(const FrameBudget& budget) {
  if (!budget.tiled()) {
    draw();
    return {FrameWorkKind::Whole, FramePass::Rest, static_cast<double>(width) * height, true};
  }
  if (previewDue()) {
    abandonFinishing();
    tiled = TiledPass{};
    tiled.restarts = sampling.restarts;
    return drawPreview(budget);
  }
  if (tiled.finishing.active) return drawFinishing(budget.finishingPixels);
  if (sampling.resting()) return {};
  if (tiled.quietFrames < kQuietFramesBeforeTiles) {
    ++tiled.quietFrames;
    return {};
  }
  if (!tiled.active) {
    tiled.active = true;
    tiled.pass = sampling.nextPass();
    tiled.nextRow = 0;
    animateLightPerPass();
    tiled.view = frameView();
  }
  FrameWork work = drawTile(budget, nextTile(budget, tiled.pass, width, height, tiled.nextRow));
  // What the band left of the frame goes to finishing its sample: a picture
  // small enough for one band a pass still takes a frame a sample.
  const double bandShare = work.pixels / std::max(budget.tilePixels[1], 1.0);
  if (tiled.finishing.active && bandShare < 1.0) {
    work.shown = drawFinishing((1.0 - bandShare) * budget.finishingPixels).shown;
    work.passHeight = 0;  // the frame's time is not its rows' alone
  }
  return work;
}

// Primary rays alone: a moving camera shows no samples anyway, and the
// restart stays pending, so the full picture's passes follow as if this one
// had not been drawn.
FrameWork Application::drawPreview(const FrameBudget& budget) {
  const int previewWidth = previewSide(budget, width);
  const int previewHeight = previewSide(budget, height);
  FrameView view = frameView();
  view.screenWidth = static_cast<float>(previewWidth);
  view.screenHeight = static_cast<float>(previewHeight);
  FrameResources resources = frameResources();
  setDrawSize(previewWidth, previewHeight);
  primaryPass(resources, view);
  // Whatever reads the hit buffers now reads their lower-left part alone.
  setQuadTextureExtent(gpu.previewQuad, static_cast<float>(previewWidth) / static_cast<float>(width),
                       static_cast<float>(previewHeight) / static_cast<float>(height));
  resources.quadVertexArray = gpu.previewQuad.vertexArray;
  if (reusing()) return drawLitPreview(resources, view, previewWidth, previewHeight);
  setDrawSize(width, height);
  displayPass(resources, 0, displayMode);
  return {FrameWorkKind::Preview, FramePass::Primary,
          static_cast<double>(previewWidth) * previewHeight, true};
}

// The preview's one sample, traced into the lower-left part of the
// targets, carries the history along at its own size. The restart stays
// pending as for the flat preview: the full-size passes start afresh, and
// their first sample takes the picture over from here.
FrameWork Application::drawLitPreview(const FrameResources& resources, const FrameView& view,
                                      int previewWidth, int previewHeight) {
  // A clear ignores the viewport: kept to the part, it costs no more than
  // the part's passes, however large the canvas.
  drawOnlyRows(previewWidth, 0, previewHeight);
  traceSample(resources, view, sampling.randomPing);
  addSample(resources, sampling.randomPing, true);
  sampling.randomPing = sampling.randomPing == 0 ? 1 : 0;
  gpu.readyDenoiseTargets(width, height);
  DenoiseInputs noise = denoiseInputs();
  noise.region[0] = previewWidth;
  noise.region[1] = previewHeight;
  gatherNoise(gpu.denoiser, noise, true);
  carrySamples(true, previewWidth, previewHeight);
  drawAllRows();
  setDrawSize(width, height);
  showMovingHistory(previewWidth, previewHeight);
  return {FrameWorkKind::Preview, FramePass::PathTrace,
          static_cast<double>(previewWidth) * previewHeight, true};
}

FrameWork Application::drawTile(const FrameBudget& budget, TileRows rows) {
  const FrameResources resources = frameResources();
  FrameWork work{FrameWorkKind::Tile, tiled.pass, bandPixels(budget, tiled.pass, width, height, rows)};
  work.rows = rows;
  work.passHeight = height;
  drawOnlyRows(width, rows.first, rows.count);
  if (tiled.pass == FramePass::Primary) {
    primaryPass(resources, tiled.view);
  } else {
    traceSample(resources, tiled.view, sampling.randomPing);
  }
  drawAllRows();
  tiled.nextRow = rows.first + rows.count;
  if (tiled.nextRow >= height) work.shown = finishTiledPass(resources);
  return work;
}

// As draw() ends its pass. The denoiser runs here, once per sample.
bool Application::finishTiledPass(const FrameResources& resources) {
  tiled.active = false;
  if (tiled.pass == FramePass::Primary) {
    primaryPassDone(tiled.view);
    // A new jitter offset under samples changes nothing shown, and a new
    // view keeps showing the history until its first sample is in.
    const bool shown = sampling.sampleCount == 0 && !reusing();
    if (shown) displayPass(resources, 0, displayMode);
    sampling.frameDone();
    return shown;
  }
  startFinishing(sampling.sampleCount == 0);
  return false;
}

void Application::startFinishing(bool firstSample) {
  FinishingSample& finishing = tiled.finishing;
  finishing = FinishingSample{};
  finishing.active = true;
  finishing.firstSample = firstSample;
  finishing.gathersNoise = denoising || reusing();
  finishing.reuses = reusing();
  finishing.newView = reusing() && (firstSample || !historyCurrent);
  if (finishing.gathersNoise) gpu.readyDenoiseTargets(width, height);
  if (finishing.reuses) {
    gpu.readyTemporalTargets(width, height);
    finishing.view = temporalView(width, height);
  }
}

// Measured on Mesa llvmpipe (bench/finishing_bench). A budget learnt in
// plain pixels took the cheap steps' pace for the dear ones: on a phone's
// canvas the noise estimate's frames ran to 200 ms, and a drag waited
// behind them.
double finishingStepCost(FinishingStep step, int denoisePass, bool smoothed) {
  switch (step) {
    case FinishingStep::AddSample:
      return 0.15;
    case FinishingStep::GatherNoise:
      return 0.2;
    case FinishingStep::Reproject:
      return 1.3;
    case FinishingStep::KeepGeometry:
      return 0.2;
    case FinishingStep::Resolve:
      return 0.4;
    case FinishingStep::Denoise:
      if (denoisePass == 0) return 2.5;
      return denoisePass <= kDenoisePassCount ? 1.0 : 0.2;
    case FinishingStep::Show:
      return smoothed ? 0.6 : 0.1;
  }
  return 1.0;
}

// Bands of the finishing steps, in turn, for `allowance` of their cost
// (see finishingStepCost); the picture is shown whole once they are all
// drawn, in a frame that has its cost left, or a frame of its own.
FrameWork Application::drawFinishing(double allowance) {
  FinishingSample& finishing = tiled.finishing;
  FrameWork work{FrameWorkKind::Finishing, FramePass::PathTrace, 0.0};
  const double pixels = static_cast<double>(width) * height;
  while (finishing.step != FinishingStep::Show && work.pixels < allowance) {
    const double cost = finishingStepCost(finishing.step, finishing.denoisePass, false);
    const TileRows rows =
        nextFinishingBand((allowance - work.pixels) / cost, width, height, finishing.nextRow);
    drawOnlyRows(width, rows.first, rows.count);
    drawFinishingStep(finishing.step);
    drawAllRows();
    work.pixels += cost * width * rows.count;
    finishing.nextRow = rows.first + rows.count;
    if (finishing.nextRow >= height) finishingStepDone(finishing.step);
  }
  const double showCost =
      finishingStepCost(FinishingStep::Show, 0, finishing.denoised && showsHistory()) * pixels;
  if (finishing.step == FinishingStep::Show && (work.pixels == 0.0 || work.pixels + showCost <= allowance)) {
    showFiltered(frameResources(), finishing.denoised);
    sampling.frameDone();
    finishing.active = false;
    work.pixels += showCost;
    work.shown = true;
  }
  return work;
}

bool Application::finishingStepApplies(FinishingStep step) const {
  const FinishingSample& finishing = tiled.finishing;
  switch (step) {
    case FinishingStep::GatherNoise:
      return finishing.gathersNoise;
    case FinishingStep::Reproject:
    case FinishingStep::KeepGeometry:
      return finishing.newView;
    case FinishingStep::Resolve:
      return finishing.reuses;
    case FinishingStep::Denoise:
      return finishing.denoised && finishing.denoisePass < denoisePassCount(finishing.denoiseInputs);
    default:
      return true;
  }
}

// One band, under the scissor drawFinishing set.
void Application::drawFinishingStep(FinishingStep step) {
  const FinishingSample& finishing = tiled.finishing;
  switch (step) {
    case FinishingStep::AddSample:
      addSample(frameResources(), sampling.randomPing, finishing.firstSample);
      break;
    case FinishingStep::GatherNoise:
      drawNoise(gpu.denoiser, denoiseInputs(), finishing.firstSample);
      break;
    case FinishingStep::Reproject:
      drawReprojection(gpu.temporal, temporalInputs(width, height), finishing.view);
      break;
    case FinishingStep::KeepGeometry:
      drawKeptGeometry(gpu.temporal, temporalInputs(width, height));
      break;
    case FinishingStep::Resolve:
      drawResolvedPicture(gpu.temporal, temporalInputs(width, height));
      break;
    case FinishingStep::Denoise:
      drawDenoisePass(gpu.denoiser, finishing.denoiseInputs, finishing.denoisePass);
      break;
    case FinishingStep::Show:
      break;
  }
}

// The bookkeeping of a step whose every band is drawn, as pathSampleDone
// and carrySamples do it for a sample drawn whole; then the next step.
void Application::finishingStepDone(FinishingStep step) {
  FinishingSample& finishing = tiled.finishing;
  finishing.nextRow = 0;
  switch (step) {
    case FinishingStep::AddSample:
      sampleOffsets.sampleAdded(finishing.firstSample);
      sampling.pathTracePassDone();
      break;
    case FinishingStep::GatherNoise:
      noiseDrawn(gpu.denoiser, denoiseInputs(), finishing.firstSample);
      break;
    case FinishingStep::KeepGeometry:
      viewKept(gpu.temporal, temporalInputs(width, height), finishing.view);
      historyCurrent = true;
      break;
    case FinishingStep::Resolve:
      pictureResolved(gpu.temporal);
      lastViewSamples = std::max(sampling.sampleCount, 1);
      break;
    case FinishingStep::Denoise:
      if (++finishing.denoisePass < denoisePassCount(finishing.denoiseInputs)) return;
      break;
    default:
      break;
  }
  FinishingStep next = step;
  do {
    next = static_cast<FinishingStep>(static_cast<int>(next) + 1);
    if (next == FinishingStep::Denoise) {
      // What the sample's picture shows is known only now.
      finishing.denoised = showsDenoised();
      if (finishing.denoised) {
        gpu.readyDenoiseTargets(width, height);
        finishing.denoiseInputs = shownDenoiseInputs();
      }
    }
  } while (next != FinishingStep::Show && !finishingStepApplies(next));
  finishing.step = next;
}

// A sample left half finished goes with its view, but its picture is what
// the next view reprojects: half made after the view's hit buffers were
// kept in place of the last ones, it would be read through the wrong ones.
void Application::abandonFinishing() {
  const FinishingSample& finishing = tiled.finishing;
  if (finishing.active && finishing.newView && finishing.step == FinishingStep::Resolve) {
    forgetHistory();
  }
}


void Application::primaryPassDone(const FrameView& view) {
  sampleOffsets.primaryPass(view.jitter);
  sampling.primaryPassDone(static_cast<int>(jitterOffsets.size()));
}

void Application::pathSampleDone(bool firstSample) {
  // The history's noise estimate needs the moments too.
  if (denoising || reusing()) {
    gpu.readyDenoiseTargets(width, height);
    gatherNoise(gpu.denoiser, denoiseInputs(), firstSample);
  }
  sampleOffsets.sampleAdded(firstSample);
  sampling.pathTracePassDone();
  if (reusing()) carrySamples(firstSample, width, height);
}
