#include "app/FrameBudget.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr double kVsyncMs = 1000.0 / 60.0;

// A device whose frames cost `overheadMs` plus `msPerPixel` for each pixel
// drawn, shown at the next vertical blank, as a browser's frame callback
// sees them.
double frameInterval(double pixels, double msPerPixel, double overheadMs) {
  const double work = overheadMs + pixels * msPerPixel;
  return std::max(1.0, std::ceil(work / kVsyncMs)) * kVsyncMs;
}

FrameWork tile(FramePass pass, double pixels) { return {FrameWorkKind::Tile, pass, pixels}; }

void expectWithinBounds(const FrameBudget& budget) {
  for (double pixels : budget.tilePixels) {
    EXPECT_GE(pixels, kMinTilePixels);
    EXPECT_LE(pixels, kMaxTilePixels);
  }
  EXPECT_GE(budget.previewScale, kMinPreviewScale);
  EXPECT_LE(budget.previewScale, 1.0);
}

}  // namespace

TEST(FrameBudget, BandsCoverEveryRowOfAPassOnce) {
  for (const auto& [width, height] : {std::pair{1, 1}, {7, 5}, {384, 256}, {1170, 2532}}) {
    for (double pixels : {kMinTilePixels, 12345.0, 1e7}) {
      FrameBudget budget;
      budget.budgetMs = kDefaultFrameBudgetMs;
      budget.tilePixels[1] = pixels;
      int row = 0, bands = 0;
      while (row < height) {
        const TileRows rows = nextTile(budget, FramePass::PathTrace, width, height, row);
        ASSERT_EQ(rows.first, row);
        ASSERT_GE(rows.count, 1);
        ASSERT_LE(rows.first + rows.count, height);
        row += rows.count;
        ++bands;
      }
      EXPECT_EQ(row, height);
      EXPECT_LE(bands, std::max(1.0, std::ceil(height / std::ceil(pixels / width))));
      EXPECT_LE(bands, kMostBandsPerPass);
      EXPECT_EQ(nextTile(budget, FramePass::PathTrace, width, height, height).count, 0);
    }
  }
}

// From a fast GPU to one a hundred times slower than a phone's, the bands,
// the moving picture and the passes that finish a sample settle where
// frames fit the budget, without giving away more than half of what would
// fit.
TEST(FrameBudget, ClosedLoopSettlesWithinTheBudget) {
  const int width = 1170, height = 2532;
  for (double msPerPixel : {1e-6, 1e-5, 1e-4, 1e-3}) {
    FrameBudget budget;
    budget.budgetMs = kDefaultFrameBudgetMs;
    int row = 0;
    std::vector<double> late;
    for (int frame = 0; frame < 300; ++frame) {
      const TileRows rows = nextTile(budget, FramePass::PathTrace, width, height, row);
      const double pixels = static_cast<double>(rows.count) * width;
      const double interval = frameInterval(pixels, msPerPixel, 2.0);
      if (frame >= 100) late.push_back(interval);
      learnFrameTime(budget, tile(FramePass::PathTrace, pixels), interval);
      row = (row + rows.count) % height;
    }
    const double fits = (kDefaultFrameBudgetMs - 2.0) / msPerPixel;
    const double slowest = *std::max_element(late.begin(), late.end());
    EXPECT_LE(slowest, 1.5 * kDefaultFrameBudgetMs) << msPerPixel;
    EXPECT_GE(budget.tilePixels[1], std::min(0.5 * fits, 1.0 * width * height)) << msPerPixel;
    EXPECT_GE(budget.tilePixels[1], kMinTilePixels);

    late.clear();
    for (int frame = 0; frame < 100; ++frame) {
      const double pixels = 1.0 * previewSide(budget, width) * previewSide(budget, height);
      const double interval = frameInterval(pixels, msPerPixel, 2.0);
      if (frame >= 50) late.push_back(interval);
      learnFrameTime(budget, {FrameWorkKind::Preview, FramePass::Primary, pixels}, interval);
    }
    const bool atBound = budget.previewScale == kMinPreviewScale || budget.previewScale == 1.0;
    if (!atBound) {
      EXPECT_LE(*std::max_element(late.begin(), late.end()), 1.5 * kDefaultFrameBudgetMs);
    }
    EXPECT_GE(budget.previewScale, std::min(1.0, 0.5 * std::sqrt(fits / (1.0 * width * height))));

    // The passes that finish a sample, a tenth of a path sample's cost per
    // pixel, in as many bands a frame as the allowance holds.
    late.clear();
    const double bands = budget.tilePixels[1];
    row = 0;
    for (int frame = 0; frame < 200; ++frame) {
      double pixels = 0.0;
      while (pixels < budget.finishingPixels) {
        const TileRows rows =
            nextFinishingBand(budget.finishingPixels - pixels, width, height, row);
        pixels += static_cast<double>(rows.count) * width;
        row = (row + rows.count) % height;
      }
      const double interval = frameInterval(pixels, msPerPixel / 10.0, 2.0);
      if (frame >= 100) late.push_back(interval);
      learnFrameTime(budget, {FrameWorkKind::Finishing, FramePass::PathTrace, pixels}, interval);
    }
    EXPECT_LE(*std::max_element(late.begin(), late.end()), 1.5 * kDefaultFrameBudgetMs) << msPerPixel;
    EXPECT_GE(budget.finishingPixels, std::min(0.5 * 10.0 * fits, kMaxTilePixels)) << msPerPixel;
    EXPECT_EQ(budget.tilePixels[1], bands) << "a finishing frame taught the bands";
  }
}

