#include "app/Application.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

namespace {

int countLines(const std::string& text) {
  int lines = 0;
  for (char c : text) lines += c == '\n';
  return lines;
}

TEST(LightAnimation, CirclesUntilSamplesAccumulateThenCreeps) {
  Vector3 light;
  float angle = 0.0f;
  animateLight(light, angle, 0.0f, false);
  EXPECT_FLOAT_EQ(light.x, 8.0f);
  EXPECT_FLOAT_EQ(light.y, 5.0f);
  EXPECT_FLOAT_EQ(light.z, 10.0f);

  // A quarter turn takes pi seconds.
  animateLight(light, angle, 3.14159265f, false);
  EXPECT_FLOAT_EQ(angle, 1.5707964f);
  EXPECT_NEAR(light.x, 0.0f, 1e-5f);
  EXPECT_FLOAT_EQ(light.z, 18.0f);

  // While accumulating, even a frame of zero length moves the light, along
  // the direction of the (unchanged) angle; the height stays.
  const Vector3 before = light;
  animateLight(light, angle, 0.0f, true);
  EXPECT_FLOAT_EQ(angle, 1.5707964f);
  EXPECT_NEAR(light.x - before.x, 0.0f, 1e-6f);
  EXPECT_NEAR(light.z - before.z, 0.025f, 1e-5f);
  EXPECT_FLOAT_EQ(light.y, 5.0f);
  light.y = 7.0f;
  animateLight(light, angle, 0.0f, true);
  EXPECT_FLOAT_EQ(light.y, 7.0f);

  // A restart puts the light back on the circle at the current angle.
  animateLight(light, angle, 0.0f, false);
  EXPECT_NEAR(light.x, 8.0f * std::cos(angle), 1e-5f);
  EXPECT_FLOAT_EQ(light.y, 5.0f);
  EXPECT_FLOAT_EQ(light.z, 18.0f);
}

TEST(IsoValue, UpReachesOneAndStaysThereWhilePrinting) {
  float iso = 0.25f;
  std::ostringstream out;
  for (int frame = 0; frame < 14; ++frame) adjustIsoValue(iso, 0.5f, true, false, out);
  EXPECT_LT(iso, 1.0f);
  adjustIsoValue(iso, 0.5f, true, false, out);
  EXPECT_NEAR(iso, 1.0f, 1e-6f);
  std::ostringstream held;
  for (int frame = 0; frame < 3; ++frame) adjustIsoValue(iso, 0.5f, true, false, held);
  EXPECT_EQ(iso, 1.0f);
  EXPECT_EQ(held.str(), "iso value: 1\niso value: 1\niso value: 1\n");
  EXPECT_EQ(countLines(out.str()), 15);
}

TEST(IsoValue, DownStopsAtZeroAndBothKeysApplyInOrder) {
  float iso = 0.25f;
  std::ostringstream out;
  adjustIsoValue(iso, 1.0f, false, true, out);
  EXPECT_EQ(out.str(), "iso value: 0.15\n");
  adjustIsoValue(iso, 10.0f, false, true, out);
  EXPECT_EQ(iso, 0.0f);

  // Up first (clamped at 1), then Down from there: two lines.
  iso = 0.95f;
  std::ostringstream both;
  adjustIsoValue(iso, 1.0f, true, true, both);
  EXPECT_EQ(both.str(), "iso value: 1\niso value: 0.9\n");
  EXPECT_FLOAT_EQ(iso, 0.9f);

  std::ostringstream none;
  adjustIsoValue(iso, 1.0f, false, false, none);
  EXPECT_EQ(none.str(), "");
}

}  // namespace
