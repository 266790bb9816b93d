// The denoiser on hand-made hit buffers and samples: what must come through
// unchanged does, edges in the guide buffers are never crossed, and noise on
// a surface is smoothed.
#include "render/Denoiser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "ExitStatus.h"
#include "geometry/Mesh.h"
#include "render/FramePasses.h"
#include "render/Sampling.h"
#include "support/GlContext.h"
#include "support/Texels.h"

namespace {

constexpr int kWidth = 16;
constexpr int kHeight = 8;
constexpr int kSamples = 4;

struct Rgb {
  float r, g, b;
};

// What one pixel of the primary buffers holds.
struct Hit {
  Rgb colour;
  float code;
  float position[3];
  float normal[3];
};

// A flat wall facing the camera (+z), one pixel a thousandth of the unit
// cube, in a diffuse mid colour whose channels differ, so that dividing the
// colour out and back in has to be exact.
Hit wallHit(int x, int y) {
  return {{0.5f, 0.25f, 1.0f}, 0.0f, {0.3f + 0.001f * x, 0.3f + 0.001f * y, 0.5f}, {0, 0, 1}};
}

// The wall with its right half turned away along the x axis: a convex
// corner of one material.
Hit creaseHit(int x, int y) {
  Hit hit = wallHit(x, y);
  if (x >= kWidth / 2) {
    const float along = 0.001f * (x - kWidth / 2 + 1);
    hit = {hit.colour, hit.code, {0.3f + 0.008f, 0.3f + 0.001f * y, 0.5f - along}, {1, 0, 0}};
  }
  return hit;
}

// Standard deviation of values about their mean.
double spread(const std::vector<float>& values) {
  double sum = 0.0, squares = 0.0;
  for (float value : values) {
    sum += value;
    squares += static_cast<double>(value) * value;
  }
  const double mean = sum / values.size();
  return std::sqrt(std::max(squares / values.size() - mean * mean, 0.0));
}

using HitAt = std::function<Hit(int x, int y)>;
// The light of sample `sample` at a pixel, before the surface colour.
using SampleAt = std::function<float(int x, int y, int sample)>;

class DenoiserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_GL_CONTEXT();
    const std::string vertexFile = std::string(XMASTRACE_RUN_DIR) + "/TextureShaderVS.glsl";
    ASSERT_EQ(buildDenoisePrograms(denoiser.programs, vertexFile.c_str()), kStatusOk);
    createDenoiseTargets(denoiser, kWidth, kHeight);
    inputs.quadVertexArray = createQuadMesh().vertexArray;
    glViewport(0, 0, kWidth, kHeight);
  }

  static GLuint texture(const std::vector<float>& rgba) {
    return createScreenTexture(kWidth, kHeight, rgba.data());
  }

  // Gathers kSamples samples as the frames would and denoises their sum.
  // Returns the picture's rgb, bottom row first.
  std::vector<Texel> denoise(const HitAt& hitAt, const SampleAt& sampleAt) {
    std::vector<float> colour, position, normal;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const Hit hit = hitAt(x, y);
        colour.insert(colour.end(), {hit.colour.r, hit.colour.g, hit.colour.b, hit.code});
        position.insert(position.end(), {hit.position[0], hit.position[1], hit.position[2], 1});
        normal.insert(normal.end(), {hit.normal[0], hit.normal[1], hit.normal[2], 1});
      }
    }
    inputs.hitColor = texture(colour);
    inputs.hitPosition = texture(position);
    inputs.hitNormal = texture(normal);
    std::vector<float> sum(colour.size(), 0.0f);
    for (int sample = 0; sample < kSamples; ++sample) {
      std::vector<float> rgba;
      for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
          const Rgb c = hitAt(x, y).colour;
          const float light = sampleAt(x, y, sample);
          rgba.insert(rgba.end(), {c.r * light, c.g * light, c.b * light, 0.0f});
        }
      }
      for (size_t i = 0; i < sum.size(); ++i) sum[i] += rgba[i];
      inputs.sampleTexture = texture(rgba);
      gatherNoise(denoiser, inputs, sample == 0);
    }
    inputs.sumTexture = texture(sum);
    inputs.sampleCount = kSamples;
    return readTexels(::denoise(denoiser, inputs), kWidth, kHeight);
  }

  // The average a pixel's samples make, with its surface colour.
  static Rgb average(const HitAt& hitAt, const SampleAt& sampleAt, int x, int y) {
    float light = 0.0f;
    for (int sample = 0; sample < kSamples; ++sample) light += sampleAt(x, y, sample);
    light /= kSamples;
    const Rgb c = hitAt(x, y).colour;
    return {c.r * light, c.g * light, c.b * light};
  }

  static void expectNear(const Texel& texel, Rgb expected, float tolerance, int x, int y) {
    EXPECT_NEAR(texel.r, expected.r, tolerance * expected.r) << "at " << x << ", " << y;
    EXPECT_NEAR(texel.g, expected.g, tolerance * expected.g) << "at " << x << ", " << y;
    EXPECT_NEAR(texel.b, expected.b, tolerance * expected.b) << "at " << x << ", " << y;
  }

  Denoiser denoiser;
  DenoiseInputs inputs;
};

