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

// Keeps the program in use when its replacement does not compile or link;
// an edited shader with a typo must not end or blank a running demo. A
// replaced program is freed: each F5 would otherwise keep megabytes of
// compiled code.
void replaceProgram(GLuint& program, const BuiltProgram& built) {
  if (built.status != kStatusOk || !built.linked) {
    releaseProgram(built.program);
    return;
  }
  releaseProgram(program);
  program = built.program;
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
  requestPrograms();
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
  status = finishPrograms();
  if (status == kStatusOk) status = sceneStatus == kSceneNotBuilt ? prepareScene() : sceneStatus;
  if (status == kStatusOk) status = finishTargets();
  return status;
}

std::vector<GLuint> Application::programsInProgress() const {
  std::vector<GLuint> programs;
  for (const ProgramRequest& request : programRequests) programs.push_back(request.pending.program);
  return programs;
}

int Application::prepareScene() {
  placeCamera();
  createSceneBox();
  jitterOffsets = makeJitterOffsets();
  return scene.buildScene();
}

int Application::finishTargets() {
  if (const int made = createRenderTargets(); made != kStatusOk) return made;
  createSceneTextures(scene, sceneTextures);
  enableDepthTest();
  if (withMusic) music = startMusic();
  return kStatusOk;
}

// Every program is asked for before any status is read, so that a driver
// that compiles in the background works on all of them at once.
void Application::requestPrograms() {
  const struct {
    GLuint* program;
    const char* vertexFile;
    const char* fragment;
    bool exportHeader;
  } builds[] = {
      {&vsFsProgram, "VS.glsl", "FS.glsl", true},
      {&textureProgram, "TextureShaderVS.glsl", "TextureShaderFS.glsl", false},
      {&accumProgram, "TextureShaderAccumVS.glsl", "TextureShaderAccumFS.glsl", false},
      {&voxelProgram, "VoxelShaderVSgiga.glsl", primaryRayFragmentSource(), false},
      {&pathProgram, "gigaAOShaderVS.glsl", pathTraceFragmentSource(variant), false},
  };
  programRequests.clear();
  for (const auto& build : builds) {
    const PendingProgram pending = startProgram(build.vertexFile, nullptr, nullptr, nullptr,
                                                build.fragment, build.exportHeader);
    programRequests.push_back({build.program, pending});
  }
}

int Application::finishPrograms() {
  int built = kStatusOk;
  // All are finished, also after a failure, so that none is left half made.
  for (ProgramRequest& request : programRequests) {
    const BuiltProgram program = finishProgram(request.pending);
    if (built == kStatusOk) built = program.status;
    *request.program = program.program;
  }
  programRequests.clear();
  if (built != kStatusOk) return built;
  return buildDenoisePrograms(denoiser.programs, "TextureShaderVS.glsl");
}

std::string Application::unlinkedProgram() const {
  const struct {
    GLuint program;
    const char* files;
  } drawing[] = {
      {textureProgram, "TextureShaderVS.glsl and TextureShaderFS.glsl"},
      {accumProgram, "TextureShaderAccumVS.glsl and TextureShaderAccumFS.glsl"},
      {voxelProgram, "VoxelShaderVSgiga.glsl and the built-in primary-ray shader"},
      {pathProgram, "gigaAOShaderVS.glsl and the built-in path-tracing shader"},
  };
  for (const auto& each : drawing) {
    if (!isLinked(each.program)) return each.files;
  }
  return "";
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
  BoxMesh box = createBoxMesh(bbMin.x, bbMin.y, bbMin.z, bbMax.x, bbMax.y, bbMax.z);
  boxVertexBuffer = box.vertexBuffer;
  boxIndexBuffer = box.indexBuffer;
  boxVertexArray = box.vertexArray;
  boxVertices = std::move(box.vertices);
  const QuadMesh quad = createQuadMesh();
  quadVertexBuffer = quad.vertexBuffer;
  quadVertexArray = quad.vertexArray;
  previewQuad = createQuadMesh();
}

int Application::createRenderTargets() {
  if (const int made = primaryFbo.create(width, height, GL_RGBA16F, 3, false, true);
      made != kStatusOk) {
    return made;
  }
  // Its textures come from outside, so the check at creation always meets a
  // missing attachment; that is reported and harmless.
  if (const int made = pathFbo.create(width, height, GL_RGBA32F, 2, false, false);
      made != kStatusOk) {
    return made;
  }
  sizeScreenTargets();
  pathFbo.attachTexture(0, sampleTexture);
  // The one the next sample writes. Targets made again after a lost
  // context meet a sampling that may be at the other texture: attaching
  // the first would have that sample read what it writes, which a browser
  // refuses to draw, and the sample would be counted without its light.
  pathFbo.attachTexture(1, randomTextures[sampling.randomPing]);
  return kStatusOk;
}

