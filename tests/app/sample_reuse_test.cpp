// Samples carried across camera moves, on the room at 48x32: a small move
// keeps most of the last picture and starts closer to the converged one than
// a fresh sample does; surfaces the last view did not see are not taken
// from it; a view at rest ends at its plain average; and nothing that is
// not a finite number, or of another size, is carried over.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "app/Application.h"
#include "app/FrameBudget.h"
#include "support/AppFixture.h"
#include "support/Texels.h"

namespace {

constexpr int kWidth = 48;
constexpr int kHeight = 32;
constexpr int kReferenceSamples = 256;

const Vector3 kTarget = {-4.0f, -23.0f, 0.0f};
const Vector3 kUp = {0.0f, 1.0f, 0.0f};
const Vector3 kStartEye = {-7.0f, -20.0f, 13.0f};
// Half a unit aside: about a pixel and a half at this size.
const Vector3 kNearEye = {-6.5f, -20.0f, 13.0f};

std::vector<Texel> read(GLuint texture, int width = kWidth, int height = kHeight) {
  return readTexels(texture, width, height);
}

// Root mean square difference of the colours.
double rmse(const std::vector<Texel>& a, const std::vector<Texel>& b) {
  double sum = 0.0;
  for (size_t i = 0; i < a.size(); ++i) {
    const double dr = a[i].r - b[i].r, dg = a[i].g - b[i].g, db = a[i].b - b[i].b;
    sum += dr * dr + dg * dg + db * db;
  }
  return std::sqrt(sum / (3.0 * static_cast<double>(a.size())));
}

float distance(const Vector3& a, const Vector3& b) {
  const Vector3 d = subtract(a, b);
  return std::sqrt(dotProduct(d, d));
}

class SampleReuseTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    if (IsSkipped()) return;
    app = startApp(kWidth, kHeight);
    app->reuseSamples = true;
  }

  void lookFrom(const Vector3& eye) {
    app->camera.lookAt(eye, kTarget, kUp);
    app->cameraMoved();
  }

  void frames(int count) {
    for (int i = 0; i < count; ++i) app->draw();
  }

  Vector3 octreePoint(const Vector3& world) const {
    return {(world.x + app->bbOffset.x) / app->bbMaxDim, (world.y + app->bbOffset.y) / app->bbMaxDim,
            (world.z + app->bbOffset.z) / app->bbMaxDim};
  }

  const TemporalTargets& targets() const { return app->gpu.temporal.targets; }

  // The plain average of the view's samples so far.
  std::vector<Texel> plainAverage() {
    std::vector<Texel> sum = read(app->gpu.accumTexture);
    const float n = static_cast<float>(app->sampling.sampleCount);
    for (Texel& t : sum) t = {t.r / n, t.g / n, t.b / n, 1.0f};
    return sum;
  }

  // Many samples from `eye`, none carried in.
  std::vector<Texel> reference(const Vector3& eye) {
    app->forgetHistory();
    lookFrom(eye);
    frames(kReferenceSamples + kReferenceSamples / 23 + 2);
    return plainAverage();
  }

  std::unique_ptr<Application> app;
};

TEST_F(SampleReuseTest, SmallMoveStartsFromTheLastPicture) {
  const std::vector<Texel> converged = reference(kNearEye);

  // A fresh view's first picture: one sample.
  app->forgetHistory();
  lookFrom(kNearEye);
  frames(1);
  const double fresh = rmse(read(targets().picture), converged);

  // The same after a rest of 48 samples a little to the side.
  app->forgetHistory();
  lookFrom(kStartEye);
  frames(50);
  lookFrom(kNearEye);
  frames(1);
  const double reused = rmse(read(targets().picture), converged);
  EXPECT_LT(reused, 0.6 * fresh) << "fresh " << fresh << ", reused " << reused;
  int kept = 0;
  for (const Texel& t : read(targets().history)) kept += t.a > 1.0f;
  EXPECT_GT(kept, kWidth * kHeight / 2);

  // At rest the history fades: the picture becomes the view's own plain
  // average, and the window shows exactly what it shows without reuse.
  frames(kHistoryFadeSamples + 4);
  const std::vector<Texel> plain = plainAverage();
  const std::vector<Texel> picture = read(targets().picture);
  for (size_t i = 0; i < plain.size(); ++i) {
    ASSERT_NEAR(picture[i].g, plain[i].g, 1e-5f * (1.0f + plain[i].g)) << i;
  }
  std::vector<unsigned char> shown(kWidth * kHeight * 4), withoutReuse(kWidth * kHeight * 4);
  glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, shown.data());
  app->reuseSamples = false;
  app->redisplay();
  glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, withoutReuse.data());
  EXPECT_EQ(shown, withoutReuse);
}

