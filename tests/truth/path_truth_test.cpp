// The path tracer, both variants, against expected samples computed here.
// Each scene is written as OBJ files and run through the whole demo: the
// loader, the scaling, the octree, the upload, the primary pass, the
// path-traced samples with their random states from the seed buffer, and
// the accumulation. The expected value of every pixel's sample is an
// integral over the bounce direction, evaluated by quadrature on the CPU
// with the reference tracer; the GPU average must lie within three
// standard errors of it.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ExitStatus.h"
#include "app/Application.h"
#include "app/KeyState.h"
#include "app/MouseState.h"
#include "support/GlContext.h"
#include "support/Texels.h"
#include "truth/ReferenceTracer.h"
#include "truth/SceneDirectory.h"

using namespace truth;

namespace {

constexpr int kWidth = 8;
constexpr int kHeight = 8;
// Twenty groups of 23 samples between the re-jittered primary passes.
constexpr int kFrames = 24 * 20;
// Successive samples of the one-bounce variant share a random number, so
// the error is estimated from means over batches of samples.
constexpr int kBatch = 8;
constexpr int kQuadrature = 128;
// Allowance for float arithmetic on the GPU, which matters where a path
// draws nothing and the samples do not spread.
constexpr double kRounding = 1e-4;
constexpr double kPi = 3.14159265358979323846;

// Rows of the room's object table whose materials the scenes borrow.
constexpr int kGreyDiffuseRow = 0;  // backwall
constexpr int kGreyGlossyRow = 3;   // floor
constexpr int kGreenEmitterRow = 9;  // sphere1
constexpr int kMirrorRow = 13;       // toppe
constexpr int kDarkDiffuseRow = 14;  // ground_2

// The composition constants of the path tracer.
constexpr double kAmbient = 0.05;
const DVec3 kSkyDirection = normalized({-0.25, 1, -0.2});
const DVec3 kSkyColour{0.85, 0.85, 1.25};
constexpr double kMinimumHitDistance = 0.001;
constexpr double kBounceLength = 1.0;

using Rgb = std::array<double, 3>;

// The scenes hold the bound anchors, so a model point p lies at
// (p + 1) / 110 in octree units and at that times 60 minus 30 in the
// world of the camera.
Vector3 worldOf(double x, double y, double z) {
  auto world = [](double p) { return static_cast<float>((p + 1) / 110 * 60 - 30); };
  return {world(x), world(y), world(z)};
}

DVec3 reflect(DVec3 i, DVec3 n) { return i - n * (2 * dot(n, i)); }

// An orthonormal frame whose second axis is `axis`.
void frameAbout(DVec3 axis, DVec3& a, DVec3& b) {
  const DVec3 helper = std::fabs(axis.x) < 0.9 ? DVec3{1, 0, 0} : DVec3{0, 0, 1};
  a = normalized(cross(helper, axis));
  b = cross(axis, a);
}

// A direction from a local vector whose y runs along `axis`.
DVec3 around(DVec3 axis, double x, double y, double z) {
  DVec3 a, b;
  frameAbout(axis, a, b);
  return a * x + axis * y + b * z;
}

Rgb entryColour(const Material& m) { return {m.r / 255.0, m.g / 255.0, m.b / 255.0}; }

// What one pixel's primary hit hands the path tracer.
struct PrimaryHit {
  DVec3 point, normal, eyeDirection;
  // The material entry as the 16-bit hit buffer holds it: how a float
  // becomes a 16-bit one (nearest or towards zero) is the driver's, and the
  // glossy exponent and the colour of the sample follow it.
  Rgb colour;
  double code = 0;
};

// A surface a path leaves: where, its normal, its material code and the
// direction the path arrived along.
struct Surface {
  DVec3 point, normal, incoming;
  double code = 0;
};

bool emits(double code) { return code > 0.5 && code < 0.8; }

// The light and colour registers of a path, as the shader composes them.
struct Registers {
  Rgb e[3], c[3];
};

// Expected samples of one scene. A path is followed as the shader follows
// it; where the shader draws a direction, the expectation is a quadrature
// over the two random numbers. One such draw per path is followed: the
// scenes are built so that every other bounce is a reflection, an
// emitter, the sky or the last one.
class Expectation {
 public:
  Expectation(const OctreeScene& scene, PathVariant variant)
      : scene_(scene), triangles_(packedTriangles(scene)), variant_(variant) {}

