#include "render_tool/StillRenderer.h"

#include <cstdio>
#include <optional>
#include <ostream>
#include <sstream>

#include "app/Application.h"
#include "app/FrameLoop.h"
#include "app/KeyState.h"
#include "app/MouseState.h"
#include "render/DisplayImage.h"
#include "render/PassTimer.h"

namespace {

constexpr int kProgressBarWidth = 40;

void frame(Application& app, KeyState& keys, MouseState& mouse, PassTimer* timer,
           StillTimings* timings) {
  app.update(kFrameStep, keys, mouse);
  const bool primary = app.sampling.nextPass() == FramePass::Primary;
  if (timer && timings) {
    const GlWorkTime spent = timer->time([&app] { app.draw(); });
    PassTotals& totals = primary ? timings->primary : timings->path;
    ++totals.count;
    totals.gpuSeconds += spent.gpuSeconds;
    totals.wallSeconds += spent.wallSeconds;
  } else {
    app.draw();
  }
  keys.endFrame();
  mouse.endFrame();
}

void showProgress(std::ostream& progress, int done, int total) {
  progress << '\r' << progressBar(done, total, kProgressBarWidth) << std::flush;
}

void appendLine(std::ostringstream& out, const char* name, const PassTotals& totals,
                double raysPerPass) {
  if (totals.count == 0) return;
  const double gpuMs = totals.gpuSeconds * 1e3 / totals.count;
  const double wallMs = totals.wallSeconds * 1e3 / totals.count;
  char line[256];
  std::snprintf(line, sizeof line,
                "%s: %d x, %.3f ms GL timer, %.3f ms wall, %.2f Mrays/s (timer), "
                "%.2f Mrays/s (wall)\n",
                name, totals.count, gpuMs, wallMs,
                gpuMs > 0.0 ? raysPerPass / (gpuMs * 1e3) : 0.0,
                wallMs > 0.0 ? raysPerPass / (wallMs * 1e3) : 0.0);
  out << line;
}

double millisecondsPerPass(const PassTotals& totals, double PassTotals::*seconds) {
  return totals.count > 0 ? totals.*seconds * 1e3 / totals.count : 0.0;
}

// Work that casts no rays of its own, measured against `whole`.
void appendShareLine(std::ostringstream& out, const char* name, const PassTotals& totals,
                     const PassTotals& whole) {
  if (totals.count == 0) return;
  const double gpuMs = millisecondsPerPass(totals, &PassTotals::gpuSeconds);
  const double wallMs = millisecondsPerPass(totals, &PassTotals::wallSeconds);
  const double wholeWallMs = millisecondsPerPass(whole, &PassTotals::wallSeconds);
  char line[256];
  std::snprintf(line, sizeof line, "%s: %d x, %.3f ms GL timer, %.3f ms wall", name,
                totals.count, gpuMs, wallMs);
  out << line;
  if (wholeWallMs > 0.0) {
    std::snprintf(line, sizeof line, ", %.1f%% of a path sample (wall)",
                  100.0 * wallMs / wholeWallMs);
    out << line;
  }
  out << '\n';
}

}  // namespace

bool renderStillFrames(Application& app, const StillOptions& options, std::ostream& progress,
                       StillTimings* timings) {
  KeyState keys;
  MouseState mouse(static_cast<uint32_t>(app.width), static_cast<uint32_t>(app.height));
  std::optional<PassTimer> timer;
  if (timings) timer.emplace();
  PassTimer* frameTimer = timer ? &*timer : nullptr;
  app.displayMode = displayModeFor(options.view);
  app.denoising = options.denoise;
  app.denoiseEveryFrame = false;
  if (options.view != StillView::Converged) {
    // As after a camera move: the next frame casts primary rays and shows
    // the hit buffer, whatever was sampled before.
    app.sampling.restart();
    frame(app, keys, mouse, frameTimer, timings);
    return true;
  }
  // One frame in every re-jitter period adds no sample; anything slower
  // means the sampling keeps restarting and would never finish.
  const long long frameLimit = 2LL * options.samples + 2LL * kRejitterPeriod;
  showProgress(progress, 0, options.samples);
  for (long long frames = 0; app.sampling.sampleCount < options.samples; ++frames) {
    if (frames >= frameLimit) {
      progress << "\nthe sampling keeps restarting; stopped at " << app.sampling.sampleCount
               << " samples\n";
      return false;
    }
    const int before = app.sampling.sampleCount;
    frame(app, keys, mouse, frameTimer, timings);
    if (app.sampling.sampleCount != before)
      showProgress(progress, app.sampling.sampleCount, options.samples);
  }
  progress << '\n';
  return true;
}

void timeDenoising(Application& app, int runs, StillTimings& timings) {
  PassTimer timer;
  for (int run = 0; run < runs; ++run) {
    const GlWorkTime spent = timer.time([&app] { app.denoisedPicture(); });
    ++timings.denoise.count;
    timings.denoise.gpuSeconds += spent.gpuSeconds;
    timings.denoise.wallSeconds += spent.wallSeconds;
  }
}

double primaryRays(int width, int height) {
  return static_cast<double>(width) * static_cast<double>(height);
}

double pathSampleRays(int width, int height, PathVariant variant) {
  const int bounces = variant == PathVariant::TwoBounce ? 2 : 1;
  return primaryRays(width, height) * bounces;
}

std::string formatStillTimings(const StillTimings& timings, int width, int height,
                               PathVariant variant) {
  std::ostringstream out;
  appendLine(out, "primary pass", timings.primary, primaryRays(width, height));
  appendLine(out, "path sample", timings.path, pathSampleRays(width, height, variant));
  appendShareLine(out, "denoising", timings.denoise, timings.path);
  return out.str();
}
