#include "app/TouchGestures.h"

#include <cmath>

namespace {

double fingerDistance(const TouchPoint& a, const TouchPoint& b) {
  return std::hypot(static_cast<double>(a.x - b.x), static_cast<double>(a.y - b.y));
}

}  // namespace

int applyTouch(MouseState& mouse, PinchState& pinch, const TouchPoint* touches, int count,
               bool ending) {
  if (touches == nullptr || count < 0) count = 0;
  int fingers = count;
  if (ending) {
    for (int i = 0; i < count; ++i) fingers -= touches[i].changed ? 1 : 0;
  }
  if (fingers == 1 && !ending && count == 1) {
    const TouchPoint& finger = touches[0];
    // A finger lands where it lands: the same place twice leaves no move
    // from where the last one lifted, which would turn the camera at once.
    if (!mouse.down[0]) mouse.setPosition(finger.x, finger.y);
    mouse.setPosition(finger.x, finger.y);
    mouse.setButton(0, true);
  } else {
    mouse.setButton(0, false);
  }
  int notches = 0;
  if (fingers >= 2 && count >= 2) {
    const double distance = fingerDistance(touches[0], touches[1]);
    if (pinch.distance > 0.0) {
      pinch.carry += (distance - pinch.distance) / kPinchPixelsPerNotch;
      notches = static_cast<int>(pinch.carry);
      pinch.carry -= notches;
    }
    pinch.distance = distance;
  } else {
    pinch = PinchState{};
  }
  return notches;
}