  // The mean sample of a pixel.
  Rgb expectedSample(const PrimaryHit& hit) {
    if (emits(hit.code)) ++unsupported_;
    Registers initial;
    for (int i = 0; i < 3; ++i) {
      initial.e[i] = {kAmbient, kAmbient, kAmbient};
      initial.c[i] = {0, 0, 0};
    }
    if (variant_ == PathVariant::OneBounce) initial.c[1] = {0.25, 0.25, 0.25};
    primaryColour_ = hit.colour;
    return leave({hit.point, hit.normal, hit.eyeDirection, hit.code}, 0, initial, true);
  }

  // Paths this reference does not follow: a direction into the surface it
  // leaves, a second random draw, an emitting primary surface. The scenes
  // are built to have none.
  int unsupportedPaths() const { return unsupported_; }

 private:
  int maxDepth() const { return variant_ == PathVariant::OneBounce ? 1 : 2; }

  // L0 + H (e0 + c0 (e1 + c1 (e2 + c2 0.05))), clamped.
  Rgb compose(const Registers& r) const {
    Rgb result;
    for (int k = 0; k < 3; ++k) {
      const double rest = r.e[0][k] + r.c[0][k] * (r.e[1][k] + r.c[1][k] * (r.e[2][k] + r.c[2][k] * kAmbient));
      result[k] = std::min(1.0, std::max(0.0, kAmbient + primaryColour_[k] * rest));
    }
    return result;
  }

  // The expected sample of the paths that leave `surface` for bounce `i`.
  Rgb leave(const Surface& surface, int i, const Registers& registers, bool drawAllowed) {
    // The shader still draws a direction here, but nothing follows it.
    if (i == maxDepth()) return compose(registers);
    std::vector<ReferenceTriangle> ahead = trianglesAhead(surface);
    const DVec3 mirrored = reflect(surface.incoming, surface.normal);
    if (surface.code > 0.99) return follow(surface, mirrored, i, registers, ahead, drawAllowed);
    if (!drawAllowed) {
      ++unsupported_;
      return compose(registers);
    }
    Rgb sum{0, 0, 0};
    for (int a = 0; a < kQuadrature; ++a) {
      for (int b = 0; b < kQuadrature; ++b) {
        const double u1 = (a + 0.5) / kQuadrature, u2 = (b + 0.5) / kQuadrature;
        const DVec3 d = bounceDirection(surface, mirrored, u1, u2);
        const Rgb value = follow(surface, d, i, registers, ahead, false);
        for (int k = 0; k < 3; ++k) sum[k] += value[k];
      }
    }
    for (double& k : sum) k /= kQuadrature * kQuadrature;
    return sum;
  }

  // Bounces leave on the front side; only triangles with a corner there
  // can be met (this also keeps the open-sky floors cheap).
  std::vector<ReferenceTriangle> trianglesAhead(const Surface& surface) const {
    std::vector<ReferenceTriangle> ahead;
    for (const ReferenceTriangle& t : triangles_) {
      const DVec3 corners[3] = {t.v0, t.v0 + t.e1, t.v0 + t.e2};
      for (const DVec3& c : corners) {
        if (dot(c - surface.point, surface.normal) > 1e-9) {
          ahead.push_back(t);
          break;
        }
      }
    }
    return ahead;
  }

  // Cosine-weighted about the normal for diffuse surfaces; the Phong lobe
  // about the mirror direction for glossy ones.
  static DVec3 bounceDirection(const Surface& surface, DVec3 mirrored, double u1, double u2) {
    const double phi = 2 * kPi * u1;
    if (surface.code < 0.1) {
      const double r = std::sqrt(u2);
      return around(surface.normal, r * std::cos(phi), std::sqrt(1 - u2), r * std::sin(phi));
    }
    const double exponent = (surface.code - 0.8) * 1000;
    const double cosTheta = std::pow(u2, 1 / (exponent + 1));
    const double sinTheta = std::sqrt(1 - cosTheta * cosTheta);
    return around(mirrored, sinTheta * std::cos(phi), cosTheta, sinTheta * std::sin(phi));
  }