// Lost timer readings, a tab throttled or hidden for minutes and readings
// of no sense move the work by no more than a bounded step, and never out
// of its bounds; real frames bring it back.
TEST(FrameBudget, AbsurdTimingsNeitherCollapseNorExplodeTheWork) {
  FrameBudget budget;
  budget.budgetMs = kDefaultFrameBudgetMs;
  const FrameBudget before = budget;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double lost : {nan, inf, -inf, -5.0, 0.0, kLongestMeasuredMs * 2, 3.6e6}) {
    learnFrameTime(budget, tile(FramePass::PathTrace, 50000.0), lost);
    learnFrameTime(budget, {FrameWorkKind::Preview, FramePass::Primary, 50000.0}, lost);
  }
  EXPECT_EQ(budget.tilePixels[1], before.tilePixels[1]);
  EXPECT_EQ(budget.previewScale, before.previewScale);
  learnFrameTime(budget, tile(FramePass::PathTrace, nan), 20.0);
  learnFrameTime(budget, tile(FramePass::PathTrace, -1.0), 20.0);
  EXPECT_EQ(budget.tilePixels[1], before.tilePixels[1]);

  // One absurdly short reading grows the work by a bounded step only.
  learnFrameTime(budget, tile(FramePass::PathTrace, before.tilePixels[1]), 1e-300);
  EXPECT_LE(budget.tilePixels[1], before.tilePixels[1] * kGrowLimit);
  for (int frame = 0; frame < 1000; ++frame) {
    learnFrameTime(budget, tile(FramePass::PathTrace, budget.tilePixels[1]), 1e-9);
    learnFrameTime(budget, {FrameWorkKind::Preview, FramePass::Primary, 1.0}, 1e-9);
    expectWithinBounds(budget);
  }
  // A throttled tab: a frame a second whatever was drawn.
  for (int frame = 0; frame < 1000; ++frame) {
    learnFrameTime(budget, tile(FramePass::Primary, budget.tilePixels[0]), 1000.0);
    learnFrameTime(budget, {FrameWorkKind::Preview, FramePass::Primary, 1.0}, 1000.0);
    expectWithinBounds(budget);
  }
  EXPECT_EQ(budget.tilePixels[0], kMinTilePixels);
  EXPECT_EQ(budget.previewScale, kMinPreviewScale);
  for (int frame = 0; frame < 20; ++frame) {
    learnFrameTime(budget, tile(FramePass::Primary, budget.tilePixels[0]), kVsyncMs);
    learnFrameTime(budget, {FrameWorkKind::Preview, FramePass::Primary, 1.0}, kVsyncMs);
  }
  EXPECT_GT(budget.tilePixels[0], 100 * kMinTilePixels);
  EXPECT_EQ(budget.previewScale, 1.0);

  // Without a budget nothing is learnt: frames draw whole passes.
  FrameBudget whole;
  learnFrameTime(whole, tile(FramePass::PathTrace, 1.0), 1000.0);
  EXPECT_EQ(whole.tilePixels[1], kFirstTilePixels);
  EXPECT_EQ(previewSide(whole, 0), 1);
  EXPECT_EQ(previewSide(whole, 1), 1);
}