// From behind the sleigh's side of the room to the far corner: what the new
// view sees lay behind other surfaces in the last one, or outside it.
TEST_F(SampleReuseTest, JumpKeepsOnlySurfacesTheLastViewSaw) {
  lookFrom(kStartEye);
  frames(30);
  const std::vector<Texel> lastPositions = read(targets().position[targets().kept]);
  const Matrix4 lastViewProjection = app->gpu.temporal.viewProjection;
  const float lastJitter[2] = {app->gpu.temporal.jitter[0], app->gpu.temporal.jitter[1]};
  const Vector3 lastEye = octreePoint(app->camera.eye);

  lookFrom({15.0f, -15.0f, -20.0f});
  frames(1);
  const std::vector<Texel> positions = read(app->gpu.primaryFbo.colorTextures[1]);
  const std::vector<Texel> normals = read(app->gpu.primaryFbo.colorTextures[2]);
  const std::vector<Texel> history = read(targets().history);
  int kept = 0, wrong = 0;
  for (size_t i = 0; i < history.size(); ++i) {
    if (history[i].a <= 0.0f) continue;
    ++kept;
    // Where the last view saw this pixel's point, and what it saw there.
    const Texel& p = positions[i];
    const float world[3] = {p.r * app->bbMaxDim - app->bbOffset.x,
                            p.g * app->bbMaxDim - app->bbOffset.y,
                            p.b * app->bbMaxDim - app->bbOffset.z};
    float clip[4];
    for (int r = 0; r < 4; ++r) {
      clip[r] = lastViewProjection[12 + r];
      for (int c = 0; c < 3; ++c) clip[r] += lastViewProjection[4 * c + r] * world[c];
    }
    // The four pixels of the last view around it: history may come from
    // one that saw this point's surface (near its tangent plane), never
    // from those that saw another one in front of it, or nothing.
    const float x = (clip[0] / clip[3] * 0.5f + 0.5f) * kWidth - 0.5f - lastJitter[0];
    const float y = (clip[1] / clip[3] * 0.5f + 0.5f) * kHeight - 0.5f - lastJitter[1];
    const float depth = distance(lastEye, {p.r, p.g, p.b});
    const Vector3 normal = {normals[i].r, normals[i].g, normals[i].b};
    bool seen = false;
    for (int dy = 0; dy <= 1; ++dy) {
      for (int dx = 0; dx <= 1; ++dx) {
        const int tx = static_cast<int>(std::floor(x)) + dx;
        const int ty = static_cast<int>(std::floor(y)) + dy;
        if (clip[3] <= 0.0f || tx < 0 || ty < 0 || tx >= kWidth || ty >= kHeight) continue;
        const Texel& there = lastPositions[static_cast<size_t>(ty * kWidth + tx)];
        const Vector3 off = subtract({there.r, there.g, there.b}, {p.r, p.g, p.b});
        seen = seen || (there.a >= 1.0f && std::fabs(dotProduct(off, normal)) < 0.05f * depth);
      }
    }
    if (!seen) ++wrong;
  }
  EXPECT_GT(kept, 0);
  EXPECT_LE(wrong, kept / 50) << kept << " pixels kept history";
}