  // Bounce `i` along `d`: the sky, an emitter, or a surface to leave next.
  Rgb follow(const Surface& from, DVec3 d, int i, Registers registers,
             const std::vector<ReferenceTriangle>& ahead, bool drawAllowed) {
    if (dot(d, from.normal) <= 0) ++unsupported_;
    const ReferenceHit hit =
        nearestHitWithin(ahead, {from.point, d}, kMinimumHitDistance, kBounceLength);
    if (!hit.found()) {
      const double facing = std::max(dot(kSkyDirection, d), 0.0);
      registers.e[i] = {kSkyColour.x * facing, kSkyColour.y * facing, kSkyColour.z * facing};
      return compose(registers);
    }
    const ReferenceTriangle& t = ahead[hit.triangle];
    const Material& m = scene_.materials[t.material];
    const double code = m.a / 255.0;
    const DVec3 normal = t.normalAt(hit.u, hit.v);
    registers.c[i] = entryColour(m);
    if (emits(code)) {
      const double emission = (code - 0.5) * 24;
      const double facing = std::max(dot(normal, d * -1.0), 0.5);
      for (int k = 0; k < 3; ++k) registers.e[i][k] = registers.c[i][k] * emission * facing;
      return compose(registers);
    }
    return leave({from.point + d * hit.t, normal, d, code}, i + 1, registers, drawAllowed);
  }

  const OctreeScene& scene_;
  std::vector<ReferenceTriangle> triangles_;
  PathVariant variant_;
  Rgb primaryColour_{};
  int unsupported_ = 0;
};

struct Camera3 {
  Vector3 eye, target;
};

// Per group of pixels (one material each), the GPU average against the
// expected value and the standard error of the difference.
struct GroupResult {
  int material = 0;
  int pixels = 0;
  Rgb gpuMean{}, expectedMean{}, standardError{}, sampleMean{};
};

std::vector<Texel> readTexture(GLuint texture) { return readTexels(texture, kWidth, kHeight); }

// Runs the demo's frames on a scene and gathers the figures of every
// material group. Pixels whose material changes with the jitter belong to
// no group.
class SceneRun {
 public:
  SceneRun(Application& app, PathVariant variant) : app_(app), expectation_(app.scene, variant) {}

  std::vector<GroupResult> run() {
    KeyState keys;
    MouseState mouse{kWidth, kHeight};
    for (int frame = 0; frame < kFrames; ++frame) {
      app_.update(0.016f, keys, mouse);
      const bool primary = app_.sampling.nextPass() == FramePass::Primary;
      const ImagePlane plane = currentPlane();
      app_.draw();
      keys.endFrame();
      mouse.endFrame();
      // llvmpipe has been seen to hand back texels of a render target that
      // the pass just drawn had not finished writing (stale hit colours
      // after a camera change); the read waits for the frame.
      glFinish();
      if (primary) {
        expectPixels(plane, readTexture(app_.gpu.primaryFbo.colorTextures[0]));
      } else {
        recordSample(readTexture(app_.gpu.sampleTexture));
      }
    }
    return results(readTexture(app_.gpu.accumTexture));
  }

  int unsupportedPaths() const { return expectation_.unsupportedPaths(); }
  // Pixels whose hit buffer does not hold the entry of the reference's
  // material.
  int wrongHitEntries() const { return wrongEntries_; }

 private:
  // The camera and jitter the next primary pass uses.
  ImagePlane currentPlane() const {
    Vector3 A, B, C;
    app_.camera.imagePlane(A, B, C, 1.0f);
    const size_t jitter = static_cast<size_t>(app_.sampling.jitterIndex);
    return {widen(A), widen(B), widen(C), widen(app_.camera.eye), kWidth, kHeight,
            app_.jitterOffsets[jitter], app_.jitterOffsets[jitter + 1]};
  }

  // The expected sample of every pixel after a primary pass.
  void expectPixels(const ImagePlane& plane, const std::vector<Texel>& hitColours) {
    ImagePlane centres = plane;
    centres.jitterX = centres.jitterY = 0;
    const SceneBox box{widen(app_.bbOffset), app_.bbMaxDim};
    const std::vector<ReferenceTriangle> triangles = packedTriangles(app_.scene);
    const bool first = material_.empty();
    material_.resize(kWidth * kHeight, -1);
    expected_.assign(kWidth * kHeight, Rgb{});
    for (int i = 0; i < kWidth * kHeight; ++i) {
      const Ray ray = plane.pixelRay(i % kWidth, i / kWidth, box);
      const ReferenceHit hit = nearestHit(triangles, ray);
      const int material = hit.found() ? triangles[hit.triangle].material : -1;
      if (first) material_[i] = material;
      if (material != material_[i] || material < 0) {
        material_[i] = -1;
        continue;
      }
      const Material& m = app_.scene.materials[material];
      const ReferenceTriangle& t = triangles[hit.triangle];
      PrimaryHit primary;
      primary.point = ray.origin + ray.direction * hit.t;
      primary.normal = t.normalAt(hit.u, hit.v);
      primary.eyeDirection = centres.pixelRay(i % kWidth, i / kWidth, box).direction;
      const Texel& stored = hitColours[i];
      primary.colour = {stored.r, stored.g, stored.b};
      primary.code = stored.a;
      const Rgb exact = entryColour(m);
      // 16 bits keep 11 significant bits: within 2^-10 of any entry below 1.
      const double ulp = 1.0 / 1024;
      if (std::fabs(primary.colour[0] - exact[0]) > ulp ||
          std::fabs(primary.colour[1] - exact[1]) > ulp ||
          std::fabs(primary.colour[2] - exact[2]) > ulp || std::fabs(primary.code - m.a / 255.0) > ulp) {
        ++wrongEntries_;
      }
      expected_[i] = expectation_.expectedSample(primary);
    }
  }