// The moving picture is drawn whole, so its cost goes with its pixels: a
// frame that took twice the budget takes its pixels a share of the way
// towards half, one that took half towards double, each side moving by the
// square root of that.
TEST(FrameBudget, APreviewFrameScalesThePixelsByTheBudgetsShare) {
  const int width = 1170, height = 2532;
  for (const double share : {2.0, 0.5}) {
    FrameBudget budget;
    budget.budgetMs = kDefaultFrameBudgetMs;
    const double before = 1.0 * previewSide(budget, width) * previewSide(budget, height);
    learnFrameTime(budget, {FrameWorkKind::Preview, FramePass::Primary, before},
                   share * kDefaultFrameBudgetMs);
    const double after = 1.0 * previewSide(budget, width) * previewSide(budget, height);
    EXPECT_NEAR(after / before, std::pow(1.0 / share, kCorrectionShare), 0.01) << share;
  }
}

// On a GPU too slow for an eighth of each side, a phone's large canvas
// takes its moving picture down to a set number of pixels, where a small
// canvas stops at the eighth, which is fewer pixels already.
TEST(FrameBudget, ASlowGpuTakesALargeCanvassMovingPictureDownToItsLeastPixels) {
  for (const auto& [width, height] : {std::pair{1170, 2532}, {768, 512}}) {
    FrameBudget budget;
    budget.budgetMs = kDefaultFrameBudgetMs;
    budget.leastPreviewScale = leastPreviewScale(width, height);
    for (int frame = 0; frame < 100; ++frame) {
      const double pixels = 1.0 * previewSide(budget, width) * previewSide(budget, height);
      learnFrameTime(budget, {FrameWorkKind::Preview, FramePass::PathTrace, pixels}, 400.0);
    }
    const double least = 1.0 * previewSide(budget, width) * previewSide(budget, height);
    const double eighth = (width / 8.0) * (height / 8.0);
    EXPECT_NEAR(least, std::min(eighth, kMinPreviewPixels), 0.02 * least) << width;
  }
}

// A drag's first picture fits what the bands at rest say the budget holds,
// not the larger scale the start-up's picture left; bands on a fast GPU
// leave the learnt scale as it is, and before any band nothing is known.
TEST(FrameBudget, ADragsFirstPictureFitsTheBandsTimedAtRest) {
  const int width = 1170, height = 2532;
  for (const double msPerPixel : {1e-3, 1e-6}) {
    FrameBudget budget;
    budget.budgetMs = kDefaultFrameBudgetMs;
    budget.leastPreviewScale = leastPreviewScale(width, height);
    fitPreviewToBands(budget, width, height);
    EXPECT_EQ(budget.previewScale, kFirstPreviewScale);
    for (int frame = 0; frame < 100; ++frame) {
      const double pixels = budget.tilePixels[1];
      learnFrameTime(budget, tile(FramePass::PathTrace, pixels), frameInterval(pixels, msPerPixel, 2.0));
    }
    fitPreviewToBands(budget, width, height);
    const double pixels = 1.0 * previewSide(budget, width) * previewSide(budget, height);
    if (msPerPixel > 1e-4) {
      EXPECT_LE(pixels, std::max(budget.tilePixels[1] / kPreviewCostPerBandPixel, kMinPreviewPixels) * 1.02);
    } else {
      EXPECT_EQ(budget.previewScale, kFirstPreviewScale) << "a fast GPU's picture grew or shrank";
    }
  }
}

