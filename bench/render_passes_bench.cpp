// The frame benchmark: one table with the scene start-up phases on the room
// (load, normalise, pack, build, upload) and the GPU time of the primary pass
// and of one path-traced sample at the demo's 768x512, for both variants, on
// whatever GL device the hidden window gets. A pass's time is the wall clock
// until its work finished; the GL timer query's figure (gl_timer_ms) goes
// beside it, since a software renderer may leave its rasteriser threads out
// of the query.
#include <benchmark/benchmark.h>

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ExitStatus.h"
#include "app/Application.h"
#include "platform/desktop/LegacyWindow.h"
#include "render/FramePasses.h"
#include "render/PassTimer.h"
#include "render_tool/StillRenderer.h"
#include "scene/SceneTextures.h"
#include "SilencedStdout.h"

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

std::string deviceName() {
  const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  return renderer ? renderer : "unknown GL device";
}

// ---- scene start-up, phase by phase ----------------------------------------

std::vector<SceneObject> roomObjectsInRunDir() {
  std::vector<SceneObject> objects = roomObjects();
  for (SceneObject& object : objects)
    object.file_name = std::string(XMASTRACE_RUN_DIR) + "/" + object.file_name;
  return objects;
}

// The scene as each phase leaves it, made once, so that every phase is timed
// on exactly the input the start-up hands it.
struct StartupStages {
  int status = kStatusOk;
  std::vector<Vector3> loadedPositions;
  OctreeScene packed;  // packed and with the load lists released
  OctreeScene built;
};

const StartupStages& startupStages() {
  static const StartupStages* stages = [] {
    auto* made = new StartupStages();
    SilencedStdout silence;
    OctreeScene& scene = made->packed;
    scene.allocateArrays();
    made->status = scene.loadObjects(roomObjectsInRunDir());
    made->loadedPositions = scene.positions;
    scene.normalizeScene();
    if (made->status == kStatusOk) made->status = scene.packTriangles();
    made->built = scene;
    made->built.releaseLoadLists();
    if (made->status == kStatusOk) made->status = made->built.buildOctree();
    scene.releaseLoadLists();
    return made;
  }();
  return *stages;
}

bool roomLoads(benchmark::State& state) {
  if (startupStages().status == kStatusOk) return true;
  state.SkipWithError("the room does not load");
  return false;
}

void reportTriangles(benchmark::State& state) {
  state.counters["triangles"] = static_cast<double>(startupStages().built.triangle_cursor / 3);
}

// Each phase runs on a scene set up (untimed) as the phase before left it.
// The texture-sized arrays are allocated once: copying them for every
// iteration would cost more than the phases.

void startupLoad(benchmark::State& state) {
  if (!roomLoads(state)) return;
  const std::vector<SceneObject> objects = roomObjectsInRunDir();
  SilencedStdout silence;
  for (auto _ : state) {
    OctreeScene scene;
    if (scene.loadObjects(objects) != kStatusOk) state.SkipWithError("load failed");
  }
  reportTriangles(state);
}

void startupNormalise(benchmark::State& state) {
  if (!roomLoads(state)) return;
  OctreeScene scene;
  for (auto _ : state) {
    state.PauseTiming();
    scene.positions = startupStages().loadedPositions;
    state.ResumeTiming();
    scene.normalizeScene();
  }
  reportTriangles(state);
}

void startupPack(benchmark::State& state) {
  if (!roomLoads(state)) return;
  auto scene = std::make_unique<OctreeScene>();
  scene->allocateArrays();
  {
    SilencedStdout silence;
    scene->loadObjects(roomObjectsInRunDir());
  }
  scene->normalizeScene();
  for (auto _ : state) {
    state.PauseTiming();
    scene->triangle_cursor = 0;
    state.ResumeTiming();
    if (scene->packTriangles() != kStatusOk) state.SkipWithError("pack failed");
  }
  reportTriangles(state);
}

void startupBuild(benchmark::State& state) {
  if (!roomLoads(state)) return;
  auto scene = std::make_unique<OctreeScene>(startupStages().packed);
  for (auto _ : state) {
    state.PauseTiming();
    std::fill(scene->node_pool.begin(), scene->node_pool.end(), 0u);
    std::fill(scene->triangle_ids.begin(), scene->triangle_ids.end(), 0u);
    scene->brick_cursor = BrickCursor{};
    scene->tri_id_cursor = TexelCursor{};
    state.ResumeTiming();
    if (scene->buildOctree() != kStatusOk) state.SkipWithError("build failed");
  }
  state.counters["nodes"] = scene->nodes_created;
  reportTriangles(state);
}