  void recordSample(const std::vector<Texel>& samples) {
    expectedSum_.resize(kWidth * kHeight, Rgb{});
    std::vector<Rgb> deviation(kWidth * kHeight);
    for (int i = 0; i < kWidth * kHeight; ++i) {
      const float sample[3] = {samples[i].r, samples[i].g, samples[i].b};
      for (int c = 0; c < 3; ++c) {
        expectedSum_[i][c] += expected_[i][c];
        deviation[i][c] = sample[c] - expected_[i][c];
      }
    }
    deviations_.push_back(deviation);
  }

  // Per frame, the mean difference between sample and expectation over the
  // pixels of one material.
  std::vector<Rgb> groupSeries(int material) const {
    std::vector<Rgb> series;
    for (const std::vector<Rgb>& frame : deviations_) {
      Rgb mean{0, 0, 0};
      int pixels = 0;
      for (int i = 0; i < kWidth * kHeight; ++i) {
        if (material_[i] != material) continue;
        for (int c = 0; c < 3; ++c) mean[c] += frame[i][c];
        ++pixels;
      }
      for (double& c : mean) c /= pixels;
      series.push_back(mean);
    }
    return series;
  }

  std::vector<GroupResult> results(const std::vector<Texel>& sum) const {
    std::vector<GroupResult> groups;
    std::set<int> materials(material_.begin(), material_.end());
    materials.erase(-1);
    const double samples = static_cast<double>(deviations_.size());
    for (int material : materials) {
      GroupResult group;
      group.material = material;
      for (int i = 0; i < kWidth * kHeight; ++i) {
        if (material_[i] != material) continue;
        ++group.pixels;
        const float total[3] = {sum[i].r, sum[i].g, sum[i].b};
        for (int c = 0; c < 3; ++c) {
          group.gpuMean[c] += total[c] / app_.sampling.sampleCount;
          group.expectedMean[c] += expectedSum_[i][c] / samples;
        }
      }
      const std::vector<Rgb> series = groupSeries(material);
      for (int c = 0; c < 3; ++c) {
        group.gpuMean[c] /= group.pixels;
        group.expectedMean[c] /= group.pixels;
        group.standardError[c] = batchStandardError(series, c, group.sampleMean[c]);
      }
      groups.push_back(group);
    }
    return groups;
  }

  // The standard error of the series' mean from the spread of its batch
  // means; also returns the mean itself.
  static double batchStandardError(const std::vector<Rgb>& series, int c, double& mean) {
    const size_t batches = series.size() / kBatch;
    std::vector<double> means(batches, 0.0);
    for (size_t b = 0; b < batches; ++b) {
      for (int k = 0; k < kBatch; ++k) means[b] += series[b * kBatch + k][c] / kBatch;
    }
    mean = 0;
    for (const Rgb& value : series) mean += value[c] / series.size();
    double centre = 0;
    for (double m : means) centre += m / batches;
    double variance = 0;
    for (double m : means) variance += (m - centre) * (m - centre) / (batches - 1);
    return std::sqrt(variance / batches);
  }

  Application& app_;
  Expectation expectation_;
  std::vector<int> material_;
  std::vector<Rgb> expected_, expectedSum_;
  // Per path-traced frame, sample minus expectation for every pixel.
  std::vector<std::vector<Rgb>> deviations_;
  int wrongEntries_ = 0;
};

class PathTruth : public ::testing::TestWithParam<PathVariant> {
 protected:
  void SetUp() override {
    REQUIRE_GL_CONTEXT();
    ASSERT_TRUE(directory_.ready());
  }

