// GPU time of the two ray-tracing passes at the demo's size, measured with GL
// timer queries on the room. Runs in run/ (the Application loads its files
// from there) with a hidden window.
#include <benchmark/benchmark.h>

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "ExitStatus.h"
#include "app/Application.h"
#include "app/DebugOutput.h"
#include "app/LegacyWindow.h"
#include "render/FramePasses.h"

namespace {

constexpr int kWidth = 768;
constexpr int kHeight = 512;

bool makeContext() {
  static LegacyWindow* window = nullptr;
  if (window) return true;
  if (!glfwInit()) return false;
  window = new LegacyWindow();
  if (!window->open(kWidth, kHeight, /*visible=*/false)) return false;
  glewExperimental = GL_TRUE;
  if (glewInit() == GLEW_ERROR_GL_VERSION_10_ONLY) return false;
  glViewport(0, 0, kWidth, kHeight);
  return true;
}

std::unique_ptr<Application> startApplication(benchmark::State& state, PathVariant variant) {
  if (!makeContext()) {
    state.SkipWithError("no GL context");
    return nullptr;
  }
  std::filesystem::current_path(XMASTRACE_RUN_DIR);
  // The start-up statistics would clutter the benchmark table.
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  const int devnull = open("/dev/null", O_WRONLY);
  dup2(devnull, STDOUT_FILENO);
  close(devnull);
  auto app = std::make_unique<Application>(kWidth, kHeight, variant);
  std::fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  if (app->startupStatus() != kStatusOk) {
    state.SkipWithError("start-up failed");
    return nullptr;
  }
  return app;
}

// Seconds of GPU time the passes issued by `run` took, by a timer query.
// The wall time until they finished is added to `wallSeconds`: a software
// renderer may not time its rasteriser threads in the query.
template <typename Run>
double gpuSeconds(GLuint query, double& wallSeconds, Run run) {
  const auto start = std::chrono::steady_clock::now();
  glBeginQuery(GL_TIME_ELAPSED, query);
  run();
  glEndQuery(GL_TIME_ELAPSED);
  GLuint64 nanoseconds = 0;
  glGetQueryObjectui64v(query, GL_QUERY_RESULT, &nanoseconds);
  glFinish();
  wallSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return static_cast<double>(nanoseconds) * 1e-9;
}

void reportWallTime(benchmark::State& state, double wallSeconds) {
  state.counters["wall_ms"] = benchmark::Counter(
      wallSeconds * 1e3 / static_cast<double>(state.iterations()));
}

void primaryPassTime(benchmark::State& state, PathVariant variant) {
  auto app = startApplication(state, variant);
  if (!app) return;
  GLuint query = 0;
  glGenQueries(1, &query);
  double wallSeconds = 0.0;
  for (auto _ : state) {
    const FrameResources resources = app->frameResources();
    const FrameView view = app->frameView();
    state.SetIterationTime(gpuSeconds(query, wallSeconds, [&] { primaryPass(resources, view); }));
  }
  reportWallTime(state, wallSeconds);
  glDeleteQueries(1, &query);
}

void pathTraceSampleTime(benchmark::State& state, PathVariant variant) {
  auto app = startApplication(state, variant);
  if (!app) return;
  app->draw();  // the primary pass fills the hit buffers the samples start from
  GLuint query = 0;
  glGenQueries(1, &query);
  double wallSeconds = 0.0;
  for (auto _ : state) {
    const FrameResources resources = app->frameResources();
    const FrameView view = app->frameView();
    SamplingSchedule& sampling = app->sampling;
    state.SetIterationTime(gpuSeconds(query, wallSeconds, [&] {
      pathTracePass(resources, view, sampling.randomPing, sampling.sampleCount == 0);
    }));
    sampling.pathTracePassDone();
  }
  reportWallTime(state, wallSeconds);
  glDeleteQueries(1, &query);
}

}  // namespace

BENCHMARK_CAPTURE(primaryPassTime, two_bounce, PathVariant::TwoBounce)
    ->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK_CAPTURE(pathTraceSampleTime, two_bounce, PathVariant::TwoBounce)
    ->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK_CAPTURE(primaryPassTime, one_bounce, PathVariant::OneBounce)
    ->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK_CAPTURE(pathTraceSampleTime, one_bounce, PathVariant::OneBounce)
    ->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.5);
