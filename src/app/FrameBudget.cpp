#include "app/FrameBudget.h"

#include <algorithm>
#include <cmath>

namespace {

int passIndex(FramePass pass) { return pass == FramePass::Primary ? 0 : 1; }

// A band that fit the budget may grow towards what the interval says would
// fit, one over it shrinks: a short last band of a pass, drawn quickly, says
// nothing about a whole one and leaves the size alone.
double nextTilePixels(double tile, double drawn, double factor) {
  const double wanted = drawn * factor;
  const double next = factor >= 1.0 ? std::max(tile, std::min(wanted, tile * kGrowLimit))
                                    : std::max(std::min(tile, wanted), tile * kShrinkLimit);
  return std::clamp(next, kMinTilePixels, kMaxTilePixels);
}

// The moving picture is drawn whole at the current scale, so the interval
// speaks for that scale; pixels go with the square of a side.
double nextPreviewScale(double scale, double factor, double least) {
  const double next = scale * std::clamp(std::sqrt(factor), kShrinkLimit, kGrowLimit);
  return std::clamp(next, least, 1.0);
}

double previewFloor(const FrameBudget& budget) {
  return std::clamp(budget.leastPreviewScale, 0.0, kMinPreviewScale);
}

int rowBin(int row, int height) {
  const long long bin = static_cast<long long>(row) * kRowCostBins / std::max(height, 1);
  return static_cast<int>(std::clamp(bin, 0LL, static_cast<long long>(kRowCostBins - 1)));
}

// A band that took longer than its weighted pixels said (at the pace the
// band was sized for) makes its rows dearer, the others cheaper: the
// weights keep a mean of 1, so that tilePixels keeps the pass's pace.
void learnRowWeights(RowWeights& weights, const FrameWork& work, double intervalMs, double expectedMs) {
  if (work.rows.count <= 0 || work.passHeight <= 0 || !(expectedMs > 0.0)) return;
  const double change = std::clamp(std::pow(intervalMs / expectedMs, kRowCostShare), kShrinkLimit, 1.0 / kShrinkLimit);
  const int last = rowBin(work.rows.first + work.rows.count - 1, work.passHeight);
  for (int bin = rowBin(work.rows.first, work.passHeight); bin <= last; ++bin) weights[bin] *= change;
  double sum = 0.0;
  for (const double weight : weights) sum += weight;
  for (double& weight : weights) weight = std::clamp(weight * kRowCostBins / sum, kMinRowWeight, kMaxRowWeight);
}

}  // namespace

void learnFrameTime(FrameBudget& budget, const FrameWork& work, double intervalMs) {
  if (!budget.tiled() || !(intervalMs > 0.0) || intervalMs > kLongestMeasuredMs) return;
  if (!(work.pixels > 0.0)) return;
  const double factor = std::pow(budget.budgetMs / intervalMs, kCorrectionShare);
  if (work.kind == FrameWorkKind::Tile) {
    double& tile = budget.tilePixels[passIndex(work.pass)];
    learnRowWeights(budget.rowWeights[passIndex(work.pass)], work, intervalMs,
                    budget.budgetMs * work.pixels / tile);
    tile = nextTilePixels(tile, work.pixels, factor);
    if (work.pass == FramePass::PathTrace) budget.bandsTimed = true;
  } else if (work.kind == FrameWorkKind::Finishing) {
    budget.finishingPixels = nextTilePixels(budget.finishingPixels, work.pixels, factor);
  } else if (work.kind == FrameWorkKind::Preview) {
    budget.previewScale = nextPreviewScale(budget.previewScale, factor, previewFloor(budget));
  }
}

namespace {

TileRows rowsOf(double pixels, int width, int height, int nextRow) {
  TileRows rows;
  rows.first = std::clamp(nextRow, 0, std::max(height, 0));
  const double passPixels = static_cast<double>(std::max(width, 0)) * std::max(height, 0);
  const double leastPixels = passPixels / kMostBandsPerPass;
  const double wanted = width > 0 ? std::ceil(std::max(pixels, leastPixels) / width) : 1.0;
  const int left = height - rows.first;
  rows.count = static_cast<int>(std::clamp(wanted, 1.0, static_cast<double>(std::max(left, 1))));
  if (left <= 0) rows.count = 0;
  return rows;
}

// Canvas sizes come from the page and may read 0 while it lays out.
double canvasPixels(int width, int height) {
  return static_cast<double>(std::max(width, 1)) * std::max(height, 1);
}

}  // namespace

double bandPixels(const FrameBudget& budget, FramePass pass, int width, int height, TileRows rows) {
  const RowWeights& weights = budget.rowWeights[passIndex(pass)];
  double pixels = 0.0;
  for (int row = rows.first; row < rows.first + rows.count; ++row)
    pixels += weights[rowBin(row, height)] * std::max(width, 0);
  return pixels;
}

TileRows nextTile(const FrameBudget& budget, FramePass pass, int width, int height, int nextRow) {
  // The fewest rows, then more while their weighted pixels fall short.
  TileRows rows = rowsOf(0.0, width, height, nextRow);
  if (width <= 0) return rows;
  const RowWeights& weights = budget.rowWeights[passIndex(pass)];
  double pixels = bandPixels(budget, pass, width, height, rows);
  const int left = height - rows.first;
  while (rows.count < left && pixels < budget.tilePixels[passIndex(pass)]) {
    pixels += weights[rowBin(rows.first + rows.count, height)] * width;
    ++rows.count;
  }
  return rows;
}

TileRows nextFinishingBand(double pixels, int width, int height, int nextRow) {
  return rowsOf(pixels, width, height, nextRow);
}

double leastPreviewScale(int width, int height) {
  return std::min(kMinPreviewScale, std::sqrt(kMinPreviewPixels / canvasPixels(width, height)));
}

void fitPreviewToBands(FrameBudget& budget, int width, int height) {
  if (!budget.bandsTimed) return;
  const double bandPixels = budget.tilePixels[passIndex(FramePass::PathTrace)];
  const double fits = std::sqrt(bandPixels / kPreviewCostPerBandPixel / canvasPixels(width, height));
  budget.previewScale = std::clamp(std::min(budget.previewScale, fits), previewFloor(budget), 1.0);
}

int previewSide(const FrameBudget& budget, int side) {
  const double scale = std::clamp(budget.previewScale, previewFloor(budget), 1.0);
  return std::clamp(static_cast<int>(std::lround(side * scale)), 1, std::max(side, 1));
}