// Every target of the window's size is sized here, at start-up and on each
// resize; their names never change, so attachments and the frame's
// resources stay valid.
void Application::sizeScreenTargets() {
  const std::vector<float> seeds = makeSeedBuffer(width, height, variant);
  sizeScreenTexture(sampleTexture, width, height, nullptr);
  sizeScreenTexture(accumTexture, width, height, nullptr);
  sizeScreenTexture(randomTextures[0], width, height, seeds.data());
  sizeScreenTexture(randomTextures[1], width, height, seeds.data());
  primaryFbo.resize(width, height);
  pathFbo.resize(width, height);
  setDrawSize(width, height);
}

void Application::resize(int newWidth, int newHeight) {
  if (newWidth <= 0 || newHeight <= 0) return;
  if (newWidth == width && newHeight == height) return;
  width = newWidth;
  height = newHeight;
  sizeScreenTargets();
  setProjection();
  sampling.restart();
}

void Application::restartAtFrame(int frame, int samples) {
  const std::vector<float> seeds = makeSeedBuffer(width, height, variant, frameGenerator(frame));
  // Both hold the same seeds, as at start-up, so either may be read first.
  sizeScreenTexture(randomTextures[0], width, height, seeds.data());
  sizeScreenTexture(randomTextures[1], width, height, seeds.data());
  sampling.jitterIndex = frameJitterIndex(frame, samples, static_cast<int>(jitterOffsets.size()));
  sampling.restart();
}

int Application::restoreGpuObjects() {
  // The old names mean nothing in the new context; deleting them could
  // only raise errors, so they are forgotten instead.
  vsFsProgram = textureProgram = accumProgram = voxelProgram = pathProgram = 0;
  std::fill(std::begin(sceneTextures), std::end(sceneTextures), 0u);
  sampleTexture = accumTexture = 0;
  randomTextures[0] = randomTextures[1] = 0;
  scene.brdf_texture = 0;
  primaryFbo = FrameBufferObject();
  pathFbo = FrameBufferObject();
  denoiser = Denoiser();
  // A start-up still waiting for its programs, or one that failed because
  // the context went away under it, starts again from its programs: only
  // the scene's box and BRDF table come before them, and finishStart does
  // the rest.
  if (!programRequests.empty() || status != kStatusOk) {
    requestPrograms();
    createSceneBox();
    scene.createBrdfTexture();
    return kStatusOk;
  }
  requestPrograms();
  if (const int built = finishPrograms(); built != kStatusOk) return built;
  createSceneBox();
  scene.createBrdfTexture();
  if (const int made = createRenderTargets(); made != kStatusOk) return made;
  createSceneTextures(scene, sceneTextures);
  enableDepthTest();
  // Back to the offset the shown picture was cast with, so that a primary
  // view returns as it was.
  const int offsets = static_cast<int>(jitterOffsets.size());
  if (offsets >= 2) sampling.jitterIndex = (sampling.jitterIndex + offsets - 2) % offsets;
  // A pass half drawn in bands went with the old targets.
  tiled = TiledPass{};
  sampling.restart();
  return kStatusOk;
}

void Application::update(float dt, const KeyState& keys, const MouseState& mouse) {
  if (camera.update(dt, keys, mouse)) sampling.restart();
  if (lightStep == 0.0f) animateLight(lightPos, lightAngle, dt, sampling.sampleCount > 0);
  if (keys.pressed[kKeyF1]) displayMode = nextDisplayMode(displayMode);
  if (keys.pressed[kKeyF2]) {
    denoising = !denoising;
    // Samples taken while off are missing from the noise estimate.
    denoiser.momentCount = 0;
  }
  if (keys.pressed[kKeyF5]) reloadPrograms();
  adjustIsoValue(isoValue, dt, keys.down[kKeyUp], keys.down[kKeyDown], std::cout);
}

void Application::reloadPrograms() {
  replaceProgram(voxelProgram, buildProgram("VoxelShaderVSgiga.glsl", nullptr, nullptr, nullptr,
                                            "VoxelShaderFSgiga.glsl", true));
  replaceProgram(textureProgram, buildProgram("TextureShaderVS.glsl", nullptr, nullptr, nullptr,
                                              "TextureShaderFS.glsl", false));
  // The file holds the two-bounce text; each program compiles its own
  // variant of it, as its built-in text was made.
  replaceProgram(pathProgram, buildProgram("gigaAOShaderVS.glsl", nullptr, nullptr, nullptr,
                                           "gigaAOShaderFS.glsl", true, pathTraceDefine(variant)));
  replaceProgram(accumProgram, buildProgram("TextureShaderAccumVS.glsl", nullptr, nullptr, nullptr,
                                            "TextureShaderAccumFS.glsl", false));
}