void startupUpload(benchmark::State& state) {
  if (!makeContext()) {
    state.SkipWithError("no GL context");
    return;
  }
  if (!roomLoads(state)) return;
  const OctreeScene& built = startupStages().built;
  for (auto _ : state) {
    GLuint textures[4] = {};
    createSceneTextures(built, textures);
    glFinish();
    state.PauseTiming();
    glDeleteTextures(4, textures);
    glFinish();
    state.ResumeTiming();
  }
  state.SetLabel(deviceName());
}

// ---- frame passes ----------------------------------------------------------

std::unique_ptr<Application> startApplication(benchmark::State& state, PathVariant variant) {
  if (!makeContext()) {
    state.SkipWithError("no GL context");
    return nullptr;
  }
  std::filesystem::current_path(XMASTRACE_RUN_DIR);
  std::unique_ptr<Application> app;
  {
    SilencedStdout silence;
    app = std::make_unique<Application>(kWidth, kHeight, variant, /*withMusic=*/false);
  }
  if (app->startupStatus() != kStatusOk) {
    state.SkipWithError("start-up failed");
    return nullptr;
  }
  return app;
}

// The table's time is the wall clock until the pass finished; the timer
// query's figure goes beside it.
void reportPassFigures(benchmark::State& state, const GlWorkTime& total, double raysPerPass) {
  const double passes = static_cast<double>(state.iterations());
  state.counters["gl_timer_ms"] = total.gpuSeconds * 1e3 / passes;
  if (total.wallSeconds > 0.0)
    state.counters["Mrays/s"] = raysPerPass * passes / total.wallSeconds * 1e-6;
  if (total.gpuSeconds > 0.0)
    state.counters["Mrays/s_timer"] = raysPerPass * passes / total.gpuSeconds * 1e-6;
  state.SetLabel(deviceName());
}

void add(GlWorkTime& total, const GlWorkTime& spent) {
  total.gpuSeconds += spent.gpuSeconds;
  total.wallSeconds += spent.wallSeconds;
}

void primaryPassTime(benchmark::State& state, PathVariant variant) {
  auto app = startApplication(state, variant);
  if (!app) return;
  PassTimer timer;
  GlWorkTime total;
  for (auto _ : state) {
    const FrameResources resources = app->frameResources();
    const FrameView view = app->frameView();
    const GlWorkTime spent = timer.time([&] { primaryPass(resources, view); });
    state.SetIterationTime(spent.wallSeconds);
    add(total, spent);
  }
  reportPassFigures(state, total, primaryRays(kWidth, kHeight));
}

void pathSampleTime(benchmark::State& state, PathVariant variant) {
  auto app = startApplication(state, variant);
  if (!app) return;
  app->draw();  // the primary pass fills the hit buffers the samples start from
  PassTimer timer;
  GlWorkTime total;
  for (auto _ : state) {
    const FrameResources resources = app->frameResources();
    const FrameView view = app->frameView();
    SamplingSchedule& sampling = app->sampling;
    const GlWorkTime spent = timer.time([&] {
      pathTracePass(resources, view, sampling.randomPing, sampling.sampleCount == 0);
    });
    sampling.pathTracePassDone();
    state.SetIterationTime(spent.wallSeconds);
    add(total, spent);
  }
  reportPassFigures(state, total, pathSampleRays(kWidth, kHeight, variant));
}

}  // namespace

BENCHMARK(startupLoad)->Name("startup/load")->Unit(benchmark::kMillisecond);
BENCHMARK(startupNormalise)->Name("startup/normalise")->Unit(benchmark::kMillisecond);
BENCHMARK(startupPack)->Name("startup/pack")->Unit(benchmark::kMillisecond);
BENCHMARK(startupBuild)->Name("startup/build")->Unit(benchmark::kMillisecond);
BENCHMARK(startupUpload)->Name("startup/upload")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(primaryPassTime, two_bounce, PathVariant::TwoBounce)
    ->Name("primary_pass/two_bounce")->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(pathSampleTime, two_bounce, PathVariant::TwoBounce)
    ->Name("path_sample/two_bounce")->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(primaryPassTime, one_bounce, PathVariant::OneBounce)
    ->Name("primary_pass/one_bounce")->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(pathSampleTime, one_bounce, PathVariant::OneBounce)
    ->Name("path_sample/one_bounce")->UseManualTime()->Unit(benchmark::kMillisecond);