// Under a frame budget the moving picture is traced at a lower resolution:
// lit, not the flat primary view. Its history is carried from one moving
// picture to the next at their size, and the first full-size sample after
// the move starts from it.
TEST_F(SampleReuseTest, MovingPictureIsLitAndFeedsTheFullSizeHistory) {
  FrameBudget budget;
  budget.budgetMs = kDefaultFrameBudgetMs;
  budget.previewScale = 0.5;
  // The first picture after start-up is the lit moving picture too.
  EXPECT_EQ(app->drawWithin(budget).pass, FramePass::PathTrace);

  std::vector<unsigned char> flat(kWidth * kHeight * 4), lit(kWidth * kHeight * 4);
  app->reuseSamples = false;
  lookFrom(kStartEye);
  app->drawWithin(budget);
  glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, flat.data());

  app->reuseSamples = true;
  lookFrom(kStartEye);
  const FrameWork work = app->drawWithin(budget);
  EXPECT_EQ(work.kind, FrameWorkKind::Preview);
  EXPECT_EQ(work.pass, FramePass::PathTrace);
  glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, lit.data());
  int differ = 0;
  for (size_t i = 0; i < lit.size(); i += 4) differ += lit[i] != flat[i] || lit[i + 1] != flat[i + 1];
  EXPECT_GT(differ, kWidth * kHeight / 2);

  // Moving pictures carry the history among themselves, at their own size.
  for (int i = 0; i < 3; ++i) {
    lookFrom(kStartEye);
    app->drawWithin(budget);
  }
  const std::vector<Texel> moments = read(targets().pictureMoments);
  double weight = 0.0;
  for (int y = 0; y < kHeight / 2; ++y) {
    for (int x = 0; x < kWidth / 2; ++x) weight += moments[y * kWidth + x].b;
  }
  EXPECT_GT(weight / (kWidth * kHeight / 4), 2.5);

  int frames = 0;
  while (app->sampling.sampleCount < 1 && frames++ < 1000) app->drawWithin(budget);
  int kept = 0;
  for (const Texel& t : read(targets().history)) kept += t.a > 0.5f;
  EXPECT_GT(kept, kWidth * kHeight / 2);
}

// Denoised at its own size and stretched over the window, the moving
// picture shows the room where it lies, with less noise than unfiltered.
// Compared in blocks of its own texels' size, so that the stretch's blur
// counts for neither.
TEST_F(SampleReuseTest, MovingPictureIsDenoisedAtItsOwnSize) {
  const std::vector<Texel> converged = reference(kStartEye);
  FrameBudget budget;
  budget.budgetMs = kDefaultFrameBudgetMs;
  budget.previewScale = 0.5;
  const auto block = [](int x, int y) { return (y / 2) * (kWidth / 2) + x / 2; };
  std::vector<double> want(kWidth * kHeight / 4 * 3, 0.0);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const Texel& t = converged[y * kWidth + x];
      const float rgb[3] = {t.r, t.g, t.b};
      for (int c = 0; c < 3; ++c) want[3 * block(x, y) + c] += std::fmin(std::fmax(rgb[c], 0.0f), 1.0f) / 4;
    }
  }
  const auto movingPictureError = [&](bool denoising) {
    app->denoising = denoising;
    app->forgetHistory();
    lookFrom(kStartEye);
    EXPECT_EQ(app->drawWithin(budget).kind, FrameWorkKind::Preview);
    std::vector<unsigned char> shown(kWidth * kHeight * 4);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, shown.data());
    std::vector<double> got(want.size(), 0.0);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        for (int c = 0; c < 3; ++c) got[3 * block(x, y) + c] += shown[4 * (y * kWidth + x) + c] / 1020.0;
      }
    }
    double sum = 0.0;
    for (size_t i = 0; i < want.size(); ++i) sum += (got[i] - want[i]) * (got[i] - want[i]);
    return std::sqrt(sum / static_cast<double>(want.size()));
  };
  const double raw = movingPictureError(false);
  const double denoised = movingPictureError(true);
  EXPECT_LT(denoised, 0.8 * raw) << "raw " << raw << ", denoised " << denoised;
}

