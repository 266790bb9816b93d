#include "app/MouseState.h"

#include <algorithm>
#include <iterator>

MouseState::MouseState(uint32_t width, uint32_t height) : width(width), height(height) {}

void MouseState::resize(uint32_t newWidth, uint32_t newHeight) {
  width = newWidth;
  height = newHeight;
  x = y = prevX = prevY = dx = dy = 0;
  nx = ny = prevNx = prevNy = dnx = dny = 0.0f;
  wheel = prevWheel = dWheel = 0;
  firstMove = true;
  firstWheel = true;
}

void MouseState::setPosition(int32_t newX, int32_t newY) {
  x = newX;
  y = newY;
  // Double precision first, as the window size is unsigned and the position
  // signed; only the result is rounded to float. A minimised window may
  // report no area: the cursor has no place in it then, and a division by
  // zero would hand the camera a NaN angle it never recovers from.
  if (width > 0 && height > 0) {
    nx = static_cast<float>(x / (width * 0.5) - 1.0);
    ny = static_cast<float>(1.0 - y / (height * 0.5));
  }
  takeSampleAsPrevious();
}

void MouseState::takeSampleAsPrevious() {
  if (!firstMove) {
    dx = x - prevX;
    dy = y - prevY;
    dnx = nx - prevNx;
    dny = ny - prevNy;
  }
  prevX = x;
  prevY = y;
  prevNx = nx;
  prevNy = ny;
  firstMove = false;
}

void MouseState::setButton(int button, bool isDown) {
  if (button < 0 || button >= kButtonCount) return;
  if (!down[button] && isDown) pressed[button] = true;
  if (down[button] && !isDown) released[button] = true;
  down[button] = isDown;
}

void MouseState::setWheel(int32_t position) {
  wheel = position;
  if (!firstWheel) dWheel = position - prevWheel;
  prevWheel = position;
  firstWheel = false;
}

void MouseState::endFrame() {
  std::fill(std::begin(pressed), std::end(pressed), false);
  std::fill(std::begin(released), std::end(released), false);
  // Until a position arrives after a resize there is no sample: taking the
  // zeroed one would measure the next move from (0, 0), and a drag would
  // turn the camera by the cursor's whole distance from there.
  if (!firstMove) takeSampleAsPrevious();
  if (!firstWheel) dWheel = wheel - prevWheel;
  prevWheel = wheel;
  firstWheel = false;
}
