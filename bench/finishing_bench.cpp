// What a pixel of each step that finishes a sample drawn in bands costs,
// beside a pixel of one of the denoiser's filter passes, as the page draws
// them at rest with the denoiser on and samples carried from view to view.
// The frame budget shares a frame's allowance among the steps by these
// costs (finishingStepCost): each counter is the measured cost, and
// `<step>_table` the one the budget assumes.
#include <benchmark/benchmark.h>

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "ExitStatus.h"
#include "SilencedStdout.h"
#include "app/Application.h"
#include "app/FrameBudget.h"
#include "platform/desktop/LegacyWindow.h"

namespace {

constexpr int kWidth = 768;
constexpr int kHeight = 512;
constexpr int kSamples = 8;

bool makeContext() {
  if (!glfwInit()) return false;
  static LegacyWindow window;
  if (!window.open(kWidth, kHeight, /*visible=*/false)) return false;
  if (!loadGlEntryPoints()) return false;
  glViewport(0, 0, kWidth, kHeight);
  return true;
}

struct StepTimes {
  double seconds = 0.0;
  int passes = 0;
  double table = 0.0;
};

std::string stepName(FinishingStep step, int denoisePass) {
  switch (step) {
    case FinishingStep::AddSample:
      return "add_sample";
    case FinishingStep::GatherNoise:
      return "gather_noise";
    case FinishingStep::Reproject:
      return "reproject";
    case FinishingStep::KeepGeometry:
      return "keep_geometry";
    case FinishingStep::Resolve:
      return "resolve";
    case FinishingStep::Denoise:
      return denoisePass == 0 ? "noise_estimate" : denoisePass <= kDenoisePassCount ? "filter" : "recentre";
    case FinishingStep::Show:
      return "show_smoothed";
  }
  return "?";
}

// Moves the eye a little, as a slow drag does, so that the next sample
// reprojects the last picture.
void nudgeCamera(Application& app) {
  Vector3 eye = app.camera.eye;
  eye.x += 0.02f;
  const Vector3 ahead = app.camera.forward;
  app.camera.lookAt(eye, {eye.x + ahead.x, eye.y + ahead.y, eye.z + ahead.z}, app.camera.up);
  app.cameraMoved();
}

void finishingSteps(benchmark::State& state) {
  if (!makeContext()) {
    state.SkipWithError("no GL context");
    return;
  }
  std::filesystem::current_path(XMASTRACE_RUN_DIR);
  std::unique_ptr<Application> app;
  {
    SilencedStdout silence;
    app = std::make_unique<Application>(kWidth, kHeight, PathVariant::TwoBounce, /*withMusic=*/false);
  }
  if (app->startupStatus() != kStatusOk) {
    state.SkipWithError("start-up failed");
    return;
  }
  app->reuseSamples = true;
  app->denoising = true;
  constexpr double kPixels = static_cast<double>(kWidth) * kHeight;
  FrameBudget budget;
  budget.budgetMs = kDefaultFrameBudgetMs;
  budget.tilePixels[0] = budget.tilePixels[1] = kPixels;
  std::map<std::string, StepTimes> steps;
  for (auto _ : state) {
    for (int sample = 0; sample < kSamples; ++sample) {
      // Every other sample comes from a moved view, which reprojects.
      if (sample % 2 == 0) nudgeCamera(*app);
      bool finished = false;
      while (!finished) {
        // Each frame's allowance is one whole step, so it draws that step alone.
        const FinishingSample& finishing = app->tiled.finishing;
        const bool finishes = finishing.active;
        const FinishingStep step = finishing.step;
        const int denoisePass = finishing.denoisePass;
        const bool smoothed = finishing.denoised && app->showsHistory();
        const double table = finishingStepCost(step, denoisePass, smoothed);
        budget.finishingPixels = table * kPixels;
        glFinish();
        const auto start = std::chrono::steady_clock::now();
        const FrameWork work = app->drawWithin(budget);
        glFinish();
        if (!finishes) continue;
        finished = work.shown;
        if (step == FinishingStep::Show && !smoothed) continue;
        StepTimes& times = steps[stepName(step, denoisePass)];
        times.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ++times.passes;
        times.table = table;
      }
    }
  }
  const StepTimes& filter = steps["filter"];
  for (const auto& [name, times] : steps) {
    state.counters[name] = (times.seconds / times.passes) / (filter.seconds / filter.passes);
    state.counters[name + "_table"] = times.table;
  }
  state.SetLabel(reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
}

}  // namespace

BENCHMARK(finishingSteps)->Name("finishing/steps")->Iterations(1)->Unit(benchmark::kMillisecond);