FrameResources Application::frameResources() const {
  FrameResources resources;
  resources.textureProgram = textureProgram;
  resources.accumProgram = accumProgram;
  resources.voxelProgram = voxelProgram;
  resources.pathProgram = pathProgram;
  std::copy(std::begin(sceneTextures), std::end(sceneTextures), resources.sceneTextures);
  resources.brdfTexture = scene.brdf_texture;
  resources.sampleTexture = sampleTexture;
  resources.accumTexture = accumTexture;
  resources.randomTextures[0] = randomTextures[0];
  resources.randomTextures[1] = randomTextures[1];
  resources.primaryFbo = &primaryFbo;
  resources.pathFbo = &pathFbo;
  resources.boxVertexArray = boxVertexArray;
  resources.quadVertexArray = quadVertexArray;
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

void Application::readyDenoiseTargets() {
  if (denoiser.targets.width != width || denoiser.targets.height != height)
    createDenoiseTargets(denoiser, width, height);
}

DenoiseInputs Application::denoiseInputs() const {
  DenoiseInputs inputs;
  inputs.sumTexture = accumTexture;
  inputs.sampleCount = sampling.sampleCount;
  inputs.offsets = sampleOffsets;
  inputs.sampleTexture = sampleTexture;
  inputs.hitColor = primaryFbo.colorTextures[0];
  inputs.hitPosition = primaryFbo.colorTextures[1];
  inputs.hitNormal = primaryFbo.colorTextures[2];
  inputs.quadVertexArray = quadVertexArray;
  return inputs;
}

GLuint Application::denoisedPicture() {
  readyDenoiseTargets();
  return denoise(denoiser, denoiseInputs());
}

void Application::animateLightPerPass() {
  if (lightStep > 0.0f) animateLight(lightPos, lightAngle, lightStep, sampling.sampleCount > 0);
}

void Application::showSamples(const FrameResources& resources) {
  if (denoising && denoiseEveryFrame && sampling.sampleCount > 0) {
    showPicture(resources, denoisedPicture());
  } else {
    displayPass(resources, sampling.sampleCount, displayMode);
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
    if (denoising) {
      readyDenoiseTargets();
      gatherNoise(denoiser, denoiseInputs(), firstSample);
    }
    sampleOffsets.sampleAdded(firstSample);
    sampling.pathTracePassDone();
  } else if (pass == FramePass::Primary) {
    primaryPass(resources, view);
    sampleOffsets.primaryPass(view.jitter);
    sampling.primaryPassDone(static_cast<int>(jitterOffsets.size()));
  }
  showSamples(resources);
  sampling.frameDone();
}

FrameWork Application::drawWithin(const FrameBudget& budget) {
  if (!budget.tiled()) {
    draw();
    return {FrameWorkKind::Whole, FramePass::Rest, static_cast<double>(width) * height, true};
  }
  if (sampling.resting()) return {};
  if (previewDue()) {
    tiled = TiledPass{};
    tiled.restarts = sampling.restarts;
    return drawPreview(budget);
  }
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
  return drawTile(nextTile(budget, tiled.pass, width, height, tiled.nextRow));
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
  setDrawSize(width, height);
  setQuadTextureExtent(previewQuad, static_cast<float>(previewWidth) / static_cast<float>(width),
                       static_cast<float>(previewHeight) / static_cast<float>(height));
  resources.quadVertexArray = previewQuad.vertexArray;
  displayPass(resources, 0, displayMode);
  return {FrameWorkKind::Preview, FramePass::Primary,
          static_cast<double>(previewWidth) * previewHeight, true};
}

FrameWork Application::drawTile(TileRows rows) {
  const FrameResources resources = frameResources();
  FrameWork work{FrameWorkKind::Tile, tiled.pass, static_cast<double>(width) * rows.count};
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
    sampleOffsets.primaryPass(tiled.view.jitter);
    sampling.primaryPassDone(static_cast<int>(jitterOffsets.size()));
    // A new jitter offset under samples changes nothing shown.
    const bool shown = sampling.sampleCount == 0;
    if (shown) displayPass(resources, 0, displayMode);
    sampling.frameDone();
    return shown;
  }
  const bool firstSample = sampling.sampleCount == 0;
  addSample(resources, sampling.randomPing, firstSample);
  if (denoising) {
    readyDenoiseTargets();
    gatherNoise(denoiser, denoiseInputs(), firstSample);
  }
  sampleOffsets.sampleAdded(firstSample);
  sampling.pathTracePassDone();
  showSamples(resources);
  sampling.frameDone();
  return true;
}
