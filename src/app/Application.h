#pragma once

class KeyState;
class MouseState;

// The two programs differ only in the path-tracing shader and the seed fill.
enum class PathVariant { TwoBounce, OneBounce };

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
