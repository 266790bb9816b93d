#pragma once

#include <array>

#include "render/Sampling.h"

// Keeps each frame within a time budget on any GPU. At rest a pass is drawn
// in bands of rows over several frames, each band as large as the measured
// frame times allow; while the camera moves the picture is drawn whole at a
// lower resolution, chosen the same way. Both follow a closed loop on the
// interval between frames, so nothing here needs a GPU timer.

// 40 ms: 25 frames a second while dragging, so the picture follows the
// finger, with the browser's own per-frame cost (about 2 to 4 ms on a slow
// device) a tenth or less of the frame, so tiles lose little throughput. A
// 60 Hz display rounds frame intervals to 33 or 50 ms around it.
constexpr int kDefaultFrameBudgetMs = 40;
constexpr int kMaxFrameBudgetMs = 1000;

// Start values, before any frame was measured: a sixteenth of a 1024x1024
// pass, and half of each side while moving.
constexpr double kFirstTilePixels = 65536.0;
constexpr double kFirstPreviewScale = 0.5;
// The passes that finish a sample (the sum, the noise, the history, the
// denoiser) cost a small part of a path sample per pixel: they start with
// a frame's worth of one of the denoiser's filter passes over a 1024x1024
// canvas.
constexpr double kFirstFinishingPixels = 1 << 20;
// Bounds that no measurement moves them past. A band of 4096 pixels keeps a
// sample moving on the slowest GPU; an eighth of each side still shows
// where the camera points.
constexpr double kMinTilePixels = 4096.0;
constexpr double kMaxTilePixels = 1 << 26;
constexpr double kMinPreviewScale = 0.125;
// On a large canvas an eighth of each side is still many pixels: 46,000 on
// a phone's 1170x2532, 40 ms of Mesa llvmpipe before anything is shown. A
// slow GPU may take a moving picture down to this many pixels instead.
constexpr double kMinPreviewPixels = 16384.0;
// Nor does a pass take more bands than this: every frame that draws costs
// the browser a fixed time of its own (measured: 20 to 30 ms for a 2-megapixel
// canvas on Mesa llvmpipe when the machine is busy), and bands much smaller
// than that cost would spend the frames on it instead of on samples.
constexpr int kMostBandsPerPass = 64;
// One frame changes the work by at most these factors: a single odd
// interval (a garbage collection, a busy machine) neither halves the
// picture nor lets a tile run many frames long.
constexpr double kShrinkLimit = 0.5;
constexpr double kGrowLimit = 1.5;
// A frame's interval shows the GPU's work of a frame or more before it (a
// browser keeps frames in flight), so a frame that corrected the whole way
// would overshoot: on Mesa llvmpipe the tour's picture swung between a
// seventh and seven tenths of each side, every second. Each frame corrects
// this share of the way, in proportion.
constexpr double kCorrectionShare = 1.0 / 3.0;
// An interval this long is a paused, hidden or throttled page, not the cost
// of the work drawn, and teaches nothing.
constexpr double kLongestMeasuredMs = 2000.0;

// Per pixel, a path-traced moving picture costs about this many times a
// band of a path sample: its sample, and the denoiser's passes drawn whole
// at its size (measured on Mesa llvmpipe).
constexpr double kPreviewCostPerBandPixel = 2.5;

// Frames without a restart before full resolution takes over from the
// moving picture: pointer events come at their own pace, and a drag's
// frames should not be taken by bands of a picture about to be dropped.
constexpr int kQuietFramesBeforeTiles = 2;

// A pass's rows are timed in this many bins of its height, each learning
// what its pixels cost beside the pass's mean: on Mesa llvmpipe a band of a
// path sample across the middle of the room (the tree, the gifts, their
// reflections) cost ten times one of the same size across the ceiling, and
// bands sized by the mean ran to 150 ms where the budget was 40.
constexpr int kRowCostBins = 32;
// Each band moves its bins' weights this share of the way (in proportion)
// to what its time says, within these bounds.
constexpr double kRowCostShare = 0.5;
constexpr double kMinRowWeight = 1.0 / 16.0;
constexpr double kMaxRowWeight = 16.0;

using RowWeights = std::array<double, kRowCostBins>;
constexpr RowWeights uniformRowWeights() {
  RowWeights weights{};
  for (double& weight : weights) weight = 1.0;
  return weights;
}

// Rows [first, first + count) of a pass.
struct TileRows {
  int first = 0;
  int count = 0;
};

// What one frame drew.
enum class FrameWorkKind { None, Whole, Preview, Tile, Finishing };

struct FrameWork {
  FrameWorkKind kind = FrameWorkKind::None;
  FramePass pass = FramePass::Rest;  // of a tile
  // Pixels the tile or preview covered. A tile counts each row's pixels at
  // its bin's weight; a finishing frame counts its pixels at their steps'
  // cost, in pixels of a denoiser filter pass.
  double pixels = 0.0;
  bool shown = false;  // the window got a new picture
  TileRows rows;       // a tile's, of a pass passHeight rows high
  int passHeight = 0;  // 0: the frame's time says nothing of its rows
};

struct FrameBudget {
  int budgetMs = 0;  // 0: every frame draws a whole pass, as the desktop does
  // Pixels a band may cover, for primary passes and path samples apart:
  // a path sample costs several times as much per pixel. Counted at the
  // rows' weights, which each kind of pass learns apart too.
  double tilePixels[2] = {kFirstTilePixels, kFirstTilePixels};
  RowWeights rowWeights[2] = {uniformRowWeights(), uniformRowWeights()};
  double previewScale = kFirstPreviewScale;  // share of each side
  double leastPreviewScale = kMinPreviewScale;  // of the canvas drawn now
  bool bandsTimed = false;  // a band of a path sample taught tilePixels[1]
  // What of the passes that finish a sample one frame may draw, all of
  // its bands together, in pixels of a denoiser filter pass.
  double finishingPixels = kFirstFinishingPixels;

  bool tiled() const { return budgetMs > 0; }
};

// Learns from what `work` took, in milliseconds: a moving picture's
// interval to the next frame, a band's time on the GPU as its fence showed
// it. A time that is no number, not positive or past kLongestMeasuredMs (a
// lost measurement, a background tab) changes nothing.
void learnFrameTime(FrameBudget& budget, const FrameWork& work, double intervalMs);

// The pixels of `rows` of a width x height pass, each row's at its weight.
double bandPixels(const FrameBudget& budget, FramePass pass, int width, int height, TileRows rows);

// The next band of a width x height pass whose rows below `nextRow` are
// drawn: tilePixels of it at the rows' weights, at least one row and
// 1/kMostBandsPerPass of the pass, never past the top.
TileRows nextTile(const FrameBudget& budget, FramePass pass, int width, int height, int nextRow);

// The next band of a width x height pass that finishes a sample, with
// `pixels` of the frame's allowance left; as nextTile otherwise.
TileRows nextFinishingBand(double pixels, int width, int height, int nextRow);

// The smallest share of each side a moving picture of a width x height
// canvas may take: an eighth, or kMinPreviewPixels where that is fewer.
double leastPreviewScale(int width, int height);

// The first moving picture of a drag covers no more than the bands, timed
// at rest, say fits the budget: the scale learnt before may come from the
// start-up's first picture, which a phone's canvas drew at 0.3 of each side
// where a drag fits 0.07, and a drag then waited a third of a second for it.
void fitPreviewToBands(FrameBudget& budget, int width, int height);

// A side of the moving picture: at least one pixel, at most `side`.
int previewSide(const FrameBudget& budget, int side);
