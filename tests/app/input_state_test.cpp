#include <cstring>

#include <gtest/gtest.h>

#include "app/KeyCodes.h"
#include "app/KeyState.h"
#include "app/MouseState.h"

TEST(KeyState, EdgesWithinOneFrameAndAcrossFrames) {
  KeyState keys;
  // Tapped between two frames: seen as pressed and released, never as held.
  keys.setKey(kKeyF1, true);
  keys.setKey(kKeyF1, false);
  EXPECT_TRUE(keys.pressed[kKeyF1]);
  EXPECT_TRUE(keys.released[kKeyF1]);
  EXPECT_FALSE(keys.down[kKeyF1]);
  keys.endFrame();
  EXPECT_FALSE(keys.pressed[kKeyF1]);
  EXPECT_FALSE(keys.released[kKeyF1]);

  // Held over frames: pressed only in the first, down in all; a repeated
  // down event raises no new edge.
  keys.setKey('W', true);
  EXPECT_TRUE(keys.pressed['W']);
  keys.endFrame();
  keys.setKey('W', true);
  EXPECT_FALSE(keys.pressed['W']);
  EXPECT_TRUE(keys.down['W']);
  keys.endFrame();
  EXPECT_TRUE(keys.down['W']);
  keys.setKey('W', false);
  EXPECT_TRUE(keys.released['W']);
}

TEST(KeyState, CodesOutsideTheTablesChangeNothing) {
  KeyState keys;
  KeyState untouched;
  for (int code : {0, -1, kKeyUnknown, KeyState::kKeyCount, kKeyLast, 400, -100000, 1 << 30}) {
    keys.setKey(code, true);
  }
  EXPECT_EQ(0, std::memcmp(keys.down, untouched.down, sizeof keys.down));
  EXPECT_EQ(0, std::memcmp(keys.pressed, untouched.pressed, sizeof keys.pressed));
  // The highest code that fits is still recorded.
  keys.setKey(KeyState::kKeyCount - 1, true);
  EXPECT_TRUE(keys.down[KeyState::kKeyCount - 1]);
}

TEST(MouseState, NormalisedCoordinatesSpanTheWindow) {
  MouseState mouse(768, 512);
  mouse.setPosition(0, 0);
  EXPECT_FLOAT_EQ(-1.0f, mouse.nx);
  EXPECT_FLOAT_EQ(1.0f, mouse.ny);
  mouse.setPosition(384, 256);
  EXPECT_FLOAT_EQ(0.0f, mouse.nx);
  EXPECT_FLOAT_EQ(0.0f, mouse.ny);
  mouse.setPosition(768, 512);
  EXPECT_FLOAT_EQ(1.0f, mouse.nx);
  EXPECT_FLOAT_EQ(-1.0f, mouse.ny);
  // Negative positions (cursor left of or above the window) stay signed.
  mouse.setPosition(-384, -256);
  EXPECT_FLOAT_EQ(-2.0f, mouse.nx);
  EXPECT_FLOAT_EQ(2.0f, mouse.ny);
}

TEST(MouseState, AWindowWithoutAreaLeavesTheCursorWhereItWas) {
  MouseState mouse(768, 512);
  mouse.setPosition(384, 128);
  mouse.resize(0, 0);
  mouse.setPosition(0, 0);
  mouse.setPosition(5, 7);
  EXPECT_FLOAT_EQ(0.0f, mouse.nx);
  EXPECT_FLOAT_EQ(0.0f, mouse.dnx);
  EXPECT_FLOAT_EQ(0.0f, mouse.dny);
  mouse.resize(1, 0);
  mouse.setPosition(1, 1);
  EXPECT_FLOAT_EQ(0.0f, mouse.dnx);
  EXPECT_FLOAT_EQ(0.0f, mouse.ny);
  // Restored to one pixel, the cursor counts again, however far outside.
  mouse.resize(1, 1);
  mouse.setPosition(5, 5);
  EXPECT_FLOAT_EQ(9.0f, mouse.nx);
  EXPECT_FLOAT_EQ(-9.0f, mouse.ny);
}

TEST(MouseState, DeltasDescribeTheLastMoveAndVanishAtFrameEnd) {
  MouseState mouse(768, 512);
  mouse.setPosition(100, 100);
  EXPECT_EQ(0, mouse.dx);  // the first sample has nothing to compare with
  mouse.setPosition(110, 95);
  mouse.setPosition(130, 90);
  EXPECT_EQ(20, mouse.dx);  // the last single move, not the frame's sum
  EXPECT_EQ(-5, mouse.dy);
  EXPECT_NEAR(20.0 / 384.0, mouse.dnx, 1e-6);
  mouse.endFrame();
  EXPECT_EQ(0, mouse.dx);
  EXPECT_EQ(0, mouse.dy);
  EXPECT_FLOAT_EQ(0.0f, mouse.dnx);
}

TEST(MouseState, ResizeForgetsTheCursorUntilItsNextPosition) {
  MouseState mouse(768, 512);
  mouse.setButton(0, true);
  mouse.setPosition(300, 200);
  mouse.setWheel(5);
  mouse.resize(400, 300);
  EXPECT_TRUE(mouse.firstMove);
  EXPECT_TRUE(mouse.firstWheel);
  EXPECT_EQ(0, mouse.x);
  EXPECT_EQ(0, mouse.wheel);
  EXPECT_TRUE(mouse.down[0]);  // buttons survive a resize

  // A position right after the resize sets no delta...
  mouse.setPosition(10, 10);
  EXPECT_EQ(0, mouse.dx);
  // ...nor one after frames without any: the zeroed position is no sample,
  // and a drag measured from it would swing the camera.
  mouse.resize(400, 300);
  mouse.endFrame();
  mouse.endFrame();
  EXPECT_TRUE(mouse.firstMove);
  mouse.setPosition(40, 30);
  EXPECT_EQ(0, mouse.dx);
  EXPECT_FLOAT_EQ(0.0f, mouse.dnx);
  mouse.setPosition(60, 30);
  EXPECT_EQ(20, mouse.dx);
  EXPECT_FLOAT_EQ(0.1f, mouse.dnx);
}

TEST(MouseState, WheelDeltaHoldsOnlyTheLastStep) {
  MouseState mouse(768, 512);
  mouse.setWheel(3);
  EXPECT_EQ(0, mouse.dWheel);  // first sample
  mouse.setWheel(4);
  mouse.setWheel(6);
  EXPECT_EQ(2, mouse.dWheel);
  mouse.endFrame();
  EXPECT_EQ(0, mouse.dWheel);
  EXPECT_EQ(6, mouse.wheel);
}

TEST(MouseState, ButtonEdgesAndOutOfRangeButtons) {
  MouseState mouse(768, 512);
  mouse.setButton(7, true);
  mouse.setButton(7, false);
  EXPECT_TRUE(mouse.pressed[7]);
  EXPECT_TRUE(mouse.released[7]);
  mouse.endFrame();
  EXPECT_FALSE(mouse.pressed[7]);
  for (int button : {-1, 8, 1000}) mouse.setButton(button, true);
  for (bool isDown : mouse.down) EXPECT_FALSE(isDown);
}
