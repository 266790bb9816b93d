// The history's passes on hand-made buffers, a flat wall seen again from
// the same place: how far the clamp against the new samples lets the
// carried light stray from them, where a glossy wall finds its reflections,
// and how a moving view's picture blends with the one shown before it.
#include "render/TemporalHistory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "ExitStatus.h"
#include "geometry/Mesh.h"
#include "render/FramePasses.h"
#include "support/GlContext.h"
#include "support/Texels.h"

namespace {

constexpr int kWidth = 16;
constexpr int kHeight = 8;
constexpr float kAlbedo = 0.5f;
// Every new sample, in colour: dark and alike, so that their own spread
// says nothing about light that reaches the wall rarely.
constexpr float kNewSample = 0.05f;
// The last picture's light (before the surface colour), on average.
constexpr float kLastLight = 0.5f;

std::vector<float> filled(float r, float g, float b, float a) {
  std::vector<float> texels;
  for (int i = 0; i < kWidth * kHeight; ++i) texels.insert(texels.end(), {r, g, b, a});
  return texels;
}

void upload(GLuint texture, const std::vector<float>& rgba) {
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kWidth, kHeight, GL_RGBA, GL_FLOAT, rgba.data());
  glBindTexture(GL_TEXTURE_2D, 0);
}

class TemporalHistoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_GL_CONTEXT();
    const std::string vertexFile = std::string(XMASTRACE_RUN_DIR) + "/TextureShaderVS.glsl";
    ASSERT_EQ(buildTemporalPrograms(history.programs, vertexFile.c_str()), kStatusOk);
    createTemporalTargets(history, kWidth, kHeight);
    // The wall fills the view, each pixel's point where the identity camera
    // puts that pixel's centre.
    std::vector<float> position;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        position.insert(position.end(), {(x + 0.5f) / kWidth * 2.0f - 1.0f,
                                         (y + 0.5f) / kHeight * 2.0f - 1.0f, 0.5f, 1.0f});
      }
    }
    const std::vector<float> normal = filled(0.0f, 0.0f, 1.0f, 0.0f);  // w: a matte code
    inputs.hitColor = createScreenTexture(kWidth, kHeight, filled(kAlbedo, kAlbedo, kAlbedo, 0.0f).data());
    inputs.hitPosition = createScreenTexture(kWidth, kHeight, position.data());
    inputs.hitNormal = createScreenTexture(kWidth, kHeight, normal.data());
    inputs.sampleTexture =
        createScreenTexture(kWidth, kHeight, filled(kNewSample, kNewSample, kNewSample, 0.0f).data());
    inputs.sumTexture = inputs.sampleTexture;
    inputs.sampleCount = 1;
    inputs.quadVertexArray = createQuadMesh().vertexArray;
    const TemporalTargets& targets = history.targets;
    upload(targets.position[targets.kept], position);
    upload(targets.normal[targets.kept], normal);
    const float lastColour = kLastLight * kAlbedo;
    upload(targets.picture, filled(lastColour, lastColour, lastColour, 0.0f));
    history.filled = true;
    history.size[0] = kWidth;
    history.size[1] = kHeight;
    view.pixelAngle = 2.0f / kHeight;
    view.historyLimit = 1.0e6f;
    glViewport(0, 0, kWidth, kHeight);
  }

  // The carried green at every pixel, after a last picture of 16 samples
  // whose light had the mean square `lastMeanSquare`; where light is kept,
  // it counts as `keptWeight` samples.
  std::vector<float> carried(float lastMeanSquare, float keptWeight = 16.0f) {
    upload(history.targets.pictureMoments, filled(kLastLight, lastMeanSquare, 16.0f, 0.0f));
    drawReprojection(history, inputs, view);
    std::vector<float> green;
    for (const Texel& t : readTexels(history.targets.history, kWidth, kHeight)) {
      if (t.a != 0.0f) {
        EXPECT_NEAR(t.a, keptWeight, 1e-3f);
      }
      green.push_back(t.g);
    }
    return green;
  }

  TemporalHistory history;
  TemporalInputs inputs;
  TemporalView view;
};

// The last samples were spread widely (the light came in rare bright
// samples, as from the glowing letters onto the wall): the dark new ones
// are what such light usually gives, and the carried light is kept whole.
// Had they been all alike, light that far from the new samples has changed
// (the moving light went elsewhere), and it is cut down to their range.
TEST_F(TemporalHistoryTest, ClampAllowsForTheSpreadTheLastSamplesShowed) {
  const float lastColour = kLastLight * kAlbedo;
  for (float green : carried(2.5f)) ASSERT_NEAR(green, lastColour, 1e-4f);
  for (float green : carried(kLastLight * kLastLight)) ASSERT_NEAR(green, kNewSample, 1e-4f);
}