  // Starts the demo on the scene in the directory, points the camera and
  // runs the frames; checks every material group against its expectation.
  void expectScene(const Camera3& camera, int expectedGroups) {
    std::unique_ptr<Application> app;
    {
      WorkingDirectory here(directory_.root());
      testing::internal::CaptureStdout();
      app = std::make_unique<Application>(kWidth, kHeight, GetParam(), false);
      const std::string output = testing::internal::GetCapturedStdout();
      ASSERT_EQ(app->startupStatus(), kStatusOk) << output;
    }
    glViewport(0, 0, kWidth, kHeight);
    app->camera.lookAt(camera.eye, camera.target, {0, 1, 0});
    app->sampling.restart();

    SceneRun run(*app, GetParam());
    const std::vector<GroupResult> groups = run.run();
    EXPECT_EQ(run.unsupportedPaths(), 0);
    EXPECT_EQ(run.wrongHitEntries(), 0);
    EXPECT_EQ(static_cast<int>(groups.size()), expectedGroups);
    for (const GroupResult& group : groups) {
      std::cout << "material " << group.material << " over " << group.pixels << " pixels:";
      for (int c = 0; c < 3; ++c) {
        std::cout << " " << "rgb"[c] << " GPU " << group.gpuMean[c] << " expected "
                  << group.expectedMean[c] << " (se " << group.standardError[c] << ")";
      }
      std::cout << "\n";
      EXPECT_GE(group.pixels, kWidth * kHeight / 8);
      for (int c = 0; c < 3; ++c) {
        SCOPED_TRACE(::testing::Message() << "material " << group.material << ", channel " << c);
        EXPECT_NEAR(group.gpuMean[c], group.expectedMean[c],
                    3 * group.standardError[c] + kRounding);
        // The displayed average is the sum of the very samples read back.
        EXPECT_NEAR(group.gpuMean[c] - group.expectedMean[c], group.sampleMean[c], 1e-4);
      }
    }
  }

  SceneDirectory directory_;
};

// The camera of the floor scenes: in the middle of the scene, 10 model
// units above the floor, looking steeply down and ahead.
const Camera3 kOverFloor{worldOf(50, 30, 50), worldOf(50, 20, 44)};

// A floor under the open sky, its left half diffuse and its right half
// glossy, each cut into 5 x 10 quads so the octree has depth. Every bounce
// escapes: the sample is the ambient term plus the sky term seen along the
// bounce.
TEST_P(PathTruth, FloorUnderTheOpenSky) {
  directory_.writeRoomFiles(
      {{kGreyDiffuseRow, boundsAnchors() + horizontalGrid(20, 0, 50, 0, 100, 10, true, 3, false)},
       {kGreyGlossyRow, horizontalGrid(20, 50, 100, 0, 100, 10, true, 1, false)}});
  expectScene(kOverFloor, 2);
}

// A dark diffuse floor under a green emitting ceiling with open sides:
// bounces that meet the ceiling end there with its emission, weighted by
// a cosine that never falls below 0.5, and the variant's estimate of the
// unfollowed rest; those that escape sideways see the sky.
TEST_P(PathTruth, FloorUnderAnEmittingCeiling) {
  directory_.writeRoomFiles(
      {{kGreenEmitterRow, horizontalGrid(35, 0, 100, 0, 100, 1, false, 1, true)},
       {kDarkDiffuseRow, boundsAnchors() + horizontalGrid(20, 0, 100, 0, 100, 1, true, 3, false)}});
  expectScene(kOverFloor, 1);
}

// A mirror wall standing on a diffuse floor, seen from in front. Mirror
// pixels reflect onto the floor, whose bounce sees the sky or the mirror
// again: the two-bounce variant draws its direction only at the second
// bounce. Floor pixels bounce into the mirror, which reflects to the sky.
TEST_P(PathTruth, MirrorWallOnAFloor) {
  const double wall[4][3] = {{0, 20, 30}, {100, 20, 30}, {100, 60, 30}, {0, 60, 30}};
  const double floor[4][3] = {{0, 20, 0}, {0, 20, 100}, {100, 20, 100}, {100, 20, 0}};
  directory_.writeRoomFiles({{kGreyDiffuseRow, boundsAnchors() + rectangle(floor, 3)},
                             {kMirrorRow, rectangle(wall, 1)}});
  expectScene({worldOf(50, 35, 60), worldOf(50, 27, 30)}, 2);
}

INSTANTIATE_TEST_SUITE_P(BothVariants, PathTruth,
                         ::testing::Values(PathVariant::TwoBounce, PathVariant::OneBounce),
                         [](const ::testing::TestParamInfo<PathVariant>& info) {
                           return info.param == PathVariant::TwoBounce ? std::string("TwoBounce")
                                                                       : std::string("OneBounce");
                         });

}  // namespace