// The denoised picture is shown whole while it clearly helps, then gives
// way to the plain average, the same part each time the samples double, and
// is gone by the count a page rests at: the settled picture is the unbiased
// average.
TEST(DenoisedShareTest, WholeAtFirstThenGivingWayToTheAverageByEachDoubling) {
  EXPECT_EQ(denoisedShare(-1), 1.0f);  // a restart pending
  EXPECT_EQ(denoisedShare(1), 1.0f);
  EXPECT_EQ(denoisedShare(kDenoiseWholeUpTo), 1.0f);
  EXPECT_EQ(denoisedShare(kDenoiseNoneFrom), 0.0f);
  EXPECT_EQ(denoisedShare(65536), 0.0f);
  const float steps = static_cast<float>(std::log2(kDenoiseNoneFrom / kDenoiseWholeUpTo));
  EXPECT_NEAR(denoisedShare(2 * kDenoiseWholeUpTo), 1.0f - 1.0f / steps, 1e-6f);
  EXPECT_NEAR(denoisedShare(kDenoiseNoneFrom / 2), 1.0f / steps, 1e-6f);
  float before = 1.0f;
  for (int samples = kDenoiseWholeUpTo + 1; samples < kDenoiseNoneFrom; ++samples) {
    const float share = denoisedShare(samples);
    ASSERT_LT(share, before) << samples;
    ASSERT_GT(share, 0.0f) << samples;
    before = share;
  }
}

TEST_F(DenoiserTest, FlatLightAndConvergedDetailComeThroughUnchanged) {
  // Flat: every pixel's samples swing widely, so the filter smooths with all
  // its strength, but they average the same everywhere.
  const SampleAt swinging = [](int, int, int sample) { return sample % 2 ? 0.2f : 0.6f; };
  // Converged: each pixel's samples agree, so there is no noise to remove,
  // however much the pixels differ.
  const SampleAt detailed = [](int x, int y, int) { return 0.1f + 0.05f * ((x * 7 + y * 3) % 11); };
  for (const SampleAt& sampleAt : {swinging, detailed}) {
    const std::vector<Texel> picture = denoise(wallHit, sampleAt);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        expectNear(picture[y * kWidth + x], average(wallHit, sampleAt, x, y), 1e-5f, x, y);
      }
    }
  }
}

TEST_F(DenoiserTest, SamplesTakenOffCentreAreReadAtThePixelCentres) {
  // Converged light rising across the wall, sampled a quarter pixel right
  // of and below the pixel centres, as one primary pass's offset places them.
  const float offset[2] = {0.25f, -0.25f};
  const auto lightAt = [](float x, float y) { return 0.2f + 0.02f * x + 0.01f * y; };
  const SampleAt offCentre = [&](int x, int y, int) {
    return lightAt(x + offset[0], y + offset[1]);
  };
  inputs.offsets.primaryPass(offset);
  for (int sample = 0; sample < kSamples; ++sample) inputs.offsets.sampleAdded(sample == 0);
  std::vector<Texel> picture = denoise(wallHit, offCentre);
  for (int y = 1; y < kHeight - 1; ++y) {
    for (int x = 1; x < kWidth - 1; ++x) {
      const Rgb expected = average(wallHit, [&](int, int, int) { return lightAt(x, y); }, x, y);
      expectNear(picture[y * kWidth + x], expected, 1e-4f, x, y);
    }
  }
  // Once samples from every offset are in, the sum is as centred as it gets.
  inputs.offsets.distinct = kJitterOffsetCount;
  picture = denoise(wallHit, offCentre);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      expectNear(picture[y * kWidth + x], average(wallHit, offCentre, x, y), 1e-5f, x, y);
    }
  }
}

