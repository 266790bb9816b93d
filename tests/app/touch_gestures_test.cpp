#include "app/TouchGestures.h"

#include <gtest/gtest.h>

namespace {

struct Touch {
  MouseState mouse{400, 800};
  PinchState pinch;

  int event(std::initializer_list<TouchPoint> points, bool ending = false) {
    return applyTouch(mouse, pinch, points.begin(), static_cast<int>(points.size()), ending);
  }
};

}  // namespace

// One finger is the left button: it drags from where it lands, never from
// where the last finger lifted.
TEST(TouchGestures, OneFingerDragsFromWhereItLands) {
  Touch touch;
  touch.event({{100, 100, true}});
  touch.event({{120, 100, false}});
  EXPECT_TRUE(touch.mouse.down[0]);
  EXPECT_EQ(touch.mouse.dx, 20);
  touch.event({{120, 100, true}}, /*ending=*/true);
  EXPECT_FALSE(touch.mouse.down[0]);

  touch.mouse.endFrame();
  touch.event({{300, 500, true}});
  EXPECT_TRUE(touch.mouse.down[0]);
  EXPECT_EQ(touch.mouse.dx, 0) << "a landing is no move";
  EXPECT_EQ(touch.mouse.dy, 0);
}

// Two fingers pinch as the wheel turns, one notch per 40 pixels of spread,
// parts of a notch carried to the next move; the button lets go.
TEST(TouchGestures, TwoFingersPinchInWholeNotchesAndCarryTheRest) {
  Touch touch;
  touch.event({{100, 100, true}});
  EXPECT_EQ(touch.event({{100, 100, false}, {100, 200, true}}), 0) << "the first spread is the start";
  EXPECT_FALSE(touch.mouse.down[0]) << "a pinch turns no camera";
  EXPECT_EQ(touch.event({{100, 100, false}, {100, 290, false}}), 2);
  EXPECT_EQ(touch.event({{100, 100, false}, {100, 300, false}}), 0) << "half a notch waits";
  EXPECT_EQ(touch.event({{100, 100, false}, {100, 330, false}}), 1);
  EXPECT_EQ(touch.event({{100, 100, false}, {100, 180, false}}), -3);

  // Lifting one finger ends the pinch: the next two start afresh.
  touch.event({{100, 100, false}, {100, 180, true}}, /*ending=*/true);
  EXPECT_EQ(touch.pinch.distance, 0.0);
  EXPECT_EQ(touch.event({{0, 0, true}, {0, 400, true}}), 0);
  EXPECT_EQ(applyTouch(touch.mouse, touch.pinch, nullptr, 5, false), 0) << "no fingers given";
}
