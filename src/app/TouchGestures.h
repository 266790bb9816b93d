#pragma once

#include <cstdint>

#include "app/MouseState.h"

// Touch as the mouse: one finger drags as the left button does, two pinch
// as the wheel turns. The platform hands over each touch event's fingers.
struct TouchPoint {
  int32_t x = 0, y = 0;  // in the cursor's units
  bool changed = false;  // this event lifted it, when the event ends touches
};

struct PinchState {
  double distance = 0.0;  // 0 while fewer than two fingers touch
  double carry = 0.0;     // a part of a notch, kept for the next event
};

// Pinching two fingers apart by this many CSS pixels moves the camera as one
// wheel notch does.
constexpr double kPinchPixelsPerNotch = 40.0;

// Feeds one touch event (`ending`: fingers were lifted or cancelled) into
// the mouse's left button and position; returns the wheel notches a pinch
// turned (positive: fingers apart, closer to the scene).
int applyTouch(MouseState& mouse, PinchState& pinch, const TouchPoint* touches, int count,
               bool ending);