// A glossy wall seen at 45 degrees from far to the left, in a picture that
// rises from left to right: its reflections lie 4 pixels further right,
// behind the wall, as deep as the first bounce went. The wall keeps the
// light the last picture had there, counted as a few samples; where that
// point left the last view it keeps none.
TEST_F(TemporalHistoryTest, GlossySurfacesKeepTheLightFoundBehindThemAtTheBounceDistance) {
  constexpr float kGlossyCode = 0.9f;
  constexpr float kFar = 1000.0f;
  constexpr int kShift = 4;
  const float clipPerPixel = 2.0f / kWidth;
  const float depth = kShift * clipPerPixel * std::sqrt(2.0f);
  inputs.hitColor =
      createScreenTexture(kWidth, kHeight, filled(kAlbedo, kAlbedo, kAlbedo, kGlossyCode).data());
  upload(history.targets.normal[history.targets.kept], filled(0.0f, 0.0f, 1.0f, kGlossyCode));
  inputs.bounceDistanceTexture =
      createScreenTexture(kWidth, kHeight, filled(depth, 0, 0, 0).data());
  std::vector<float> ramp;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) ramp.insert(ramp.end(), {0.0f, 0.02f * x, 0.0f, 0.0f});
  }
  upload(history.targets.picture, ramp);
  view.eye = {-kFar, 0.0f, 0.5f - kFar};
  const std::vector<float> green = carried(2.5f, 4.0f);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x + kShift < kWidth; ++x) {
      ASSERT_NEAR(green[y * kWidth + x], 0.02f * (x + kShift), 1e-3f) << x << ", " << y;
    }
  }
  for (int y = 0; y < kHeight; ++y) {
    for (int x = kWidth - kShift; x < kWidth; ++x) {
      ASSERT_EQ(readTexels(history.targets.history, kWidth, kHeight)[y * kWidth + x].a, 0.0f);
    }
  }
}

// The denoiser learns the noise from the luminance moments. Those a moving
// view carries hold more than the noise of its samples (the light's change
// from frame to frame, and between the neighbours each lookup blends), and
// count for less; a new sample far off their mean (a single bright one)
// still counts whole, and so do the carried moments of a moving picture
// drawn smaller, which is stretched. A view's own samples, once the history
// has faded, give the noise their spread says, as a view that carries
// nothing does.
TEST_F(TemporalHistoryTest, CarriedMomentsCountForLessNoiseThanAViewsOwn) {
  const float light = kNewSample / kAlbedo;
  struct Noise {
    float given;     // the variance the denoiser is given
    float ofSpread;  // the spread of the moments, per sample
  };
  const auto resolvedNoise = [&](int samples, float mean, float meanSquare) {
    const float n = static_cast<float>(samples);
    inputs.sampleCount = inputs.momentCount = samples;
    inputs.sumTexture = createScreenTexture(
        kWidth, kHeight, filled(n * kNewSample, n * kNewSample, n * kNewSample, 0.0f).data());
    inputs.momentsTexture =
        createScreenTexture(kWidth, kHeight, filled(n * mean, n * meanSquare, 0.0f, 0.0f).data());
    resolvePicture(history, inputs);
    const Texel t = readTexels(history.targets.pictureMoments, kWidth, kHeight)[0];
    return Noise{t.a, (t.g - t.r * t.r) / t.b};
  };
  carried(2.5f);
  const Noise moving = resolvedNoise(1, light, light * light);
  EXPECT_GT(moving.given, 0.0f);
  EXPECT_LT(moving.given, 0.5f * moving.ofSpread);
  const float bright = 40.0f * kLastLight;
  const Noise brightSample = resolvedNoise(1, bright, bright * bright);
  EXPECT_GT(brightSample.given, 0.8f * brightSample.ofSpread);
  inputs.size[0] = kWidth / 2;
  inputs.size[1] = kHeight / 2;
  const Noise smaller = resolvedNoise(1, light, light * light);
  EXPECT_NEAR(smaller.given, smaller.ofSpread, 1e-3f * smaller.ofSpread);
  inputs.size[0] = inputs.size[1] = 0;
  const Noise atRest = resolvedNoise(kHistoryFadeSamples, light, 4.0f * light * light);
  EXPECT_GT(atRest.given, 0.0f);
  EXPECT_NEAR(atRest.given, atRest.ofSpread, 1e-3f * atRest.ofSpread);
}

// Columns of 0.2 and 0.6 in every channel: a picture whose 3x3
// neighbourhoods all span 0.2 to 0.6.
std::vector<float> columns() {
  std::vector<float> texels;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const float v = x % 2 == 0 ? 0.2f : 0.6f;
      texels.insert(texels.end(), {v, v, v, 0.0f});
    }
  }
  return texels;
}

// The camera moves (in clip space the matrix is scaled, which puts every
// point where it was): the shown picture is kShownShare of the last one,
// kept within the new picture's neighbourhood. At rest it is the denoised
// picture itself, and the same picture is never blended twice.
TEST_F(TemporalHistoryTest, MovingViewsBlendWithTheLastPictureShownWithinRange) {
  const std::vector<float> picture = columns();
  const GLuint denoised = createScreenTexture(kWidth, kHeight, picture.data());
  const auto show = [&](float lastValue, float scale) {
    upload(history.targets.shown[history.targets.latestShown], filled(lastValue, lastValue, lastValue, 0.0f));
    history.shownFilled = true;
    view.viewProjection = Matrix4(scale, 0, 0, 0, 0, scale, 0, 0, 0, 0, scale, 0, 0, 0, 0, scale);
    pictureResolved(history);
    return smoothEdges(history, inputs, view, denoised);
  };
  history.shownPicture = 0;
  for (float last : {0.4f, 0.9f}) {
    const GLuint shown = show(last, last == 0.4f ? 2.0f : 1.0f);
    ASSERT_NE(shown, denoised);
    const std::vector<Texel> texels = readTexels(shown, kWidth, kHeight);
    for (size_t i = 0; i < texels.size(); ++i) {
      const float expected = (1.0f - kShownShare) * picture[4 * i] + kShownShare * std::min(last, 0.6f);
      ASSERT_NEAR(texels[i].g, expected, 1e-4f) << "last " << last << " at " << i;
    }
    EXPECT_EQ(smoothEdges(history, inputs, view, denoised), shown);
  }
  EXPECT_EQ(show(0.4f, 1.0f), denoised);
}

}  // namespace
