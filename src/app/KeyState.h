#pragma once

// Per-frame keyboard state, indexed by 2.7 key code (see KeyCodes.h).
class KeyState {
 public:
  static constexpr int kKeyCount = 325;

  KeyState() = default;
  virtual ~KeyState() = default;

  // Codes outside 1..kKeyCount-1 (0, unknown keys, Menu at 325) are ignored.
  void setKey(int key, bool isDown);
  // Clears the edges of the frame just drawn; `down` carries over.
  void endFrame();

  bool down[kKeyCount] = {};
  bool pressed[kKeyCount] = {};
  bool released[kKeyCount] = {};
};
