#include "render/Sampling.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

// Scripted sources for the jitter functions: the grid draws r1..r4 per pair.
int gDraw = 0;
int fullPullSource() { return gDraw++ % 4 < 2 ? (gDraw * 7919) % 32768 : kJitterRandMax; }
int noPullSource() { return gDraw++ % 4 < 2 ? (gDraw * 7919) % 32768 : 0; }

std::vector<std::pair<float, float>> sortedPairs(const std::vector<float>& offsets) {
  std::vector<std::pair<float, float>> pairs;
  for (size_t i = 0; i + 1 < offsets.size(); i += 2) pairs.emplace_back(offsets[i], offsets[i + 1]);
  std::sort(pairs.begin(), pairs.end());
  return pairs;
}

TEST(JitterOffsets, EachPairStartsInItsOwnCellAndIsPulledTowardsTheCentre) {
  gDraw = 0;
  const std::vector<float> unpulled = jitterGrid(noPullSource);
  gDraw = 0;
  const std::vector<float> pulled = jitterGrid(fullPullSource);
  ASSERT_EQ(unpulled.size(), 72u);
  ASSERT_EQ(pulled.size(), 72u);
  const float cell = 1.0f / 6.0f;
  for (int i = 0; i < 6; ++i) {
    for (int j = 0; j < 6; ++j) {
      const int k = 2 * (6 * i + j);
      const float x = unpulled[k];
      const float y = unpulled[k + 1];
      EXPECT_GE(x, j * cell - 0.5f - 1e-6f) << i << "," << j;
      EXPECT_LE(x, (j + 1) * cell - 0.5f + 1e-6f) << i << "," << j;
      EXPECT_GE(y, i * cell - 0.5f - 1e-6f) << i << "," << j;
      EXPECT_LE(y, (i + 1) * cell - 0.5f + 1e-6f) << i << "," << j;
      // A full pull removes the whole cube: towards the centre, never past it.
      EXPECT_NEAR(pulled[k], x - x * x * x, 1e-6f);
      EXPECT_NEAR(pulled[k + 1], y - y * y * y, 1e-6f);
      EXPECT_LE(std::fabs(pulled[k]), std::fabs(x));
      EXPECT_GE(pulled[k] * x, 0.0f);
    }
  }
}

TEST(JitterOffsets, CornersOfTheGridComeFromTheExtremeDraws) {
  const std::vector<float> lowest = jitterGrid([] { return 0; });
  EXPECT_FLOAT_EQ(lowest[0], -0.5f);
  EXPECT_FLOAT_EQ(lowest[1], -0.5f);
  const std::vector<float> highest = jitterGrid([] { return kJitterRandMax; });
  // The last pair starts at (0.5, 0.5) and a full pull leaves 0.375.
  EXPECT_FLOAT_EQ(highest[70], 0.375f);
  EXPECT_FLOAT_EQ(highest[71], 0.375f);
}

TEST(JitterOffsets, ShuffleMovesWholePairs) {
  std::vector<float> offsets;
  for (int k = 0; k < 36; ++k) {
    offsets.push_back(static_cast<float>(k));
    offsets.push_back(static_cast<float>(100 + k));
  }
  const auto before = sortedPairs(offsets);
  gDraw = 0;
  shufflePairs(offsets, [] { return gDraw++ * 13; });
  EXPECT_EQ(sortedPairs(offsets), before);
  for (size_t i = 0; i < offsets.size(); i += 2) EXPECT_EQ(offsets[i + 1], offsets[i] + 100);
  EXPECT_NE(offsets[0], 0.0f);
}

TEST(JitterOffsets, ProgramOffsetsAreRepeatableShuffledGridPairs) {
  const std::vector<float> offsets = makeJitterOffsets();
  ASSERT_EQ(offsets.size(), 72u);
  EXPECT_EQ(makeJitterOffsets(), offsets);
  for (float v : offsets) {
    EXPECT_GE(v, -0.5f);
    EXPECT_LE(v, 0.5f);
  }
  std::srand(kJitterSeed);
  EXPECT_EQ(sortedPairs(offsets), sortedPairs(jitterGrid(runtimeRandom15)));
}

