#pragma once

#include <iosfwd>
#include <string>

#include "render/PathVariant.h"
#include "render/PngImage.h"
#include "render_tool/StillOptions.h"
// stillImage(app): what the window shows after those frames.
#include "render_tool/VideoFrames.h"

class Application;

// Time spent in the frames of one kind.
struct PassTotals {
  int count = 0;
  double gpuSeconds = 0.0;
  double wallSeconds = 0.0;
};

struct StillTimings {
  PassTotals primary;
  PassTotals path;
  PassTotals denoise;
};

// Runs frames as the demo's loop does, with no input: for the converged
// view until `options.samples` path-traced samples are in the sum, for a
// primary view the single frame that shows it. A bar on `progress` follows
// the samples. With `timings`, every frame is timed whole (its display
// included) and counted under the pass it ran.
// Returns false, after saying so on `progress`, when the samples never
// arrive.
bool renderStillFrames(Application& app, const StillOptions& options, std::ostream& progress,
                       StillTimings* timings);

// Times `runs` denoisings of the current average into timings.denoise.
void timeDenoising(Application& app, int runs, StillTimings& timings);

// Rays a pass casts, for the Mrays/s figures: one per pixel for a primary
// pass, one per bounce and pixel for a path sample (the most a path traces).
double primaryRays(int width, int height);
double pathSampleRays(int width, int height, PathVariant variant);

// "primary pass: ..." and "path sample: ..." lines with milliseconds per pass
// from the timer queries and the wall clock, and Mrays/s from both; then a
// "denoising: ..." line with its share of a path sample. Kinds that never
// ran are left out.
std::string formatStillTimings(const StillTimings& timings, int width, int height,
                               PathVariant variant);
