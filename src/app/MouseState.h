#pragma once

#include <cstdint>

// Per-frame mouse state: buttons with edges, the cursor in pixels and in
// normalised window coordinates (-1..1, +1 right and top), and the wheel as
// an absolute position. Deltas describe the last single event, not the sum
// over a frame.
class MouseState {
 public:
  static constexpr int kButtonCount = 8;

  MouseState(uint32_t width, uint32_t height);
  virtual ~MouseState() = default;

  void resize(uint32_t width, uint32_t height);
  void setPosition(int32_t x, int32_t y);
  // Button numbers outside 0..kButtonCount-1 are ignored.
  void setButton(int button, bool isDown);
  void setWheel(int32_t position);
  void endFrame();

  uint32_t width;
  uint32_t height;
  bool firstMove = true;
  bool firstWheel = true;
  bool down[kButtonCount] = {};
  bool pressed[kButtonCount] = {};
  bool released[kButtonCount] = {};
  int32_t x = 0, y = 0;
  int32_t prevX = 0, prevY = 0;
  int32_t dx = 0, dy = 0;
  float nx = 0.0f, ny = 0.0f;
  float prevNx = 0.0f, prevNy = 0.0f;
  float dnx = 0.0f, dny = 0.0f;
  int32_t wheel = 0;
  int32_t prevWheel = 0;
  int32_t dWheel = 0;

 private:
  void takeSampleAsPrevious();
};