TEST(Xorshift, GivesMarsagliasSequence) {
  Xorshift128 generator;
  EXPECT_EQ(generator.next(), 3701687786u);
  EXPECT_EQ(generator.next(), 458299110u);
  EXPECT_EQ(generator.next(), 2500872618u);
  EXPECT_EQ(generator.next(), 3633119408u);
}

TEST(SeedBuffer, ValuesStayBelowTheShaderModuli) {
  EXPECT_EQ(seedFromOutput(0), 0.0f);
  EXPECT_EQ(seedFromOutput(0x80000000u), 2097152.0f);
  // Rounds to 2^22 in single precision unless kept below it.
  EXPECT_LT(seedFromOutput(0xFFFFFFFFu), 4194304.0f);
  EXPECT_LT(seedFromOutput(0xFFFFFFF0u), 4194304.0f);
}

TEST(SeedBuffer, TwoBounceDropsTheFirstOutputAndFillsFreshOnes) {
  const std::vector<float> seeds = makeSeedBuffer(3, 2, PathVariant::TwoBounce);
  ASSERT_EQ(seeds.size(), 24u);
  EXPECT_EQ(seeds[0], seedFromOutput(458299110u));
  EXPECT_EQ(seeds[1], seedFromOutput(2500872618u));
  EXPECT_EQ(seeds[2], seedFromOutput(3633119408u));
  EXPECT_EQ(std::count(seeds.begin(), seeds.end(), seedFromOutput(3701687786u)), 0);
  std::vector<float> sorted = seeds;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::unique(sorted.begin(), sorted.end()), sorted.end());
  for (float seed : makeSeedBuffer(64, 64, PathVariant::TwoBounce)) {
    ASSERT_GE(seed, 0.0f);
    ASSERT_LT(seed, 4194304.0f);
  }
}

TEST(SeedBuffer, OneBounceWritesTheFirstOutputEverywhere) {
  const std::vector<float> seeds = makeSeedBuffer(5, 4, PathVariant::OneBounce);
  ASSERT_EQ(seeds.size(), 80u);
  const float first = seedFromOutput(3701687786u);
  EXPECT_EQ(std::count(seeds.begin(), seeds.end(), first), 80);
  EXPECT_TRUE(makeSeedBuffer(0, 4, PathVariant::OneBounce).empty());
  EXPECT_TRUE(makeSeedBuffer(-3, 4, PathVariant::TwoBounce).empty());
}

// Runs one frame the way draw does and says which pass ran.
FramePass runFrame(SamplingSchedule& schedule) {
  const FramePass pass = schedule.nextPass();
  if (pass == FramePass::Primary) {
    schedule.primaryPassDone(72);
  } else if (pass == FramePass::PathTrace) {
    schedule.pathTracePassDone();
  }
  schedule.frameDone();
  return pass;
}

TEST(SamplingSchedule, FiftyFramesAfterARestart) {
  SamplingSchedule schedule;
  schedule.jitterIndex = 66;
  schedule.sampleCount = 17;
  schedule.frameCounter = 5;
  schedule.restart();
  EXPECT_EQ(schedule.sampleCount, -1);
  EXPECT_EQ(schedule.frameCounter, 0);

  int expectedSamples = 0;
  for (int frame = 0; frame < 50; ++frame) {
    const int pingBefore = schedule.randomPing;
    const FramePass pass = runFrame(schedule);
    const bool primary = frame % 24 == 0;
    EXPECT_EQ(pass == FramePass::Primary, primary) << frame;
    if (primary) {
      EXPECT_EQ(schedule.randomPing, pingBefore) << frame;
    } else {
      ++expectedSamples;
      EXPECT_NE(schedule.randomPing, pingBefore) << frame;
    }
    EXPECT_EQ(schedule.sampleCount, expectedSamples) << frame;
    EXPECT_EQ(schedule.frameCounter, frame + 1);
  }
  EXPECT_EQ(schedule.sampleCount, 47);
  // Three primary passes from 66: 68, 70, then the wrap to 0.
  EXPECT_EQ(schedule.jitterIndex, 0);
}

