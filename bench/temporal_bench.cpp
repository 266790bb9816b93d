// What carrying samples across views costs beside what it saves: one
// path-traced sample at the demo's 768x512 against the work a moved view
// adds to it (the noise moments of the sample, the reprojection of the last
// picture with the kept hit buffers, and the new picture with its variance),
// on whatever GL device the hidden window gets.
#include <benchmark/benchmark.h>

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>

#include "ExitStatus.h"
#include "SilencedStdout.h"
#include "app/Application.h"
#include "platform/desktop/LegacyWindow.h"
#include "render/FramePasses.h"
#include "render/PassTimer.h"
#include "render/TemporalHistory.h"

namespace {

constexpr int kWidth = 768;
constexpr int kHeight = 512;

bool makeContext() {
  static LegacyWindow* window = nullptr;
  if (window) return true;
  if (!glfwInit()) return false;
  window = new LegacyWindow();
  if (!window->open(kWidth, kHeight, /*visible=*/false)) return false;
  if (!loadGlEntryPoints()) return false;
  glViewport(0, 0, kWidth, kHeight);
  return true;
}

std::unique_ptr<Application> startApplication(benchmark::State& state) {
  if (!makeContext()) {
    state.SkipWithError("no GL context");
    return nullptr;
  }
  std::filesystem::current_path(XMASTRACE_RUN_DIR);
  std::unique_ptr<Application> app;
  {
    SilencedStdout silence;
    app = std::make_unique<Application>(kWidth, kHeight, PathVariant::TwoBounce,
                                        /*withMusic=*/false);
  }
  if (app->startupStatus() != kStatusOk) {
    state.SkipWithError("start-up failed");
    return nullptr;
  }
  // A few samples with reuse on, so that a picture and its hit buffers are
  // there to carry.
  app->reuseSamples = true;
  for (int i = 0; i < 4; ++i) app->draw();
  return app;
}

void pathSample(benchmark::State& state) {
  auto app = startApplication(state);
  if (!app) return;
  PassTimer timer;
  for (auto _ : state) {
    const FrameResources resources = app->frameResources();
    const FrameView view = app->frameView();
    const GlWorkTime spent = timer.time(
        [&] { pathTracePass(resources, view, app->sampling.randomPing, false); });
    app->sampling.pathTracePassDone();
    state.SetIterationTime(spent.wallSeconds);
  }
  state.SetLabel(reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
}

// As a moved view's first sample has it done: the moments, the last picture
// reprojected, the new picture resolved.
void reprojectionAndMoments(benchmark::State& state) {
  auto app = startApplication(state);
  if (!app) return;
  GpuObjects& gpu = app->gpu;
  TemporalInputs inputs;
  inputs.hitColor = gpu.primaryFbo.colorTextures[0];
  inputs.hitPosition = gpu.primaryFbo.colorTextures[1];
  inputs.hitNormal = gpu.primaryFbo.colorTextures[2];
  inputs.sampleTexture = gpu.sampleTexture;
  inputs.bounceDistanceTexture = gpu.bounceDistanceTexture;
  inputs.sumTexture = gpu.accumTexture;
  inputs.momentsTexture = gpu.denoiser.targets.moments;
  inputs.sampleCount = 1;
  inputs.momentCount = 1;
  inputs.quadVertexArray = gpu.quadVertexArray;
  DenoiseInputs noise;
  noise.sampleTexture = gpu.sampleTexture;
  noise.hitColor = inputs.hitColor;
  noise.hitPosition = inputs.hitPosition;
  noise.hitNormal = inputs.hitNormal;
  noise.quadVertexArray = gpu.quadVertexArray;
  const FrameView frame = app->frameView();
  TemporalView view;
  view.viewProjection = frame.mvp;
  view.eye = frame.eye;
  view.bbOffset = app->bbOffset;
  view.bbMaxDim = app->bbMaxDim;
  view.pixelAngle = std::sqrt(dotProduct(frame.B, frame.B)) / kHeight;
  view.historyLimit = historyWeightLimit(1.0f / 30.0f, 1.0f);
  PassTimer timer;
  for (auto _ : state) {
    const GlWorkTime spent = timer.time([&] {
      gatherNoise(gpu.denoiser, noise, true);
      reprojectHistory(gpu.temporal, inputs, view);
      resolvePicture(gpu.temporal, inputs);
    });
    state.SetIterationTime(spent.wallSeconds);
  }
  state.SetLabel(reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
}

}  // namespace

BENCHMARK(pathSample)->Name("temporal/path_sample")->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(reprojectionAndMoments)
    ->Name("temporal/reprojection_and_moments")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
