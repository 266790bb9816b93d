// The history's rules in time, free of GL: how much of the last picture a
// moving view may keep, and how a view at rest hands over to its own samples.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "render/TemporalHistory.h"

namespace {

// What is left of a picture after `seconds` of views that each keep at most
// the limit's weight beside their own samples.
double remainingAfter(double seconds, float frameSeconds, float samplesPerFrame) {
  const double limit = historyWeightLimit(frameSeconds, samplesPerFrame);
  const double kept = limit / (limit + samplesPerFrame);
  return std::pow(kept, seconds / frameSeconds);
}

TEST(TemporalRules, HistoryLastsTheSameTimeAtAnyFrameRate) {
  // Half a second of moving views leaves 1/e of the old picture, whether
  // the views come at 60, 30 or 5 a second, or carry 16 samples each.
  for (float frameSeconds : {1.0f / 60.0f, 1.0f / 30.0f, 0.2f}) {
    EXPECT_NEAR(remainingAfter(kHistorySeconds, frameSeconds, 1.0f), std::exp(-1.0), 1e-4)
        << frameSeconds;
    EXPECT_NEAR(remainingAfter(kHistorySeconds, frameSeconds, 16.0f), std::exp(-1.0), 1e-4);
  }
  // At 30 views a second about 14.5 single samples are kept.
  EXPECT_NEAR(historyWeightLimit(1.0f / 30.0f, 1.0f), 14.5f, 0.1f);
  // A frame time that says nothing sets no limit, and no input makes the
  // limit negative or not a number.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (float frameSeconds : {0.0f, -1.0f, nan}) {
    EXPECT_GE(historyWeightLimit(frameSeconds, 1.0f), 1.0e6f);
  }
  EXPECT_GE(historyWeightLimit(1.0e-30f, 1.0f), 1.0e6f);
  EXPECT_GE(historyWeightLimit(1.0e30f, 1.0f), 0.0f);
  EXPECT_GE(historyWeightLimit(1.0f / 30.0f, nan), 1.0e6f);
}

TEST(TemporalRules, RestingViewBecomesItsPlainAverage) {
  EXPECT_EQ(historyFade(0), 1.0f);
  float previous = 1.0f;
  for (int samples = 1; samples < kHistoryFadeSamples; ++samples) {
    const float fade = historyFade(samples);
    EXPECT_LT(fade, previous) << samples;
    EXPECT_GT(fade, 0.0f) << samples;
    previous = fade;
  }
  // From here on the shown picture is the samples' own average, exactly.
  for (int samples : {kHistoryFadeSamples, kHistoryFadeSamples + 1, 1 << 16, 1 << 30}) {
    EXPECT_EQ(historyFade(samples), 0.0f) << samples;
  }
  EXPECT_EQ(historyFade(-1), 1.0f);
}

}  // namespace