TEST(SamplingSchedule, StartsWithAPrimaryPassAndRestartsRepeatedly) {
  SamplingSchedule schedule;
  EXPECT_EQ(runFrame(schedule), FramePass::Primary);
  EXPECT_EQ(schedule.sampleCount, 0);
  EXPECT_EQ(runFrame(schedule), FramePass::PathTrace);
  EXPECT_EQ(schedule.sampleCount, 1);
  // A camera that keeps moving makes every frame a primary pass, and the
  // jitter index moves on with each of them.
  for (int frame = 0; frame < 40; ++frame) {
    schedule.restart();
    schedule.restart();
    EXPECT_EQ(runFrame(schedule), FramePass::Primary);
    EXPECT_EQ(schedule.sampleCount, 0);
  }
  EXPECT_EQ(schedule.jitterIndex, (2 + 2 * 40) % 72);
}

// Left showing the greeting for hours, the sum must not outgrow its
// precision: sampling stops at the limit, where a pixel whose samples never
// vary still averages within a third of an 8-bit level of them.
TEST(SamplingSchedule, StopsAtTheLimitWhileTheSumIsStillExactEnough) {
  for (int level = 1; level <= 100; ++level) {
    const float sample = static_cast<float>(level) / 100.0f;
    float sum = 0.0f;
    for (int n = 0; n < kSampleLimit; ++n) sum += sample;
    ASSERT_LT(std::abs(sum / kSampleLimit - sample) * 255.0f, 1.0f / 3.0f) << sample;
  }

  SamplingSchedule schedule;
  while (schedule.sampleCount < kSampleLimit) ASSERT_NE(runFrame(schedule), FramePass::Rest);
  const SamplingSchedule rested = schedule;
  for (int frame = 0; frame < 3 * kRejitterPeriod; ++frame)
    ASSERT_EQ(runFrame(schedule), FramePass::Rest) << frame;
  EXPECT_EQ(schedule.sampleCount, kSampleLimit);
  EXPECT_EQ(schedule.frameCounter, rested.frameCounter);
  EXPECT_EQ(schedule.jitterIndex, rested.jitterIndex);
  EXPECT_EQ(schedule.randomPing, rested.randomPing);
}

// A video frame rendered on its own starts from the jitter offset that a
// run through every frame before it reaches, so pieces keep the whole
// run's offsets; its seeds come from its number, frame 0's being the demo's.
TEST(VideoFrameState, JitterOfARunAndSeedsOfTheFrameNumber) {
  for (const int samples : {1, 16, 23, 24, 48, 100}) {
    SamplingSchedule run;
    for (int frame = 0; frame < 80; ++frame) {
      ASSERT_EQ(run.jitterIndex, frameJitterIndex(frame, samples, 72)) << samples << " samples, frame " << frame;
      run.restart();
      while (run.sampleCount < samples) runFrame(run);
    }
  }
  Xorshift128 demo;
  EXPECT_EQ(frameGenerator(0).next(), demo.next());
  std::vector<uint32_t> firsts;
  for (int frame = 0; frame < 2000; ++frame) firsts.push_back(frameGenerator(frame).next());
  std::sort(firsts.begin(), firsts.end());
  EXPECT_EQ(std::adjacent_find(firsts.begin(), firsts.end()), firsts.end());
  EXPECT_EQ(frameGenerator(7).next(), frameGenerator(7).next());
}

}  // namespace

// The jitter must be the same in the browser, whose runtime library's rand()
// is another generator: the program's own copy of glibc's must give glibc's
// sequence, seed 0 (taken as 1) included.
TEST(JitterOffsets, OwnGeneratorGivesGlibcRandSequence) {
  for (unsigned seed : {0u, 1u, kJitterSeed, 4000000000u}) {
    GlibcRandom generator(seed);
    std::srand(seed);
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(generator.next(), std::rand()) << seed << " " << i;
  }
}