// The floor, the gifts, the tree and the baubles show light that moves
// across them with the eye. Under the denoiser the mirrors and emitters
// carry only their noise (the moments' weight) into a new view; the glossy
// surfaces carry the light of a few samples, found where their reflections
// lay in the last view, as deep behind them as each sample's first bounce
// went. Shown raw, all of them carry their light as the walls do.
TEST_F(SampleReuseTest, ReflectionsCarryOnlyTheirNoiseUnderTheDenoiser) {
  constexpr float kGlossyCode = 0.8f;
  constexpr float kMirrorCode = 0.99f;
  constexpr float kReflectionWeightLimit = 4.0f;
  const auto carried = [&](bool denoising, bool momentsMissSamples = false) {
    app->denoising = denoising;
    app->forgetHistory();
    lookFrom(kStartEye);
    frames(20);
    // As after F2 mid-view: the noise estimate holds fewer samples than the sum.
    if (momentsMissSamples) {
      app->gpu.denoiser.momentCount = 0;
      frames(1);
    }
    lookFrom(kNearEye);
    frames(1);
    const std::vector<Texel> codes = read(app->gpu.primaryFbo.colorTextures[0]);
    const std::vector<Texel> history = read(targets().history);
    const std::vector<Texel> moments = read(targets().historyMoments);
    const std::vector<Texel> bounces = read(app->gpu.bounceDistanceTexture);
    struct Counts {
      int reflecting = 0, reflectingLight = 0, reflectingNoise = 0, matteLight = 0;
      int glossy = 0, glossyLight = 0, glossyBounces = 0;
      float glossyWeight = 0.0f;
    } counts;
    for (size_t i = 0; i < codes.size(); ++i) {
      if (codes[i].a > kGlossyCode && codes[i].a <= kMirrorCode) {
        ++counts.glossy;
        counts.glossyLight += history[i].a > 1.0f;
        counts.glossyWeight = std::max(counts.glossyWeight, history[i].a);
        counts.glossyBounces += bounces[i].r > 0.0f;
      } else if (codes[i].a > 0.5f) {
        ++counts.reflecting;
        counts.reflectingLight += history[i].a > 1.0f;
        counts.reflectingNoise += moments[i].b > 1.0f;
      } else {
        counts.matteLight += history[i].a > 1.0f;
      }
    }
    return counts;
  };
  const auto denoised = carried(true);
  ASSERT_GT(denoised.reflecting, kWidth * kHeight / 100);
  EXPECT_EQ(denoised.reflectingLight, 0);
  EXPECT_GT(denoised.reflectingNoise, denoised.reflecting / 4);
  EXPECT_GT(denoised.matteLight, kWidth * kHeight / 4);
  ASSERT_GT(denoised.glossy, kWidth * kHeight / 10);
  EXPECT_EQ(denoised.glossyBounces, denoised.glossy);
  EXPECT_GT(denoised.glossyLight, denoised.glossy / 2);
  EXPECT_LE(denoised.glossyWeight, kReflectionWeightLimit);
  EXPECT_GT(carried(true, true).matteLight, kWidth * kHeight / 4);
  const auto raw = carried(false);
  EXPECT_GT(raw.reflectingLight, raw.reflecting / 2);
  EXPECT_GT(raw.glossyWeight, kReflectionWeightLimit);
}

TEST_F(SampleReuseTest, OnlyFiniteSamplesOfTheRightSizeAreCarried) {
  lookFrom(kStartEye);
  frames(4);
  // A sample that is not a number, and one that is infinite, in the sum.
  const float bad[2][4] = {{NAN, NAN, NAN, 1.0f}, {INFINITY, 0.0f, 0.0f, 1.0f}};
  glBindTexture(GL_TEXTURE_2D, app->gpu.accumTexture);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 10, 10, 2, 1, GL_RGBA, GL_FLOAT, bad);
  glBindTexture(GL_TEXTURE_2D, 0);
  frames(1);
  lookFrom(kNearEye);
  frames(3);
  for (GLuint texture : {targets().picture, targets().pictureMoments, targets().history}) {
    for (const Texel& t : read(texture)) {
      ASSERT_TRUE(std::isfinite(t.r) && std::isfinite(t.g) && std::isfinite(t.b) &&
                  std::isfinite(t.a));
    }
  }

  // A new size starts from nothing, at that size.
  app->resize(kWidth / 2, kHeight);
  glViewport(0, 0, kWidth / 2, kHeight);
  frames(1);
  EXPECT_EQ(targets().width, kWidth / 2);
  for (const Texel& t : read(targets().history, kWidth / 2, kHeight)) ASSERT_EQ(t.a, 0.0f);
}

}  // namespace