// A browser keeps frames in flight: here each interval shows the work of
// the frame three before it. The moving picture and the bands still settle
// near what fits rather than swinging between a small and a large one.
TEST(FrameBudget, AGpuFramesBehindDoesNotSetTheWorkSwinging) {
  constexpr int kLag = 3;
  constexpr int kWidth = 768, kHeight = 512;
  const double msPerPixel = 50.0 / (0.2 * kWidth * kHeight);  // fits about 0.45 of each side
  const double overheadMs = 30.0;
  FrameBudget budget;
  budget.budgetMs = 80;
  std::vector<double> drawn(kLag, 0.25 * kWidth * kHeight);
  std::vector<double> scales;
  for (int frame = 0; frame < 200; ++frame) {
    const double pixels = 1.0 * previewSide(budget, kWidth) * previewSide(budget, kHeight);
    drawn.push_back(pixels);
    const double interval = frameInterval(drawn[drawn.size() - 1 - kLag], msPerPixel, overheadMs);
    learnFrameTime(budget, {FrameWorkKind::Preview, FramePass::PathTrace, pixels}, interval);
    if (frame >= 100) scales.push_back(budget.previewScale);
  }
  const auto [least, most] = std::minmax_element(scales.begin(), scales.end());
  EXPECT_LT(*most / *least, 1.4) << *least << " to " << *most;

  std::vector<double> bands(kLag, kFirstTilePixels), late;
  for (int frame = 0; frame < 300; ++frame) {
    const double pixels = budget.tilePixels[1];
    bands.push_back(pixels);
    const double interval = frameInterval(bands[bands.size() - 1 - kLag], msPerPixel, overheadMs);
    learnFrameTime(budget, tile(FramePass::PathTrace, pixels), interval);
    if (frame >= 150) late.push_back(budget.tilePixels[1]);
  }
  const auto [fewest, largest] = std::minmax_element(late.begin(), late.end());
  EXPECT_LT(*largest / *fewest, 2.0) << *fewest << " to " << *largest;
}

// Rows that cost ten times the rest, as a path sample's do across the
// room's middle, learn their weight: after a few passes every band fits
// the budget, where bands sized by the pass's mean ran four times past it.
TEST(FrameBudget, BandsLearnWhichRowsAreDear) {
  const int width = 780, height = 1688;
  const auto rowMs = [&](int row) { return (row > height / 3 && row < height / 2 ? 10.0 : 1.0) * 0.08; };
  FrameBudget budget;
  budget.budgetMs = kDefaultFrameBudgetMs;
  double longest = 0.0, shortest = 1e9;
  for (int pass = 0; pass < 8; ++pass) {
    for (int row = 0; row < height;) {
      const TileRows rows = nextTile(budget, FramePass::PathTrace, width, height, row);
      double ms = 0.0;
      for (int r = rows.first; r < rows.first + rows.count; ++r) ms += rowMs(r);
      FrameWork work = tile(FramePass::PathTrace, bandPixels(budget, FramePass::PathTrace, width, height, rows));
      work.rows = rows;
      work.passHeight = height;
      learnFrameTime(budget, work, ms);
      row += rows.count;
      if (pass < 5 || row == height) continue;  // the last band is what is left
      longest = std::max(longest, ms);
      shortest = std::min(shortest, ms);
    }
  }
  EXPECT_LE(longest, 1.25 * kDefaultFrameBudgetMs);
  EXPECT_GE(shortest, 0.6 * kDefaultFrameBudgetMs);
  expectWithinBounds(budget);
}