TEST_F(DenoiserTest, NoiseOnASurfaceIsSmoothed) {
  // Averages scattered around 0.4 without a pattern, each pixel's samples
  // spreading more widely than that: noise, not a feature.
  const SampleAt noisy = [](int x, int y, int sample) {
    const float mean = (x * 5 + y * 3) % 7 < 3 ? 0.3f : 0.5f;
    return mean + (sample % 2 ? 0.2f : -0.2f);
  };
  const std::vector<Texel> picture = denoise(wallHit, noisy);
  std::vector<float> raw, denoised;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      raw.push_back(average(wallHit, noisy, x, y).g);
      denoised.push_back(picture[y * kWidth + x].g);
    }
  }
  EXPECT_LT(spread(denoised), spread(raw) / 5.0) << "the spread fell by less than 5 times";
}

TEST_F(DenoiserTest, EdgesInTheGuideBuffersAreNotCrossed) {
  // Left and right of the middle the light differs, and the samples are as
  // noisy as in the test above; only the guide buffers tell the halves apart.
  const SampleAt halves = [](int x, int, int sample) {
    return (x < kWidth / 2 ? 0.2f : 0.6f) + (sample % 2 ? 0.1f : -0.1f);
  };
  const HitAt otherColour = [](int x, int y) {
    Hit hit = wallHit(x, y);
    if (x >= kWidth / 2) hit.colour = {0.25f, 1.0f, 0.5f};
    return hit;
  };
  const HitAt otherMaterial = [](int x, int y) {
    Hit hit = wallHit(x, y);
    if (x >= kWidth / 2) hit.code = 250.0f / 255.0f;  // glossy
    return hit;
  };
  const HitAt step = [](int x, int y) {
    Hit hit = wallHit(x, y);
    if (x >= kWidth / 2) hit.position[2] = 0.45f;  // a parallel wall nearer the eye
    return hit;
  };
  const char* names[] = {"colour", "material", "crease", "step"};
  int name = 0;
  for (const HitAt& hitAt : {otherColour, otherMaterial, HitAt(creaseHit), step}) {
    SCOPED_TRACE(names[name++]);
    const std::vector<Texel> picture = denoise(hitAt, halves);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        expectNear(picture[y * kWidth + x], average(hitAt, halves, x, y), 0.02f, x, y);
      }
    }
  }
}

TEST_F(DenoiserTest, LightDoesNotCrossACreaseOfOneMaterial) {
  // The two faces get nearly the same light, so only their normals tell
  // them apart where they meet: both faces' planes pass through the edge.
  const SampleAt faces = [](int x, int, int sample) {
    return (x < kWidth / 2 ? 0.4f : 0.5f) + (sample % 2 ? 0.2f : -0.2f);
  };
  const std::vector<Texel> picture = denoise(creaseHit, faces);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      expectNear(picture[y * kWidth + x], average(creaseHit, faces, x, y), 0.005f, x, y);
    }
  }
}

TEST_F(DenoiserTest, OnePixelsLightReachesAsFarAsTheThreeStepsAllow) {
  // Every pixel's samples swing alike, so the filter smooths at full
  // strength, and one corner pixel's are a little brighter. Steps of 1, 2
  // and 4 pixels carry its light 1 + 2 + 4 = 7 pixels along the row and not
  // one further: less reach leaves real noise in blotches.
  const SampleAt swinging = [](int, int, int sample) { return sample % 2 ? 0.2f : 0.6f; };
  const SampleAt oneBrighter = [&](int x, int y, int sample) {
    return swinging(x, y, sample) + (x == 0 && y == 0 ? 0.1f : 0.0f);
  };
  const std::vector<Texel> flat = denoise(wallHit, swinging);
  const std::vector<Texel> lit = denoise(wallHit, oneBrighter);
  for (int x = 1; x < kWidth; ++x) {
    const float change = std::fabs(lit[x].g - flat[x].g);
    if (x <= 7) {
      EXPECT_GT(change, 2e-5f) << "at " << x;
    } else {
      EXPECT_LT(change, 1e-6f) << "at " << x;
    }
  }
}

}  // namespace
