#pragma once

#include "render/PathVariant.h"

class KeyState;
class MouseState;

// Stand-in until the renderer exists: it owns nothing and clears the window.
class Application {
 public:
  Application(int width, int height, PathVariant variant);
  virtual ~Application() = default;
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // kStatusOk, or the exit status of a fatal start-up error.
  int startupStatus() const { return status; }

  void update(float dt, const KeyState& keys, const MouseState& mouse);
  void draw();

 private:
  int width;
  int height;
  PathVariant variant;
  int status;
};
